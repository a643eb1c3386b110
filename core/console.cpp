#include "core/console.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdarg>
#include <cstdio>

#include "support/text.h"

Arguments split_command_line() {
    Arguments args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) return args;
    for (int i = 0; i < count; ++i) args.emplace_back(argv[i]);
    LocalFree(argv);
    return args;
}

bool has_option(const Arguments& args, const wchar_t* word) {
    for (size_t i = 1; i < args.size(); ++i)
        if (args[i] == word) return true;
    return false;
}

std::wstring option_value(const Arguments& args, const wchar_t* word) {
    for (size_t i = 1; i + 1 < args.size(); ++i)
        if (args[i] == word) return args[i + 1];
    return std::wstring();
}

namespace {

// The attached console's screen buffer; it lives as long as the reopened
// streams, until the process ends.
HANDLE attached_output = INVALID_HANDLE_VALUE;

}  // namespace

bool attach_console() {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
    FILE* stream = nullptr;
    freopen_s(&stream, "CONOUT$", "w", stdout);
    freopen_s(&stream, "CONOUT$", "w", stderr);
    attached_output = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    return true;
}

void console_print(const char* format, ...) {
    char buffer[4096];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return;
    std::string text(buffer);
    // A console shows UTF-8 bytes in its own code page (850 on German systems),
    // so umlauts would turn to garbage: give a real console UTF-16 instead.
    // An attached console wins over an inherited standard handle, which may
    // still be the caller's redirection.
    DWORD mode = 0;
    HANDLE out = attached_output;
    if (out == INVALID_HANDLE_VALUE || !GetConsoleMode(out, &mode)) out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode)) {
        fflush(stdout);
        std::wstring wide = to_utf16(text);
        DWORD written = 0;
        WriteConsoleW(out, wide.data(), (DWORD)wide.size(), &written, nullptr);
        return;
    }
    fwrite(text.data(), 1, text.size(), stdout);
    fflush(stdout);
}
