// The one HTTP operation of the runner: a blocking POST that keeps nothing between calls.
#pragma once
#include <windows.h>

#include <string>

struct HttpResponse {
    DWORD status = 0;     // HTTP status; 0 when no response arrived or its status was unreadable
    std::string body;     // bytes as received, cut somewhat after HTTP_BODY_LIMIT
    DWORD win_error = 0;  // GetLastError() of the failed step; 0 when the response headers arrived
};

// Reading stops once the collected body holds more than this many bytes.
const size_t HTTP_BODY_LIMIT = 1048576;

struct HttpTimeouts {
    int resolve_ms = 10000;
    int connect_ms = 10000;
    int send_ms = 60000;
    int receive_ms = 60000;
};

// POSTs `body` to an absolute http/https URL. An empty bearer token sends no
// Authorization header. Redirects are never followed: a 3xx comes back as it is.
// Only tests pass other timeouts.
HttpResponse http_post(const std::wstring& url, const std::string& content_type, const std::string& body,
                       const std::string& bearer_token, const HttpTimeouts& timeouts = HttpTimeouts());
