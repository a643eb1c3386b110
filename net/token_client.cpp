#include "net/token_client.h"

#include <utility>

TokenClient::TokenClient(std::wstring token_url, std::string client_id, std::string client_secret)
    : token_url_(std::move(token_url)), client_id_(std::move(client_id)), client_secret_(std::move(client_secret)) {
    InitializeCriticalSection(&token_lock_);
}

TokenClient::~TokenClient() {
    SecureZeroMemory(client_secret_.data(), client_secret_.size());
    DeleteCriticalSection(&token_lock_);
}
