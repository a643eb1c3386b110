#include "net/http.h"

#include <winhttp.h>

#include <vector>

#include "support/text.h"

namespace {

#define USER_AGENT L"Orvanta/0.1"

#ifndef WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3
#define WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3 0x00002000
#endif

// Closes one WinHTTP handle when the call that opened it returns.
struct InternetHandle {
    HINTERNET handle = nullptr;
    ~InternetHandle() {
        if (handle) WinHttpCloseHandle(handle);
    }
};

struct CrackedUrl {
    wchar_t host[256] = {};
    wchar_t path[2048] = {};
    INTERNET_PORT port = 0;
    INTERNET_SCHEME scheme = 0;
};

bool crack_url(const std::wstring& url, CrackedUrl& out) {
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = out.host;
    parts.dwHostNameLength = (DWORD)(sizeof out.host / sizeof out.host[0]);
    parts.lpszUrlPath = out.path;
    parts.dwUrlPathLength = (DWORD)(sizeof out.path / sizeof out.path[0]);
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return false;
    out.port = parts.nPort;
    out.scheme = parts.nScheme;
    return true;
}

// A session with the user's fixed proxy when one is set, otherwise the
// automatic proxy, otherwise the default one. Null with GetLastError() set.
HINTERNET open_session() {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG proxy = {};
    if (WinHttpGetIEProxyConfigForCurrentUser(&proxy)) {
        HINTERNET session = nullptr;
        if (proxy.lpszProxy) {
            session = WinHttpOpen(USER_AGENT, WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.lpszProxy,
                                  proxy.lpszProxyBypass ? proxy.lpszProxyBypass : WINHTTP_NO_PROXY_BYPASS, 0);
            GlobalFree(proxy.lpszProxy);
        }
        if (proxy.lpszProxyBypass) GlobalFree(proxy.lpszProxyBypass);
        if (proxy.lpszAutoConfigUrl) GlobalFree(proxy.lpszAutoConfigUrl);
        if (session) return session;
    }
    HINTERNET session = WinHttpOpen(USER_AGENT, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    if (session) return session;
    return WinHttpOpen(USER_AGENT, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS,
                       0);
}

void configure_session(HINTERNET session, const HttpTimeouts& timeouts) {
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (!WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
        protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
        WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
    }
    WinHttpSetTimeouts(session, timeouts.resolve_ms, timeouts.connect_ms, timeouts.send_ms, timeouts.receive_ms);
    // Some WinHTTP implementations wait for the response headers without any
    // limit unless told; a silent server must not block a thread for ever.
    DWORD response_ms = (DWORD)timeouts.receive_ms;
    WinHttpSetOption(session, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &response_ms, sizeof response_ms);
}

std::wstring header_block(const std::string& content_type, const std::string& bearer_token) {
    std::wstring headers = L"Content-Type: " + to_utf16(content_type) + L"\r\nAccept: application/json\r\n";
    if (!bearer_token.empty()) headers += L"Authorization: Bearer " + to_utf16(bearer_token) + L"\r\n";
    return headers;
}

// Reads until the end, a failure or the size limit; a stop here is no error.
void read_body(HINTERNET request, std::string& body) {
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request, &available) || available == 0) return;
        if (body.size() > HTTP_BODY_LIMIT) return;
        std::vector<char> chunk(available);
        DWORD got = 0;
        if (!WinHttpReadData(request, chunk.data(), available, &got) || got == 0) return;
        body.append(chunk.data(), got);
    }
}

}  // namespace

HttpResponse http_post(const std::wstring& url, const std::string& content_type, const std::string& body,
                       const std::string& bearer_token, const HttpTimeouts& timeouts) {
    HttpResponse response;
    CrackedUrl target;
    if (!crack_url(url, target)) {
        response.win_error = GetLastError();
        return response;
    }

    // Declared in opening order, so they close in reverse: request, connection, session.
    InternetHandle session, connection, request;
    session.handle = open_session();
    if (!session.handle) {
        response.win_error = GetLastError();
        return response;
    }
    configure_session(session.handle, timeouts);

    connection.handle = WinHttpConnect(session.handle, target.host, target.port, 0);
    if (!connection.handle) {
        response.win_error = GetLastError();
        return response;
    }
    DWORD flags = target.scheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    request.handle = WinHttpOpenRequest(connection.handle, L"POST", target.path, nullptr, WINHTTP_NO_REFERER,
                                        WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
    if (!request.handle) {
        response.win_error = GetLastError();
        return response;
    }
    // A followed redirect would hide the 3xx from the caller and could carry the
    // bearer token to another host, so redirects are refused outright.
    DWORD disable = WINHTTP_DISABLE_REDIRECTS;
    if (!WinHttpSetOption(request.handle, WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable)) {
        response.win_error = GetLastError();
        return response;
    }

    std::wstring headers = header_block(content_type, bearer_token);
    DWORD body_size = (DWORD)body.size();
    LPVOID body_data = body.empty() ? WINHTTP_NO_REQUEST_DATA : (LPVOID)body.data();
    if (!WinHttpSendRequest(request.handle, headers.c_str(), (DWORD)-1L, body_data, body_size, body_size, 0) ||
        !WinHttpReceiveResponse(request.handle, nullptr)) {
        response.win_error = GetLastError();
        return response;
    }

    DWORD status = 0;
    DWORD status_size = sizeof status;
    WinHttpQueryHeaders(request.handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &status_size, WINHTTP_NO_HEADER_INDEX);
    response.status = status;
    read_body(request.handle, response.body);
    return response;
}
