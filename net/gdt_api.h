// The one server API: a GDT file with its metadata, POSTed as a multipart form
// to server_url + "/api/gdt" with a Bearer token.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "net/gdt_form.h"
#include "net/http.h"

class TokenClient;

#define GDT_API_PATH L"/api/gdt"

// mode, captured_at, filename, host, win_user, win_session, [channel], file;
// the identity values and the file name come from the process settings.
std::vector<FormPart> build_gdt_form(const std::string& mode, const std::vector<unsigned char>& file_bytes,
                                     uint64_t capture_ms);

// The body with a boundary from the clock and the process id.
std::string encode_multipart(const std::vector<FormPart>& parts, std::string& content_type);

// Sends the form with the client's token. Only a 401 leads to one forced
// token refresh and a second send of the same body; no token at all gives
// status 0 with win_error ERROR_ACCESS_DENIED and sends nothing.
HttpResponse authorized_post(TokenClient& client, const std::wstring& url, const std::vector<FormPart>& parts);
