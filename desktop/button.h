// The optional taskbar button window.
#pragma once
#include <windows.h>

LRESULT CALLBACK button_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Registers the class and creates the minimized button window; null on failure.
HWND create_button_window(HINSTANCE instance);
