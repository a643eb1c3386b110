// Drives the runner's windows the way the shell and a user would, for the
// end-to-end tests. One command per run; results as JSON on standard output;
// exit code 0 when the command did what it says, 1 otherwise.
//
//   windows                       every top-level window: handle, class, title, state
//   tray-post EVENT...            post tray callbacks (lbuttondblclk, lbuttonup, rbuttonup,
//                                 contextmenu) to the "OrvantaRunner" window, back to back
//   menu-wait MS                  wait for a visible popup menu
//   menu-keys KEY...              post keys (down, up, return, escape) to the popup menu
//   msgbox-wait MS                wait for a message box: caption, text, icon
//   msgbox-close                  press OK on the message box
//   icon-probe HWND               does the shell hold icon 1 of that window?
//   icon-remove HWND              delete icon 1 of that window from the shell
//   taskbar-created               broadcast "TaskbarCreated"
//   endsession WPARAM             send WM_ENDSESSION to the tray window
//   button-info                   the "OrvantaButton" window's title and state
//   button-syscmd restore|maximize|close|minimize
//   button-close                  send WM_CLOSE to the button window
//   button-restore                restore and activate the button window from outside
//   browser-windows               the visible "Chrome_WidgetWin_1" windows
//   browser-minimize | browser-close   every such window
//   balloons                      texts of the visible balloon tooltips
//   register-app-path ROOT NAME PATH [ROOT NAME PATH...]
//                                 App Paths entries (ROOT: hkcu or hklm); PATH "-" removes one
//   url-handler PATH | -          make PATH the https/http handler, or restore the saved one
//   hold-file PATH MS             keep PATH open without sharing for MS milliseconds;
//                                 PATH.held exists while it is held
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string to_utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), out.data(), n, nullptr, nullptr);
    return out;
}

std::string json_string(const std::wstring& text) {
    std::string out = "\"";
    for (unsigned char c : to_utf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += (char)c;
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += (char)c;
        }
    }
    return out + "\"";
}

std::string json_bool(bool value) { return value ? "true" : "false"; }

std::string handle_text(HWND window) {
    char buffer[32];
    snprintf(buffer, sizeof buffer, "%llu", (unsigned long long)(UINT_PTR)window);
    return buffer;
}

HWND parse_handle(const wchar_t* text) { return (HWND)(UINT_PTR)_wcstoui64(text, nullptr, 0); }

std::wstring class_of(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

// Reads another process's window text through WM_GETTEXT, which reaches
// controls (tooltips, statics) whose text lives in their own process.
std::wstring text_of(HWND window) {
    wchar_t text[2048] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 2048, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, &ignored);
    return text;
}

std::vector<HWND> top_level_windows() {
    std::vector<HWND> windows;
    EnumWindows([](HWND window, LPARAM list) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
    }, (LPARAM)&windows);
    return windows;
}

std::string window_json(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return "{\"hwnd\":" + handle_text(window) + ",\"class\":" + json_string(class_of(window)) +
           ",\"title\":" + json_string(text_of(window)) + ",\"visible\":" + json_bool(IsWindowVisible(window)) +
           ",\"iconic\":" + json_bool(IsIconic(window)) + ",\"zoomed\":" + json_bool(IsZoomed(window)) +
           ",\"foreground\":" + json_bool(GetForegroundWindow() == window) +
           ",\"owned\":" + json_bool(GetWindow(window, GW_OWNER) != nullptr) +
           ",\"style\":" + std::to_string(GetWindowLongW(window, GWL_STYLE)) +
           ",\"exstyle\":" + std::to_string(GetWindowLongW(window, GWL_EXSTYLE)) + ",\"pid\":" + std::to_string(pid) +
           "}";
}

std::vector<HWND> visible_windows_of_class(const wchar_t* name) {
    std::vector<HWND> found;
    for (HWND window : top_level_windows())
        if (IsWindowVisible(window) && class_of(window) == name) found.push_back(window);
    return found;
}

HWND wait_for_window(const wchar_t* name, DWORD timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        std::vector<HWND> found = visible_windows_of_class(name);
        if (!found.empty()) return found.front();
        if (GetTickCount64() >= deadline) return nullptr;
        Sleep(25);
    }
}

