#include "net/token_client.h"

#include <utility>

#include "net/http.h"
#include "net/json_fields.h"
#include "net/token_rules.h"
#include "support/log.h"
#include "support/text.h"

namespace {

// A cached token is handed out only while more than this much of its life remains.
const uint64_t TOKEN_MARGIN_MS = 30000;
const int64_t DEFAULT_EXPIRES_IN_S = 60;
const char TOKEN_CONTENT_TYPE[] = "application/x-www-form-urlencoded";

class LockGuard {
public:
    explicit LockGuard(CRITICAL_SECTION& lock) : lock_(lock) { EnterCriticalSection(&lock_); }
    ~LockGuard() { LeaveCriticalSection(&lock_); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    CRITICAL_SECTION& lock_;
};

}  // namespace

TokenClient::TokenClient(std::wstring token_url, std::string client_id, std::string client_secret)
    : token_url_(std::move(token_url)), client_id_(std::move(client_id)) {
    // Copy, then wipe the parameter: a moved-from short string keeps its bytes.
    client_secret_.assign(client_secret);
    wipe_text(client_secret);
    InitializeCriticalSection(&token_lock_);
}

TokenClient::~TokenClient() {
    wipe_text(client_secret_);
    DeleteCriticalSection(&token_lock_);
}

std::string TokenClient::get_token(bool force_refresh) {
    LockGuard guard(token_lock_);
    bool fetch = force_refresh || cached_token_.empty() || now_unix_ms() + TOKEN_MARGIN_MS >= expires_at_ms_;
    if (fetch) {
        cached_token_.clear();
        std::string form = token_request_body(client_id_, client_secret_);
        HttpResponse response = http_post(token_url_, TOKEN_CONTENT_TYPE, form, std::string());
        wipe_text(form);
        if (response.status == 200) {
            cached_token_ = json_string_field(response.body, "access_token");
            int64_t lifetime = json_int_field(response.body, "expires_in", DEFAULT_EXPIRES_IN_S);
            expires_at_ms_ = token_expiry_ms(now_unix_ms(), lifetime);
        } else {
            log_write("token request failed: http=%d winerr=%lu", (int)response.status, response.win_error);
        }
        wipe_text(response.body);
    }
    return cached_token_;
}

int verify_credentials(const std::wstring& token_url, const std::string& client_id, const std::string& client_secret) {
    std::string form = token_request_body(client_id, client_secret);
    HttpResponse response = http_post(token_url, TOKEN_CONTENT_TYPE, form, std::string());
    wipe_text(form);
    std::string token = response.status == 200 ? json_string_field(response.body, "access_token") : std::string();
    bool received = !token.empty();
    wipe_text(token);
    wipe_text(response.body);
    if (received) return 0;
    if (response.status >= 400 && response.status <= 499) return 2;
    return 3;
}
