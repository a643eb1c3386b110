#include "support/text.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <vector>

std::string to_utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out((size_t)n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring to_utf16(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out((size_t)n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), out.data(), n);
    return out;
}

std::wstring expand_env(const std::wstring& text) {
    DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0) return text;
    std::vector<wchar_t> buffer(needed);
    DWORD written = ExpandEnvironmentStringsW(text.c_str(), buffer.data(), needed);
    if (written == 0 || written > needed) return text;
    return std::wstring(buffer.data());
}

bool create_directories(const std::wstring& path) {
    if (path.empty()) return false;
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    size_t separator = path.find_last_of(L"\\/");
    // A separator at index 0..2 belongs to a drive or root prefix, which is never created.
    if (separator != std::wstring::npos && separator >= 3) create_directories(path.substr(0, separator));
    if (CreateDirectoryW(path.c_str(), nullptr)) return true;
    return GetLastError() == ERROR_ALREADY_EXISTS;
}

static const uint64_t FILETIME_UNIX_EPOCH = 116444736000000000ULL;

uint64_t filetime_to_unix_ms(const FILETIME& ft) {
    uint64_t ticks = ((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
    return (ticks - FILETIME_UNIX_EPOCH) / 10000ULL;
}

uint64_t now_unix_ms() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return filetime_to_unix_ms(ft);
}

std::string format_iso8601_utc(uint64_t unix_ms) {
    uint64_t ticks = unix_ms * 10000ULL + FILETIME_UNIX_EPOCH;
    FILETIME ft;
    ft.dwLowDateTime = (DWORD)(ticks & 0xFFFFFFFFULL);
    ft.dwHighDateTime = (DWORD)(ticks >> 32);
    SYSTEMTIME st = {};
    FileTimeToSystemTime(&ft, &st);
    return format_bounded(32, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", st.wYear, st.wMonth, st.wDay,
                          st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}

std::string format_bounded(size_t buffer_size, const char* format, ...) {
    std::vector<char> buffer(buffer_size ? buffer_size : 1, '\0');
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    if (n < 0) return std::string();
    return std::string(buffer.data());
}

std::wstring format_bounded_w(size_t buffer_size, const wchar_t* format, ...) {
    std::vector<wchar_t> buffer(buffer_size ? buffer_size : 1, L'\0');
    va_list args;
    va_start(args, format);
    int n = vswprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    buffer.back() = L'\0';
    if (n < 0 && buffer[0] == L'\0') return std::wstring();
    return std::wstring(buffer.data());
}

void wipe_text(std::string& text) {
    if (!text.empty()) SecureZeroMemory(text.data(), text.size());
    text.clear();
}
