// Form values (client id and secret) are percent-encoded: the result carries
// only unreserved characters and escapes, and decodes to the input exactly.
#include <string>

#include "fuzz_check.h"
#include "net/url_encode.h"

namespace {

bool is_unreserved(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

int upper_hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string encoded = url_encode(input);
    FUZZ_CHECK(encoded.size() >= input.size() && encoded.size() <= 3 * input.size());

    std::string decoded;
    for (size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            FUZZ_CHECK(is_unreserved(encoded[i]));
            decoded.push_back(encoded[i]);
            continue;
        }
        FUZZ_CHECK(i + 2 < encoded.size());
        int high = upper_hex(encoded[i + 1]), low = upper_hex(encoded[i + 2]);
        FUZZ_CHECK(high >= 0 && low >= 0);
        // Only what must be escaped is escaped.
        FUZZ_CHECK(!is_unreserved((char)(high * 16 + low)));
        decoded.push_back((char)(high * 16 + low));
        i += 2;
    }
    FUZZ_CHECK(decoded == input);

    std::string appended = "grant_type=client_credentials&client_secret=";
    append_url_encoded(appended, input);
    FUZZ_CHECK(appended == "grant_type=client_credentials&client_secret=" + encoded);
    return 0;
}
