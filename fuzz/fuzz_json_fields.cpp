// Server answers are untrusted bytes: the field readers must stay inside the
// body, decode strings boundedly, and read integers exactly as strtoll does.
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "net/json_fields.h"

namespace {

const char* const KEYS[] = {"result", "receipt_id", "url", "access_token", "expires_in"};

// The integer the reader must give, from the C library itself.
int64_t reference_int(const std::string& body, size_t pos, int64_t fallback) {
    if (pos == std::string::npos || pos >= body.size()) return fallback;
    if (body[pos] != '-' && (body[pos] < '0' || body[pos] > '9')) return fallback;
    std::string rest(body.c_str() + pos);  // strtoll stops at a NUL byte anyway
    return (int64_t)std::strtoll(rest.c_str(), nullptr, 10);
}

void check_key(const std::string& body, const std::string& key) {
    size_t pos = find_json_value(body, key);
    FUZZ_CHECK(pos == std::string::npos || pos <= body.size());
    if (pos != std::string::npos) {
        // The value starts after a colon that follows the quoted key.
        size_t key_at = body.find("\"" + key + "\"");
        FUZZ_CHECK(key_at != std::string::npos && pos > key_at + key.size() + 2);
        FUZZ_CHECK(body.find(':', key_at + key.size() + 2) < pos);
    }

    std::string text = json_string_field(body, key);
    // Each byte of the body yields at most one byte, except a broken "\u",
    // two bytes that become the three of U+FFFD.
    FUZZ_CHECK(text.size() <= body.size() / 2 * 3 + 3);
    if (pos == std::string::npos || pos >= body.size() || body[pos] != '"') FUZZ_CHECK(text.empty());

    FUZZ_CHECK(json_int_field(body, key, 60) == reference_int(body, pos, 60));
    FUZZ_CHECK(json_int_field(body, key, -1) == reference_int(body, pos, -1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    for (const char* key : KEYS) check_key(body, key);
    // Keys of the fuzzer's choosing too, quotes and backslashes included.
    if (size > 0) check_key(body, body.substr(0, (size_t)(data[0] % 8)));

    // A plain string value written by a server comes back unchanged.
    if (body.find('"') == std::string::npos && body.find('\\') == std::string::npos) {
        FUZZ_CHECK(json_string_field("{\"result\":\"" + body + "\"}", "result") == body);
        FUZZ_CHECK(json_string_field("{\"result\" :\r\n\t\"" + body, "result") == body);
    }
    return 0;
}
