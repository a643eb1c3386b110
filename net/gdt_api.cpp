#include "net/gdt_api.h"

#include <windows.h>

#include "core/settings.h"
#include "net/token_client.h"
#include "support/text.h"

namespace {

FormPart text_part(const char* name, const std::string& value) {
    FormPart part;
    part.name = name;
    part.value = value;
    return part;
}

}  // namespace

std::vector<FormPart> build_gdt_form(const std::string& mode, const std::vector<unsigned char>& file_bytes,
                                     uint64_t capture_ms) {
    std::string file_name = to_utf8(settings.gdt_file);
    std::vector<FormPart> parts;
    parts.reserve(8);
    parts.push_back(text_part("mode", mode));
    parts.push_back(text_part("captured_at", format_iso8601_utc(capture_ms)));
    parts.push_back(text_part("filename", file_name));
    parts.push_back(text_part("host", settings.computer_name));
    parts.push_back(text_part("win_user", settings.user_name));
    parts.push_back(text_part("win_session", settings.session_id));
    if (!settings.channel.empty()) parts.push_back(text_part("channel", settings.channel));
    FormPart file;
    file.name = "file";
    file.value.assign(file_bytes.begin(), file_bytes.end());
    file.is_file = true;
    file.filename = file_name;
    parts.push_back(std::move(file));
    return parts;
}

std::string encode_multipart(const std::vector<FormPart>& parts, std::string& content_type) {
    return encode_multipart_at(parts, now_unix_ms(), (uint32_t)GetCurrentProcessId(), content_type);
}

HttpResponse authorized_post(TokenClient& client, const std::wstring& url, const std::vector<FormPart>& parts) {
    std::string content_type;
    std::string body = encode_multipart(parts, content_type);  // one body for both attempts

    std::string token = client.get_token(false);
    if (token.empty()) {
        HttpResponse refused;
        refused.win_error = ERROR_ACCESS_DENIED;
        return refused;
    }
    HttpResponse response = http_post(url, content_type, body, token);
    if (response.status == 401) {
        token = client.get_token(true);
        if (!token.empty()) response = http_post(url, content_type, body, token);
    }
    return response;
}
