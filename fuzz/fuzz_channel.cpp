// The channel file is read back from disk and may have been edited or
// damaged: only a well-formed identifier is accepted. New identifiers are
// base64url text that decodes to the random bytes they came from.
#include <string>

#include "core/channel_text.h"
#include "fuzz_check.h"

namespace {

bool is_white(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

int base64url_value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '-') return 62;
    if (c == '_') return 63;
    return -1;
}

std::string base64url_decode(const std::string& text) {
    std::string out;
    unsigned long bits = 0;
    int count = 0;
    for (char c : text) {
        int value = base64url_value(c);
        FUZZ_CHECK(value >= 0);
        bits = (bits << 6) | (unsigned long)value;
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back((char)((bits >> count) & 0xFF));
        }
    }
    // Unused trailing bits are zero: the text is the one canonical spelling.
    FUZZ_CHECK((bits & ((1UL << count) - 1)) == 0);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string content(reinterpret_cast<const char*>(data), size);
    const std::string channel = channel_from_file(content);
    if (!channel.empty()) {
        FUZZ_CHECK(channel.size() >= CHANNEL_MIN_LENGTH && channel.size() <= CHANNEL_MAX_LENGTH);
        FUZZ_CHECK(content.compare(0, channel.size(), channel) == 0);
        for (char c : channel) FUZZ_CHECK(base64url_value(c) >= 0);
        for (size_t i = channel.size(); i < content.size(); ++i) FUZZ_CHECK(is_white(content[i]));
    }

    const std::string encoded = base64url_encode(data, size);
    FUZZ_CHECK(encoded.size() == (size * 4 + 2) / 3);
    FUZZ_CHECK(base64url_decode(encoded) == content);
    // A fresh identifier of the usual size is always accepted when read back.
    if (size == CHANNEL_RANDOM_BYTES) FUZZ_CHECK(channel_from_file(encoded + "\r\n") == encoded);
    return 0;
}
