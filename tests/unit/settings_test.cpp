#include <gtest/gtest.h>

#include "core/settings.h"
#include "test_util.h"

namespace {
RunnerSettings load_from(const TempFolder& temp, const std::string& ini) {
    std::wstring path = temp.file(L"runner.ini");
    write_bytes(path, ini);
    RunnerSettings s;
    load_settings(s, path);
    return s;
}
}  // namespace

TEST(Settings, DefaultsWhenFileMissingEmptyOrGarbled) {
    TempFolder temp;
    std::wstring user = expand_env(L"%USERNAME%");
    for (const char* content : {(const char*)nullptr, "", "\x01\xff garbage\n[[[\n=x\n"}) {
        RunnerSettings s;
        if (content) s = load_from(temp, content);
        else load_settings(s, temp.file(L"missing.ini"));
        EXPECT_EQ(s.server_url, DEFAULT_SERVER_URL);
        EXPECT_EQ(s.token_url, DEFAULT_TOKEN_URL);
        EXPECT_EQ(s.client_id, "velmora-runner-364280");
        EXPECT_EQ(s.gdt_dir, L"C:\\Users\\" + user + L"\\GDT");
        EXPECT_EQ(s.gdt_file, L"data.gdt");
        EXPECT_EQ(s.debounce_ms, 300);
        EXPECT_TRUE(s.window);
        EXPECT_FALSE(s.taskbar_button);
        EXPECT_TRUE(s.maximize);
        EXPECT_EQ(s.users, L"");
    }
}

TEST(Settings, ValuesAreExpandedAndNormalised) {
    TempFolder temp;
    SetEnvironmentVariableW(L"ORV_HOST", L"srv.example");
    RunnerSettings s = load_from(temp,
        "[server]\nurl=https://%ORV_HOST%/base///\ntoken_url=https://t.example/x/\nclient_id=abc\n"
        "[gdt]\ndir=D:\\Praxis\\GDT\\/\\\nfile=%USERNAME%.gdt\ndebounce_ms=750\n"
        "[open]\nwindow=Browser\ntaskbar_button=yes\nmaximize=no\n[run]\nusers=%ORV_HOST%\n");
    EXPECT_EQ(s.server_url, L"https://srv.example/base");
    EXPECT_EQ(s.token_url, L"https://t.example/x/");
    EXPECT_EQ(s.client_id, "abc");
    EXPECT_EQ(s.gdt_dir, L"D:\\Praxis\\GDT");
    EXPECT_EQ(s.gdt_file, expand_env(L"%USERNAME%") + L".gdt");
    EXPECT_EQ(s.debounce_ms, 750);
    EXPECT_TRUE(s.window);            // only the exact word "browser" turns it off
    EXPECT_FALSE(s.taskbar_button);   // not a number: 0
    EXPECT_FALSE(s.maximize);
    EXPECT_EQ(s.users, L"srv.example");

    s = load_from(temp, "[open]\nwindow=browser\ntaskbar_button=-2\nmaximize=0\n[gdt]\ndebounce_ms=12abc\n");
    EXPECT_FALSE(s.window);
    EXPECT_TRUE(s.taskbar_button);
    EXPECT_FALSE(s.maximize);
    EXPECT_EQ(s.debounce_ms, 12);
}

TEST(Settings, LongValueIsCutAt2047Units) {
    TempFolder temp;
    RunnerSettings s = load_from(temp, "[gdt]\nfile=" + std::string(5000, 'x') + "\n");
    EXPECT_EQ(s.gdt_file, std::wstring(2047, L'x'));
}

TEST(Settings, TrailingSeparators) {
    struct Case { const wchar_t* in; const wchar_t* url; const wchar_t* dir; };
    const Case cases[] = {
        {L"https://a/", L"https://a", L"https://a"},
        {L"https://a/p//", L"https://a/p", L"https://a/p"},
        {L"C:\\", L"C:\\", L"C:"},
        {L"D:\\x\\\\", L"D:\\x\\\\", L"D:\\x"},
        {L"///", L"", L""},
        {L"", L"", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(strip_trailing_slashes(c.in), c.url) << c.in;
        EXPECT_EQ(strip_trailing_separators(c.in), c.dir) << c.in;
    }
}

TEST(Settings, UserList) {
    struct Case { const wchar_t* users; const wchar_t* user; bool listed; };
    const Case cases[] = {
        {L"anna, Bernd ,", L"anna", true},
        {L"anna, Bernd ,", L"ANNA", true},
        {L"anna, Bernd ,", L"bernd", true},
        {L"anna, Bernd ,", L"Bern", false},
        {L" , ,,", L"", false},
        {L"", L"anna", false},
        {L"\tanna", L"anna", false},           // only blanks are trimmed
        {L"J\u00fcrgen", L"J\u00dcRGEN", false}, // umlauts compare exactly
        {L"J\u00fcrgen", L"j\u00fcrgen", true},
        {L"x,,anna", L"Anna", true},
    };
    for (const Case& c : cases) EXPECT_EQ(is_user_listed(c.users, c.user), c.listed) << c.users << " / " << c.user;
}
