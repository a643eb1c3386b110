// Benchmark reference: the smallest Windows GUI program that stays running,
// one hidden window and a message loop, to compare the runner's memory with
// what Wine itself costs. Ends when its window gets WM_CLOSE or after an hour.
// usage: bench_minimal_gui [--same-dlls]   (--same-dlls also loads the system
// DLLs the runner links, to tell their cost from the runner's own)
#include <windows.h>

#include <cwchar>
#include <initializer_list>

namespace {

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR command_line, int) {
    if (wcsstr(command_line, L"--same-dlls")) {
        for (const wchar_t* dll : {L"winhttp.dll", L"crypt32.dll", L"bcrypt.dll", L"shell32.dll", L"advapi32.dll"})
            LoadLibraryW(dll);
    }
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = instance;
    window_class.lpszClassName = L"BenchMinimalGui";
    if (!RegisterClassW(&window_class)) return 1;
    HWND window = CreateWindowExW(0, L"BenchMinimalGui", L"bench", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, instance, nullptr);
    if (!window) return 1;
    SetTimer(window, 1, 3600 * 1000, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER) break;
        DispatchMessageW(&message);
    }
    return 0;
}
