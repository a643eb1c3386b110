// The hidden tray window, its icon, menu, status box and balloons.
#pragma once
#include <windows.h>

#include <string>

// Private messages of the tray window.
const UINT WM_TRAY_CALLBACK = WM_APP + 1;  // from the shell; low word of lParam is the mouse event
const UINT WM_SHOW_BALLOON = WM_APP + 2;   // wParam: 0 information, else warning; lParam: heap wchar_t* the window frees

const UINT ID_OPEN_PATIENT = 1001;
const UINT ID_STATUS = 1002;

LRESULT CALLBACK tray_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Adds the icon to the notification area; called at start and on "TaskbarCreated".
bool add_tray_icon(HWND window);

// Posts a balloon from any thread. The text is copied to the heap and owned by
// the window once the post succeeds; false when the post failed (copy freed).
bool post_balloon(HWND window, bool warning, const std::wstring& text);

// The popup menu with its three entries; the caller destroys it.
HMENU build_tray_menu();

// The status box's five lines.
std::wstring compose_status_text(const std::wstring& status_text, size_t waiting, const std::wstring& server_url,
                                 const std::wstring& gdt_path);
