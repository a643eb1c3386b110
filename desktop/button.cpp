#include "desktop/button.h"

// Placeholder until the taskbar button lands.
LRESULT CALLBACK button_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(window, message, wparam, lparam);
}

HWND create_button_window(HINSTANCE) { return nullptr; }
