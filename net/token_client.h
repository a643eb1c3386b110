// OAuth2 client-credentials tokens, cached and shared between threads.
#pragma once
#include <windows.h>

#include <string>

class TokenClient {
public:
    TokenClient(std::wstring token_url, std::string client_id, std::string client_secret);
    ~TokenClient();
    TokenClient(const TokenClient&) = delete;
    TokenClient& operator=(const TokenClient&) = delete;

private:
    std::wstring token_url_;
    std::string client_id_;
    std::string client_secret_;
    CRITICAL_SECTION token_lock_;
};
