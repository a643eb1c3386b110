#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "desktop/url_escape.h"

namespace {

struct EscapeCase {
    const char* name;
    std::wstring url;
    std::wstring escaped;
};

const std::vector<EscapeCase>& escape_cases() {
    static const std::vector<EscapeCase> cases = {
        {"legitimate url unchanged", L"https://srv.example:8443/p/Ab-9_x.~?ch=Zz09-_&a=b;c=(1)*!$'+,#f[0]@x",
         L"https://srv.example:8443/p/Ab-9_x.~?ch=Zz09-_&a=b;c=(1)*!$'+,#f[0]@x"},
        {"existing escapes kept", L"https://s/p/a%20b%c3%bc", L"https://s/p/a%20b%c3%bc"},
        {"stray percent escaped", L"https://s/p/100%?x=%4", L"https://s/p/100%25?x=%254"},
        {"quote cannot end the argument", L"https://s/p/x\" --renderer-cmd-prefix=\"calc.exe",
         L"https://s/p/x%22%20--renderer-cmd-prefix=%22calc.exe"},
        {"trailing backslash cannot escape the closing quote", L"https://s/p/x\\", L"https://s/p/x%5C"},
        {"control characters", std::wstring(L"https://s/p/a\tb\r\nc\x7f\x01" L"d\0e", 23),
         L"https://s/p/a%09b%0D%0Ac%7F%01d%00e"},
        {"characters outside a url", L"https://s/p/<a>{b}|c^d`e", L"https://s/p/%3Ca%3E%7Bb%7D%7Cc%5Ed%60e"},
        {"non-ascii as utf-8 bytes", L"https://s/p/\u00fc\u00b7\u20ac", L"https://s/p/%C3%BC%C2%B7%E2%82%AC"},
        {"surrogate pair as one code point", L"https://s/p/\U0001F600", L"https://s/p/%F0%9F%98%80"},
        {"lone surrogate replaced", std::wstring(L"https://s/p/a") + wchar_t(0xD800) + L"b",
         L"https://s/p/a%EF%BF%BDb"},
        {"empty", L"", L""},
    };
    return cases;
}

std::vector<std::wstring> split_like_windows(const std::wstring& command_line) {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(command_line.c_str(), &count);
    std::vector<std::wstring> args;
    if (!argv) return args;
    for (int i = 0; i < count; ++i) args.emplace_back(argv[i]);
    LocalFree(argv);
    return args;
}

}  // namespace

TEST(BrowserUrl, EscapesWhatAUrlMayNotCarryAndIsIdempotent) {
    for (const EscapeCase& c : escape_cases()) {
        SCOPED_TRACE(c.name);
        const std::wstring once = escape_url(c.url);
        EXPECT_EQ(once, c.escaped);
        EXPECT_EQ(escape_url(once), once);
    }
}

TEST(BrowserUrl, ParametersStayOneArgumentWhateverTheUrl) {
    for (const EscapeCase& c : escape_cases()) {
        SCOPED_TRACE(c.name);
        for (bool maximize : {false, true}) {
            const std::wstring parameters = browser_parameters(c.url, maximize);
            const std::vector<std::wstring> args = split_like_windows(L"browser.exe " + parameters);
            std::vector<std::wstring> expected = {L"browser.exe", L"--app=" + c.escaped};
            if (maximize) expected.push_back(L"--start-maximized");
            EXPECT_EQ(args, expected);
        }
    }
    EXPECT_EQ(browser_parameters(L"https://s/p/x?ch=abc", true), L"--app=\"https://s/p/x?ch=abc\" --start-maximized");
    EXPECT_EQ(browser_parameters(L"https://s/p/x?ch=abc", false), L"--app=\"https://s/p/x?ch=abc\"");
}
