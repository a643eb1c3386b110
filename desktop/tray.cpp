#include "desktop/tray.h"

#include <shellapi.h>

#include "core/runtime.h"

// Minimal tray window until the full tray lands: icon in, icon out, quit on destroy.
void add_tray_icon(HWND window) {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = 1;
    data.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    data.uCallbackMessage = WM_APP + 1;
    data.hIcon = LoadIconW(app_instance, MAKEINTRESOURCEW(1));
    lstrcpynW(data.szTip, TRAY_WINDOW_TITLE, ARRAYSIZE(data.szTip));
    Shell_NotifyIconW(NIM_ADD, &data);
}

LRESULT CALLBACK tray_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) {
        NOTIFYICONDATAW data = {};
        data.cbSize = sizeof data;
        data.hWnd = window;
        data.uID = 1;
        Shell_NotifyIconW(NIM_DELETE, &data);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}
