// Starting the browser on a URL and finding the server's application window.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Window title prefix of the server's web application ("Orvanta DEV · ").
#define APP_WINDOW_TITLE_PREFIX L"Orvanta DEV \u00b7 "
#define BROWSER_WINDOW_CLASS L"Chrome_WidgetWin_1"

// Full path of an installed program registered under App Paths (per user
// first, then per machine); empty when unregistered or the file is gone.
std::wstring lookup_app_path(const wchar_t* exe_name);

// Visible, unowned top-level Chromium windows, top of the Z order first.
std::vector<HWND> collect_browser_windows();

// Opens the URL in an Edge or Chrome application window (or the default
// browser) and, when maximizing, maximizes the window the launch produced.
// May block the calling thread for about 15 seconds.
void launch_browser(const std::wstring& url);

// The first top-level window that is the server's application window, or null.
HWND find_app_window();

// Brings the application window to the front, restoring it when minimized.
bool focus_app_window();

// The window tests behind the two enumerations.
bool is_browser_window(HWND window);
bool is_app_window(HWND window);
