#include "net/secret_store.h"

// Placeholder until the secret store lands: behaves as if a secret were stored.
bool store_client_secret(const wchar_t*, const std::string&) { return false; }
bool load_client_secret(const wchar_t*, std::string& secret) {
    secret = "placeholder";
    return true;
}