int print_list(const std::vector<HWND>& windows) {
    std::string out = "[";
    for (size_t i = 0; i < windows.size(); ++i) out += (i ? "," : "") + window_json(windows[i]);
    printf("%s]\n", out.c_str());
    return 0;
}

int tray_post(int count, wchar_t** events) {
    HWND tray = FindWindowW(L"OrvantaRunner", nullptr);
    if (!tray || count < 1) return 1;
    for (int i = 0; i < count; ++i) {
        const std::wstring event = events[i];
        UINT mouse = event == L"lbuttondblclk" ? WM_LBUTTONDBLCLK
                   : event == L"lbuttonup"     ? WM_LBUTTONUP
                   : event == L"rbuttonup"     ? WM_RBUTTONUP
                   : event == L"contextmenu"   ? WM_CONTEXTMENU
                                               : 0;
        if (!mouse || !PostMessageW(tray, WM_APP + 1, 1, mouse)) return 1;
    }
    return 0;
}

int menu_keys(int count, wchar_t** keys) {
    HWND menu = wait_for_window(L"#32768", 2000);
    if (!menu) return 1;
    for (int i = 0; i < count; ++i) {
        std::wstring key = keys[i];
        WPARAM vk = key == L"down" ? VK_DOWN : key == L"up" ? VK_UP : key == L"return" ? VK_RETURN
                  : key == L"escape" ? VK_ESCAPE : 0;
        if (!vk) return 1;
        PostMessageW(menu, WM_KEYDOWN, vk, 1);
        PostMessageW(menu, WM_KEYUP, vk, 0xC0000001);
        Sleep(50);
    }
    return 0;
}

// The message text and the icon are static controls of the box; which ids
// they carry differs between systems, their styles do not.
int msgbox_wait(DWORD timeout_ms) {
    HWND box = wait_for_window(L"#32770", timeout_ms);
    if (!box) return 1;
    std::wstring text;
    bool icon = false;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (class_of(child) != L"Static" || !IsWindowVisible(child)) continue;
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) icon = true;
        else if (text.empty()) text = text_of(child);
    }
    printf("{\"hwnd\":%s,\"caption\":%s,\"text\":%s,\"icon\":%s}\n", handle_text(box).c_str(),
           json_string(text_of(box)).c_str(), json_string(text).c_str(), json_bool(icon).c_str());
    return 0;
}

int msgbox_close() {
    HWND box = wait_for_window(L"#32770", 2000);
    if (!box) return 1;
    return PostMessageW(box, WM_COMMAND, IDOK, 0) ? 0 : 1;
}

bool notify_icon(DWORD action, HWND owner) {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = 1;
    return Shell_NotifyIconW(action, &data) != FALSE;
}

int send_to(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (!window) return 1;
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, 5000, &result) ? 0 : 1;
}

int button_syscmd(const std::wstring& command) {
    WPARAM code = command == L"restore" ? SC_RESTORE : command == L"maximize" ? SC_MAXIMIZE
                : command == L"close" ? SC_CLOSE : command == L"minimize" ? SC_MINIMIZE : 0;
    if (!code) return 1;
    return send_to(FindWindowW(L"OrvantaButton", nullptr), WM_SYSCOMMAND, code, 0);
}

int balloons() {
    std::string out = "[";
    bool first = true;
    for (HWND window : top_level_windows()) {
        if (!IsWindowVisible(window) || class_of(window) != L"tooltips_class32") continue;
        out += (first ? "" : ",") + json_string(text_of(window));
        first = false;
    }
    printf("%s]\n", out.c_str());
    return 0;
}

