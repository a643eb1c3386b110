// OAuth2 client-credentials tokens, cached and shared between threads.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

class TokenClient {
public:
    // Takes over the three strings; the secret is wiped when the client is destroyed.
    TokenClient(std::wstring token_url, std::string client_id, std::string client_secret);
    ~TokenClient();
    TokenClient(const TokenClient&) = delete;
    TokenClient& operator=(const TokenClient&) = delete;

    // The cached token while more than 30 s of its lifetime remain, otherwise a
    // freshly fetched one; empty when none could be obtained. A forced refresh
    // drops the cached token even when the new request fails.
    std::string get_token(bool force_refresh);

private:
    std::wstring token_url_;
    std::string client_id_;
    std::string client_secret_;
    std::string cached_token_;
    uint64_t expires_at_ms_ = 0;
    CRITICAL_SECTION token_lock_;
};

// One uncached token request: 0 a token was received, 2 the endpoint refused
// with 400..499, 3 anything else.
int verify_credentials(const std::wstring& token_url, const std::string& client_id, const std::string& client_secret);
