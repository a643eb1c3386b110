// Runs a program the way a console window would, and shows the test what the
// window shows: makes a console of its own, starts the program without one
// (as a GUI program started from a console has none until it attaches), waits,
// then prints the console's text as UTF-8 lines and exits with the program's code.
//   maint_console PROGRAM [ARGS...]
#include <windows.h>

#include <string>

namespace {

// Quotes one argument so that CommandLineToArgvW gives it back unchanged.
void append_quoted(std::wstring& line, const std::wstring& arg) {
    if (!line.empty()) line += L' ';
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

void write_utf8(HANDLE out, const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? size : 0, '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), bytes.data(), size, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(out, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
}

// Every line of the screen buffer up to the cursor, without trailing blanks.
std::wstring screen_text() {
    std::wstring text;
    HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (screen == INVALID_HANDLE_VALUE) return text;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(screen, &info)) {
        std::wstring row(info.dwSize.X, L' ');
        for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
            DWORD got = 0;
            COORD at = {0, y};
            ReadConsoleOutputCharacterW(screen, row.data(), (DWORD)row.size(), at, &got);
            while (got > 0 && row[got - 1] == L' ') --got;
            if (y == info.dwCursorPosition.Y && got == 0) break;
            text.append(row.data(), got);
            text += L'\n';
        }
    }
    CloseHandle(screen);
    return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 64;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    FreeConsole();
    if (!AllocConsole()) return 65;

    std::wstring line;
    for (int i = 1; i < argc; ++i) append_quoted(line, argv[i]);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                        &process))
        return 66;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    write_utf8(out, screen_text());
    return (int)code;
}
