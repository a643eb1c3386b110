// The runner's diagnostic log: one stamped line per event, rotated above 1 MiB.
#pragma once
#include <string>

void log_init(const std::wstring& path);
void log_write(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Escapes control bytes (below 0x20 and 0x7F) as "\xNN" so that one event is
// always one line, whatever text the server sent; other bytes pass unchanged.
std::string escape_control_bytes(const std::string& text);

// The file size above which the next line first moves the log to ".old".
const unsigned long long LOG_ROTATE_SIZE = 1048576ULL;
