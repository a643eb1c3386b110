// The hidden tray window, its icon, menu, status box and balloons.
#pragma once
#include <windows.h>

LRESULT CALLBACK tray_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void add_tray_icon(HWND window);
