#include "core/settings.h"

#include <windows.h>

#include <cwchar>

#include "support/text.h"

RunnerSettings settings;

namespace {

std::wstring read_string_key(const wchar_t* section, const wchar_t* key, const wchar_t* fallback,
                             const std::wstring& path) {
    wchar_t buffer[2048];
    buffer[0] = L'\0';
    GetPrivateProfileStringW(section, key, fallback, buffer, 2048, path.c_str());
    buffer[2047] = L'\0';
    return expand_env(buffer);
}

int read_int_key(const wchar_t* section, const wchar_t* key, int fallback, const std::wstring& path) {
    return (int)GetPrivateProfileIntW(section, key, fallback, path.c_str());
}

}  // namespace

std::wstring strip_trailing_slashes(std::wstring url) {
    while (!url.empty() && url.back() == L'/') url.pop_back();
    return url;
}

std::wstring strip_trailing_separators(std::wstring path) {
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

bool is_user_listed(const std::wstring& users, const std::wstring& user_name) {
    if (users.empty()) return false;
    size_t start = 0;
    while (start <= users.size()) {
        size_t comma = users.find(L',', start);
        size_t end = comma == std::wstring::npos ? users.size() : comma;
        size_t first = start, last = end;
        while (first < last && users[first] == L' ') ++first;
        while (last > first && users[last - 1] == L' ') --last;
        if (last > first) {
            std::wstring entry = users.substr(first, last - first);
            if (_wcsicmp(entry.c_str(), user_name.c_str()) == 0) return true;
        }
        if (comma == std::wstring::npos) break;
        start = comma + 1;
    }
    return false;
}

void load_settings(RunnerSettings& target, const std::wstring& config_path) {
    const std::wstring& p = config_path;
    target.config_path = config_path;
    target.server_url = strip_trailing_slashes(read_string_key(L"server", L"url", DEFAULT_SERVER_URL, p));
    target.token_url = read_string_key(L"server", L"token_url", DEFAULT_TOKEN_URL, p);
    target.client_id = to_utf8(read_string_key(L"server", L"client_id", DEFAULT_CLIENT_ID, p));
    target.gdt_dir = strip_trailing_separators(read_string_key(L"gdt", L"dir", L"C:\\Users\\%USERNAME%\\GDT", p));
    target.gdt_file = read_string_key(L"gdt", L"file", L"data.gdt", p);
    target.debounce_ms = read_int_key(L"gdt", L"debounce_ms", 300, p);
    target.window = read_string_key(L"open", L"window", L"app", p) != L"browser";
    target.taskbar_button = read_int_key(L"open", L"taskbar_button", 0, p) != 0;
    target.users = read_string_key(L"run", L"users", L"", p);
    target.maximize = read_int_key(L"open", L"maximize", 1, p) != 0;
}
