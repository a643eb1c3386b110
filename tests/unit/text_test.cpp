#include <gtest/gtest.h>

#include "support/text.h"
#include "test_util.h"

TEST(Text, Utf8RoundTripKeepsUmlautsAndEmbeddedZeros) {
    std::wstring word = L"\u00dcbertragung";
    std::string bytes = to_utf8(word);
    EXPECT_EQ(bytes.size(), 12u);
    EXPECT_EQ(to_utf16(bytes), word);
    EXPECT_EQ(to_utf8(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(to_utf8(L""), "");
    EXPECT_EQ(to_utf16(""), L"");
    // Ill-formed input is replaced, not rejected.
    EXPECT_EQ(to_utf16("\xff"), L"\ufffd");
}

TEST(Text, ExpandEnvKeepsUnknownNames) {
    SetEnvironmentVariableW(L"ORV_TEST_VAR", L"value");
    EXPECT_EQ(expand_env(L"%ORV_TEST_VAR%\\x"), L"value\\x");
    EXPECT_EQ(expand_env(L"%ORV_NO_SUCH_VAR%\\x"), L"%ORV_NO_SUCH_VAR%\\x");
    EXPECT_EQ(expand_env(L"plain text"), L"plain text");
    EXPECT_EQ(expand_env(L""), L"");
}

TEST(Text, CreateDirectoriesMakesParentsAndRejectsFiles) {
    TempFolder temp;
    std::wstring deep = temp.file(L"a\\b\\c");
    EXPECT_TRUE(create_directories(deep));
    EXPECT_TRUE(file_exists(temp.file(L"a\\b")));
    EXPECT_TRUE(create_directories(deep));
    EXPECT_TRUE(create_directories(temp.file(L"d\\")));
    EXPECT_TRUE(file_exists(temp.file(L"d")));
    ASSERT_TRUE(write_bytes(temp.file(L"f"), "x"));
    EXPECT_FALSE(create_directories(temp.file(L"f")));
    EXPECT_FALSE(create_directories(L""));
}

TEST(Text, TimeConversions) {
    struct Case { unsigned long long ticks; unsigned long long ms; };
    const Case cases[] = {
        {116444736000000000ULL, 0},
        {116444736000009999ULL, 0},
        {116444736000010000ULL, 1},
        {116444736000000000ULL + 1733750400123ULL * 10000ULL, 1733750400123ULL},
    };
    for (const Case& c : cases) {
        FILETIME ft;
        ft.dwLowDateTime = (DWORD)c.ticks;
        ft.dwHighDateTime = (DWORD)(c.ticks >> 32);
        EXPECT_EQ(filetime_to_unix_ms(ft), c.ms);
    }
    EXPECT_EQ(format_iso8601_utc(1733750400123ULL), "2024-12-09T13:20:00.123Z");
    EXPECT_EQ(format_iso8601_utc(0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(format_iso8601_utc(1704164645006ULL), "2024-01-02T03:04:05.006Z");
    uint64_t now = now_unix_ms();
    EXPECT_GT(now, 1733750400123ULL);
}

TEST(Text, BoundedFormattingCutsAndTerminates) {
    EXPECT_EQ(format_bounded(4, "%s", "abcdef"), "abc");
    EXPECT_EQ(format_bounded_w(4, L"%ls", L"abcdef"), L"abc");
    EXPECT_EQ(format_bounded_w(64, L"%013llu", 42ULL), L"0000000000042");
}
