#include "support/log.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

namespace {
bool log_initialised = false;
std::wstring log_path;
CRITICAL_SECTION log_lock;
}  // namespace

void log_init(const std::wstring& path) {
    if (!log_initialised) {
        InitializeCriticalSection(&log_lock);
        log_initialised = true;
    }
    log_path = path;
}

std::string escape_control_bytes(const std::string& text) {
    static const char HEX[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += HEX[c >> 4];
            out += HEX[c & 0x0F];
        } else {
            out += (char)c;
        }
    }
    return out;
}

void log_write(const char* format, ...) {
    if (!log_initialised || log_path.empty()) return;
    char message[1024];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(message, sizeof message, format, args);
    va_end(args);
    if (n < 0) return;
    std::string safe = escape_control_bytes(message);
    if (safe.size() > 1023) {
        size_t cut = 1023;
        // Never leave part of an escape sequence at the end of the line.
        size_t escape_start = safe.rfind("\\x", cut - 1);
        if (escape_start != std::string::npos && escape_start + 4 > cut) cut = escape_start;
        safe.resize(cut);
    }

    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[1200];
    int length = snprintf(line, sizeof line, "%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] %s\r\n", now.wYear,
                          now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                          (unsigned long)GetCurrentProcessId(), safe.c_str());
    if (length < 0) return;
    DWORD to_write = (DWORD)(length < (int)sizeof line ? length : (int)sizeof line - 1);

    EnterCriticalSection(&log_lock);
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (GetFileAttributesExW(log_path.c_str(), GetFileExInfoStandard, &info)) {
        unsigned long long size = ((unsigned long long)info.nFileSizeHigh << 32) | info.nFileSizeLow;
        if (size > LOG_ROTATE_SIZE) {
            std::wstring old_path = log_path + L".old";
            MoveFileExW(log_path.c_str(), old_path.c_str(), MOVEFILE_REPLACE_EXISTING);
        }
    }
    HANDLE file = CreateFileW(log_path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, line, to_write, &written, nullptr);
        CloseHandle(file);
    }
    LeaveCriticalSection(&log_lock);
}
