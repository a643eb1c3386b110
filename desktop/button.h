// The optional taskbar button window: a permanently minimized window whose
// taskbar button opens the current patient.
#pragma once
#include <windows.h>

#define BUTTON_WINDOW_TITLE L"Orvanta DEV \u2013 Patient \u00f6ffnen"

LRESULT CALLBACK button_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Registers the class and creates the (not yet shown) button window; null on
// failure. The caller shows it minimized without activation.
HWND create_button_window(HINSTANCE instance);
