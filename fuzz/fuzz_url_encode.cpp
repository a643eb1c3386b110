// Form values (client id and secret) are percent-encoded: the result carries
// only unreserved characters and escapes, and decodes to the input exactly.
// The token request form built from them splits back into the same values,
// and the expiry arithmetic saturates instead of wrapping.
#include <string>

#include "fuzz_check.h"
#include "net/token_rules.h"
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

    // Client id and secret cut from the input at its middle.
    const std::string id = input.substr(0, size / 2), secret = input.substr(size / 2);
    FUZZ_CHECK(token_request_body(id, secret) ==
               "grant_type=client_credentials&client_id=" + url_encode(id) + "&client_secret=" + url_encode(secret));

    if (size >= 16) {
        uint64_t now = 0;
        int64_t lifetime = 0;
        for (int i = 0; i < 8; ++i) now |= (uint64_t)data[i] << (8 * i);
        for (int i = 0; i < 8; ++i) lifetime = (int64_t)((uint64_t)lifetime | ((uint64_t)data[8 + i] << (8 * i)));
        const uint64_t expiry = token_expiry_ms(now, lifetime);
        if (lifetime >= 0) {
            FUZZ_CHECK(expiry >= now);
            FUZZ_CHECK(expiry == UINT64_MAX || (expiry - now) / 1000 == (uint64_t)lifetime);
        } else {
            FUZZ_CHECK(expiry <= now);
        }
    }
    return 0;
}
