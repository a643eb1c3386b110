#include "desktop/tray.h"

#include <shellapi.h>

#include <cwchar>
#include <string>

#include "capture/gdt_file.h"
#include "capture/queue.h"
#include "capture/sync.h"
#include "core/runtime.h"
#include "core/settings.h"
#include "desktop/browser.h"
#include "desktop/open_patient.h"

namespace {

const UINT TRAY_ICON_ID = 1;

NOTIFYICONDATAW icon_record(HWND window) {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = TRAY_ICON_ID;
    return data;
}

void remove_tray_icon(HWND window) {
    NOTIFYICONDATAW data = icon_record(window);
    Shell_NotifyIconW(NIM_DELETE, &data);
}

void show_balloon(HWND window, WPARAM severity, const wchar_t* text) {
    NOTIFYICONDATAW data = icon_record(window);
    data.uFlags = NIF_INFO;
    lstrcpynW(data.szInfoTitle, TRAY_WINDOW_TITLE, ARRAYSIZE(data.szInfoTitle));
    // szInfo holds 255 characters and the terminator: longer texts are cut.
    lstrcpynW(data.szInfo, text ? text : L"", ARRAYSIZE(data.szInfo));
    data.dwInfoFlags = severity == 0 ? NIIF_INFO : NIIF_WARNING;
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void show_status_box(HWND window) {
    const std::wstring status_text = copy_status_text();
    const size_t waiting = list_queue(settings.queue_dir).size();
    const std::wstring text = compose_status_text(status_text, waiting, settings.server_url, gdt_file_path());
    MessageBoxW(window, text.c_str(), TRAY_WINDOW_TITLE, MB_OK | MB_ICONINFORMATION);
}

void show_popup_menu(HWND window) {
    HMENU menu = build_tray_menu();
    if (!menu) return;
    POINT cursor = {};
    GetCursorPos(&cursor);
    // Without being the foreground window the menu would not close when the
    // user clicks elsewhere.
    SetForegroundWindow(window);
    const UINT chosen = (UINT)TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, cursor.x,
                                             cursor.y, 0, window, nullptr);
    DestroyMenu(menu);
    if (chosen == ID_OPEN_PATIENT) start_open_patient();
    else if (chosen == ID_STATUS) show_status_box(window);
}

void on_tray_callback(HWND window, LPARAM lparam) {
    switch (LOWORD(lparam)) {
    case WM_LBUTTONDBLCLK:
        start_open_patient();
        break;
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
        show_popup_menu(window);
        break;
    default:
        break;
    }
}

// The taskbar button stands in for the application window: hidden while one
// is open, back (minimized, inactive) once none is.
void update_button_visibility() {
    if (!button_window) return;
    const bool app_open = find_app_window() != nullptr;
    const bool visible = IsWindowVisible(button_window) != FALSE;
    if (app_open && visible) ShowWindow(button_window, SW_HIDE);
    else if (!app_open && !visible) ShowWindow(button_window, SW_SHOWMINNOACTIVE);
}

}  // namespace

bool add_tray_icon(HWND window) {
    NOTIFYICONDATAW data = icon_record(window);
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAY_CALLBACK;
    data.hIcon = LoadIconW(app_instance, MAKEINTRESOURCEW(1));
    if (!data.hIcon) data.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    lstrcpynW(data.szTip, TRAY_WINDOW_TITLE, ARRAYSIZE(data.szTip));
    return Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

bool post_balloon(HWND window, bool warning, const std::wstring& text) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    wchar_t* copy = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, bytes));
    if (!copy) return false;
    memcpy(copy, text.c_str(), bytes);
    if (PostMessageW(window, WM_SHOW_BALLOON, warning ? 1 : 0, reinterpret_cast<LPARAM>(copy))) return true;
    HeapFree(GetProcessHeap(), 0, copy);
    return false;
}

HMENU build_tray_menu() {
    HMENU menu = CreatePopupMenu();
    if (!menu) return nullptr;
    AppendMenuW(menu, MF_STRING, ID_OPEN_PATIENT, L"Orvanta DEV \u2013 Aktuellen Patienten \u00f6ffnen");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, ID_STATUS, L"Status");
    SetMenuDefaultItem(menu, ID_OPEN_PATIENT, FALSE);
    return menu;
}

std::wstring compose_status_text(const std::wstring& status_text, size_t waiting, const std::wstring& server_url,
                                 const std::wstring& gdt_path) {
    return status_text + L"\n\nWartend: " + std::to_wstring(waiting) + L"\nServer: " + server_url + L"\nGDT: " +
           gdt_path;
}

LRESULT CALLBACK tray_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (taskbar_created_msg != 0 && message == taskbar_created_msg) {
        add_tray_icon(window);
        return 0;
    }
    switch (message) {
    case WM_TRAY_CALLBACK:
        on_tray_callback(window, lparam);
        return 0;
    case WM_SHOW_BALLOON: {
        wchar_t* text = reinterpret_cast<wchar_t*>(lparam);
        show_balloon(window, wparam, text);
        if (text) HeapFree(GetProcessHeap(), 0, text);
        return 0;
    }
    case WM_TIMER:
        if (wparam == BUTTON_TIMER_ID) update_button_visibility();
        return 0;
    case WM_ENDSESSION:
        if (wparam) SetEvent(stop_event);
        return 0;
    case WM_DESTROY:
        remove_tray_icon(window);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}
