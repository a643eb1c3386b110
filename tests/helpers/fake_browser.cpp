// A stand-in browser for the end-to-end tests.
//
// Appends one JSON line per start to the file named by FAKE_BROWSER_RECORD
// (default: this program's path + ".record"): process id, show command,
// the whole command line and its arguments as CommandLineToArgvW splits them.
// Then opens a visible, normal top-level window of class "Chrome_WidgetWin_1"
// titled FAKE_BROWSER_TITLE (default "Orvanta DEV · Patient") and runs until
// that window is closed. FAKE_BROWSER_WINDOW=0 leaves without a window (like a
// browser that hands the URL to an instance already running);
// FAKE_BROWSER_DELAY_MS waits before the window appears.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

std::wstring environment(const wchar_t* name, const wchar_t* fallback) {
    wchar_t buffer[1024];
    DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
    if (n == 0 || n >= 1024) return fallback;
    return std::wstring(buffer, n);
}

std::string to_utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), out.data(), n, nullptr, nullptr);
    return out;
}

std::string json_string(const std::wstring& text) {
    std::string out = "\"";
    for (unsigned char c : to_utf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += (char)c;
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            wsprintfA(escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += (char)c;
        }
    }
    return out + "\"";
}

void append_record(const std::string& line) {
    std::wstring path = environment(L"FAKE_BROWSER_RECORD", L"");
    if (path.empty()) {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        path = std::wstring(self) + L".record";
    }
    // Several stand-ins may start at once: retry while another one writes.
    for (int attempt = 0; attempt < 100; ++attempt) {
        HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, line.data(), (DWORD)line.size(), &written, nullptr);
            CloseHandle(file);
            return;
        }
        Sleep(20);
    }
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show_command) {
    std::string line = "{\"pid\":" + std::to_string(GetCurrentProcessId()) +
                       ",\"show\":" + std::to_string(show_command) +
                       ",\"cmdline\":" + json_string(GetCommandLineW()) + ",\"args\":[";
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; argv && i < count; ++i) line += (i > 1 ? "," : "") + json_string(argv[i]);
    if (argv) LocalFree(argv);
    append_record(line + "]}\n");

    if (environment(L"FAKE_BROWSER_WINDOW", L"1") == L"0") return 0;
    Sleep(_wtoi(environment(L"FAKE_BROWSER_DELAY_MS", L"0").c_str()));

    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = instance;
    window_class.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    window_class.lpszClassName = L"Chrome_WidgetWin_1";
    RegisterClassW(&window_class);
    // WS_VISIBLE instead of ShowWindow: the window starts normal whatever show
    // command we were given, so a maximized window proves someone maximized it.
    const std::wstring title = environment(L"FAKE_BROWSER_TITLE", L"Orvanta DEV \u00b7 Patient");
    HWND window = CreateWindowExW(0, L"Chrome_WidgetWin_1", title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                                  480, 320, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
