#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "desktop/browser.h"
#include "test_util.h"

namespace {

// A top-level window of this process with the given class and title; the class
// is registered on first use. Destroyed when the holder goes.
class TestWindow {
public:
    TestWindow(const wchar_t* class_name, const std::wstring& title, bool visible, HWND owner = nullptr) {
        WNDCLASSW window_class = {};
        window_class.lpfnWndProc = DefWindowProcW;
        window_class.hInstance = GetModuleHandleW(nullptr);
        window_class.lpszClassName = class_name;
        RegisterClassW(&window_class);
        window_ = CreateWindowExW(0, class_name, title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, owner, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        if (visible) ShowWindow(window_, SW_SHOWNOACTIVATE);
    }
    ~TestWindow() { DestroyWindow(window_); }
    HWND handle() const { return window_; }

private:
    HWND window_ = nullptr;
};

const std::wstring PREFIX = APP_WINDOW_TITLE_PREFIX;

}  // namespace

TEST(BrowserWindow, RecognisesChromiumAndApplicationWindows) {
    TestWindow owner(L"OrvTestOwner", L"owner", true);
    struct Case {
        const char* name;
        const wchar_t* class_name;
        std::wstring title;
        bool visible;
        bool owned;
        bool browser;
        bool app;
    } cases[] = {
        {"chromium window with app title", BROWSER_WINDOW_CLASS, PREFIX + L"Patient", true, false, true, true},
        {"chromium window, other title", BROWSER_WINDOW_CLASS, L"Some page", true, false, true, false},
        {"chromium window without title", BROWSER_WINDOW_CLASS, L"", true, false, true, false},
        {"title is just the prefix", BROWSER_WINDOW_CLASS, PREFIX, true, false, true, true},
        {"long title cut to 63 characters", BROWSER_WINDOW_CLASS, PREFIX + std::wstring(100, L'x'), true, false,
         true, true},
        {"invisible", BROWSER_WINDOW_CLASS, PREFIX + L"Patient", false, false, false, false},
        {"owned", BROWSER_WINDOW_CLASS, PREFIX + L"Patient", true, true, false, false},
        {"any class with app title", L"OrvTestOther", PREFIX + L"Patient", true, false, false, true},
        {"similar class name", L"Chrome_WidgetWin_10", L"x", true, false, false, false},
        {"own tray window", L"OrvantaRunner", PREFIX + L"Patient", true, false, false, false},
        {"own button window", L"OrvantaButton", PREFIX + L"Patient", true, false, false, false},
        {"prefix in other case", BROWSER_WINDOW_CLASS, L"orvanta DEV \u00b7 Patient", true, false, true, false},
        {"hyphen instead of middle dot", BROWSER_WINDOW_CLASS, L"Orvanta DEV - Patient", true, false, true, false},
        {"prefix not at the start", BROWSER_WINDOW_CLASS, L"x" + PREFIX, true, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestWindow window(c.class_name, c.title, c.visible, c.owned ? owner.handle() : nullptr);
        ASSERT_NE(window.handle(), nullptr);
        EXPECT_EQ(is_browser_window(window.handle()), c.browser);
        EXPECT_EQ(is_app_window(window.handle()), c.app);
    }
}

namespace {

const wchar_t UNIT_EXE[] = L"orvanta-unit-browser.exe";
const std::wstring UNIT_KEY = std::wstring(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\") + UNIT_EXE;

void register_path(HKEY root, const std::wstring& path) {
    RegSetKeyValueW(root, UNIT_KEY.c_str(), nullptr, REG_SZ, path.c_str(), DWORD((path.size() + 1) * sizeof(wchar_t)));
}

void unregister(HKEY root) { RegDeleteKeyW(root, UNIT_KEY.c_str()); }

}  // namespace

TEST(BrowserWindow, LookupPrefersAWorkingUserRegistrationOverTheMachine) {
    TempFolder temp;
    const std::wstring user_exe = temp.file(L"user.exe");
    const std::wstring machine_exe = temp.file(L"machine.exe");
    ASSERT_TRUE(write_bytes(user_exe, "x"));
    ASSERT_TRUE(write_bytes(machine_exe, "x"));
    const std::wstring too_long = temp.file(std::wstring(270, L'a'));
    struct Case {
        const char* name;
        std::wstring user;     // empty: not registered
        std::wstring machine;  // empty: not registered
        std::wstring expected;
    } cases[] = {
        {"user registration wins", user_exe, machine_exe, user_exe},
        {"user file deleted: machine", temp.file(L"gone.exe"), machine_exe, machine_exe},
        {"user value too long: machine", too_long, machine_exe, machine_exe},
        {"machine only", L"", machine_exe, machine_exe},
        {"user only", user_exe, L"", user_exe},
        {"nothing registered", L"", L"", L""},
        {"both files missing", temp.file(L"gone.exe"), temp.file(L"gone2.exe"), L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unregister(HKEY_CURRENT_USER);
        unregister(HKEY_LOCAL_MACHINE);
        if (!c.user.empty()) register_path(HKEY_CURRENT_USER, c.user);
        if (!c.machine.empty()) register_path(HKEY_LOCAL_MACHINE, c.machine);
        EXPECT_EQ(lookup_app_path(UNIT_EXE), c.expected);
    }
    unregister(HKEY_CURRENT_USER);
    unregister(HKEY_LOCAL_MACHINE);
}