const wchar_t APP_PATHS[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

int register_app_path(const std::wstring& root_name, const std::wstring& exe, const std::wstring& path) {
    HKEY root = root_name == L"hklm" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const std::wstring key = APP_PATHS + exe;
    if (path == L"-") {
        LSTATUS status = RegDeleteKeyW(root, key.c_str());
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? 0 : 1;
    }
    return RegSetKeyValueW(root, key.c_str(), nullptr, REG_SZ, path.c_str(),
                           DWORD((path.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS ? 0 : 1;
}

// The handler's command lives machine-wide; the original is kept in a value
// beside it so that "-" can put it back.
int url_handler(const std::wstring& path) {
    for (const wchar_t* scheme : {L"https", L"http"}) {
        const std::wstring key = std::wstring(L"SOFTWARE\\Classes\\") + scheme + L"\\shell\\open\\command";
        wchar_t saved[1024] = {};
        DWORD size = sizeof saved;
        bool have_saved = RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"OrvantaTestSaved", RRF_RT_REG_SZ, nullptr,
                                       saved, &size) == ERROR_SUCCESS;
        std::wstring command;
        if (path == L"-") {
            if (!have_saved) continue;
            command = saved;
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"OrvantaTestSaved");
        } else {
            if (!have_saved) {
                wchar_t current[1024] = {};
                size = sizeof current;
                RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, current, &size);
                RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"OrvantaTestSaved", REG_SZ, current,
                                DWORD((wcslen(current) + 1) * sizeof(wchar_t)));
            }
            command = L"\"" + path + L"\" \"%1\"";
        }
        if (RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, REG_SZ, command.c_str(),
                            DWORD((command.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS)
            return 1;
    }
    return 0;
}

int hold_file(const std::wstring& path, DWORD ms) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    const std::wstring marker = path + L".held";
    HANDLE held = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    Sleep(ms);
    DeleteFileW(marker.c_str());
    CloseHandle(file);
    return 0;
}

int run(int argc, wchar_t** argv) {
    if (argc < 2) return 1;
    const std::wstring command = argv[1];
    const std::wstring arg = argc > 2 ? argv[2] : L"";
    if (command == L"windows") return print_list(top_level_windows());
    if (command == L"tray-post") return tray_post(argc - 2, argv + 2);
    if (command == L"menu-wait") return wait_for_window(L"#32768", _wtoi(arg.c_str())) ? 0 : 1;
    if (command == L"menu-keys") return menu_keys(argc - 2, argv + 2);
    if (command == L"msgbox-wait") return msgbox_wait(_wtoi(arg.c_str()));
    if (command == L"msgbox-close") return msgbox_close();
    if (command == L"icon-probe") return notify_icon(NIM_MODIFY, parse_handle(arg.c_str())) ? 0 : 1;
    if (command == L"icon-remove") return notify_icon(NIM_DELETE, parse_handle(arg.c_str())) ? 0 : 1;
    if (command == L"taskbar-created") {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0, SMTO_ABORTIFHUNG, 5000,
                            &ignored);
        return 0;
    }
    if (command == L"endsession")
        return send_to(FindWindowW(L"OrvantaRunner", nullptr), WM_ENDSESSION, _wtoi(arg.c_str()), 0);
    if (command == L"button-info") {
        HWND button = FindWindowW(L"OrvantaButton", nullptr);
        if (!button) return 1;
        printf("%s\n", window_json(button).c_str());
        return 0;
    }
    if (command == L"button-syscmd") return button_syscmd(arg);
    if (command == L"button-close") return send_to(FindWindowW(L"OrvantaButton", nullptr), WM_CLOSE, 0, 0);
    if (command == L"button-restore") {
        HWND button = FindWindowW(L"OrvantaButton", nullptr);
        if (!button) return 1;
        ShowWindow(button, SW_RESTORE);
        SetForegroundWindow(button);
        return 0;
    }
    if (command == L"browser-windows") return print_list(visible_windows_of_class(L"Chrome_WidgetWin_1"));
    if (command == L"browser-minimize" || command == L"browser-close") {
        for (HWND window : visible_windows_of_class(L"Chrome_WidgetWin_1")) {
            if (command == L"browser-close") PostMessageW(window, WM_CLOSE, 0, 0);
            else ShowWindow(window, SW_MINIMIZE);
        }
        return 0;
    }
    if (command == L"balloons") return balloons();
    if (command == L"register-app-path" && argc >= 5 && (argc - 2) % 3 == 0) {
        int failures = 0;
        for (int i = 2; i + 2 < argc; i += 3) failures += register_app_path(argv[i], argv[i + 1], argv[i + 2]);
        return failures ? 1 : 0;
    }
    if (command == L"url-handler") return url_handler(arg);
    if (command == L"hold-file" && argc == 4) return hold_file(arg, _wtoi(argv[3]));
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int code = run(argc, argv);
    fflush(stdout);
    return code;
}
