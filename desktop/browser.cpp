#include "desktop/browser.h"

#include <objbase.h>
#include <shellapi.h>

#include <cwchar>

#include "core/runtime.h"
#include "core/settings.h"
#include "desktop/url_escape.h"
#include "support/log.h"

namespace {

const wchar_t APP_PATHS_KEY[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const int NAME_BUFFER_CHARS = 64;
const int MAXIMIZE_ATTEMPTS = 60;
const DWORD MAXIMIZE_INTERVAL_MS = 250;

bool read_registered_path(HKEY root, const std::wstring& key, std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    DWORD size = sizeof buffer;
    if (RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return false;
    path = buffer;
    return true;
}

bool is_visible_unowned(HWND window) {
    return IsWindowVisible(window) && GetWindow(window, GW_OWNER) == nullptr;
}

BOOL CALLBACK collect_browser_window(HWND window, LPARAM list) {
    if (is_browser_window(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

BOOL CALLBACK stop_at_app_window(HWND window, LPARAM found) {
    if (!is_app_window(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

void open_with_default_handler(const std::wstring& url) {
    // The default URL handler may be a shell extension, which needs COM on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (SUCCEEDED(com)) CoUninitialize();
}

HWND first_new_window(const std::vector<HWND>& before, const std::vector<HWND>& after) {
    for (HWND candidate : after) {
        bool seen = false;
        for (HWND old : before) seen = seen || old == candidate;
        if (!seen) return candidate;
    }
    return nullptr;
}

// The browser decides where its window appears; look for the one that was not
// there before the launch and maximize it.
void maximize_new_window(const std::vector<HWND>& before) {
    for (int attempt = 0; attempt < MAXIMIZE_ATTEMPTS; ++attempt) {
        Sleep(MAXIMIZE_INTERVAL_MS);
        HWND window = first_new_window(before, collect_browser_windows());
        if (window) {
            ShowWindow(window, SW_SHOWMAXIMIZED);
            SetForegroundWindow(window);
            log_write("window maximized");
            return;
        }
    }
    log_write("new window not found for maximize");
}

}  // namespace

std::wstring lookup_app_path(const wchar_t* exe_name) {
    const std::wstring key = std::wstring(APP_PATHS_KEY) + exe_name;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        std::wstring path;
        if (read_registered_path(root, key, path) && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            return path;
    }
    return std::wstring();
}

bool is_browser_window(HWND window) {
    if (!is_visible_unowned(window)) return false;
    wchar_t class_name[NAME_BUFFER_CHARS];
    if (GetClassNameW(window, class_name, NAME_BUFFER_CHARS) == 0) return false;
    return wcscmp(class_name, BROWSER_WINDOW_CLASS) == 0;
}

bool is_app_window(HWND window) {
    if (!is_visible_unowned(window)) return false;
    wchar_t class_name[NAME_BUFFER_CHARS] = {};
    GetClassNameW(window, class_name, NAME_BUFFER_CHARS);
    if (wcscmp(class_name, TRAY_WINDOW_CLASS) == 0 || wcscmp(class_name, BUTTON_WINDOW_CLASS) == 0) return false;
    wchar_t title[NAME_BUFFER_CHARS];
    if (GetWindowTextW(window, title, NAME_BUFFER_CHARS) <= 0) return false;
    const size_t prefix_length = wcslen(APP_WINDOW_TITLE_PREFIX);
    return wcsncmp(title, APP_WINDOW_TITLE_PREFIX, prefix_length) == 0;
}

std::vector<HWND> collect_browser_windows() {
    std::vector<HWND> windows;
    EnumWindows(collect_browser_window, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND find_app_window() {
    HWND found = nullptr;
    EnumWindows(stop_at_app_window, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool focus_app_window() {
    HWND window = find_app_window();
    if (!window) return false;
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
    return true;
}

void launch_browser(const std::wstring& url) {
    // The URL may come from a server's answer: escaped, it can only ever be
    // one argument of the browser or the default handler.
    const std::wstring safe_url = escape_url(url);
    std::wstring browser;
    if (settings.window) {
        browser = lookup_app_path(L"msedge.exe");
        if (browser.empty()) browser = lookup_app_path(L"chrome.exe");
    }
    if (browser.empty()) {
        open_with_default_handler(safe_url);
        return;
    }
    const std::vector<HWND> before = collect_browser_windows();
    const std::wstring parameters = browser_parameters(safe_url, settings.maximize);
    const HINSTANCE started = ShellExecuteW(nullptr, L"open", browser.c_str(), parameters.c_str(), nullptr,
                                            settings.maximize ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(started) <= 32) {
        open_with_default_handler(safe_url);
        return;
    }
    if (settings.maximize) maximize_new_window(before);
}
