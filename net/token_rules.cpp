#include "net/token_rules.h"

#include "net/url_encode.h"

std::string token_request_body(const std::string& client_id, const std::string& client_secret) {
    std::string body = "grant_type=client_credentials&client_id=";
    // Reserved up front so that growing never leaves a copy of the secret behind.
    body.reserve(body.size() + 3 * (client_id.size() + client_secret.size()) + 16);
    append_url_encoded(body, client_id);
    body += "&client_secret=";
    append_url_encoded(body, client_secret);
    return body;
}

uint64_t token_expiry_ms(uint64_t now_ms, int64_t expires_in_s) {
    if (expires_in_s < 0) {
        // -(x+1)+1 avoids negating INT64_MIN.
        uint64_t back_s = (uint64_t)(-(expires_in_s + 1)) + 1;
        if (back_s > now_ms / 1000) return 0;
        return now_ms - back_s * 1000;
    }
    uint64_t ahead_s = (uint64_t)expires_in_s;
    if (ahead_s > (UINT64_MAX - now_ms) / 1000) return UINT64_MAX;
    return now_ms + ahead_s * 1000;
}
