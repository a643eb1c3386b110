#include "desktop/button.h"

#include "core/runtime.h"
#include "desktop/open_patient.h"

LRESULT CALLBACK button_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CLOSE:
        // The button stays for the life of the runner, also against the close
        // command of its taskbar menu.
        return 0;
    case WM_SYSCOMMAND:
        switch (wparam & 0xFFF0) {
        case SC_RESTORE:
        case SC_MAXIMIZE:
            // A click on the taskbar button: open the patient, stay minimized.
            start_open_patient();
            return 0;
        case SC_CLOSE:
            return 0;
        default:
            return DefWindowProcW(window, message, wparam, lparam);
        }
    case WM_ACTIVATE:
        if (LOWORD(wparam) != WA_INACTIVE && !IsIconic(window)) {
            ShowWindow(window, SW_SHOWMINNOACTIVE);
            start_open_patient();
        }
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

HWND create_button_window(HINSTANCE instance) {
    WNDCLASSEXW button_class = {};
    button_class.cbSize = sizeof button_class;
    button_class.lpfnWndProc = button_window_proc;
    button_class.hInstance = instance;
    button_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    button_class.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                         GetSystemMetrics(SM_CXSMICON),
                                                         GetSystemMetrics(SM_CYSMICON), 0));
    button_class.lpszClassName = BUTTON_WINDOW_CLASS;
    RegisterClassExW(&button_class);
    return CreateWindowExW(WS_EX_APPWINDOW, BUTTON_WINDOW_CLASS, BUTTON_WINDOW_TITLE,
                           WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT, CW_USEDEFAULT, 320, 120, nullptr,
                           nullptr, instance, nullptr);
}
