#include <gtest/gtest.h>

#include "core/maintenance.h"
#include "test_util.h"

TEST(SecretFile, WhiteSpaceIsDroppedWhereverItStands) {
    TempFolder temp;
    struct Case {
        std::string content;
        bool ok;
        std::string secret;
    };
    const Case cases[] = {
        {"abc\r\ndef\r\n", true, "abcdef"},
        {" \t a b\vc\fd\r\n", true, "abcd"},
        {std::string("\x00\xff\xc3\xa4\x85\xa0", 6), true, std::string("\x00\xff\xc3\xa4\x85\xa0", 6)},
        {" \r\n\t\v\f", false, ""},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(write_bytes(temp.file(L"secret"), c.content));
        std::string secret = "previous";
        EXPECT_EQ(read_secret_file(temp.file(L"secret"), secret), c.ok) << c.content;
        EXPECT_EQ(secret, c.secret) << c.content;
    }
}

TEST(SecretFile, UnreadableFilesLeaveTheOutputAlone) {
    TempFolder temp;
    // One byte above the 64 MiB read limit.
    HANDLE big = CreateFileW(temp.file(L"big").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(big, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = 64LL * 1024 * 1024 + 1;
    SetFilePointerEx(big, size, nullptr, FILE_BEGIN);
    SetEndOfFile(big);
    CloseHandle(big);

    for (const std::wstring& path : {temp.file(L"big"), temp.file(L"missing"), temp.path(), std::wstring()}) {
        std::string secret = "untouched";
        EXPECT_FALSE(read_secret_file(path, secret));
        EXPECT_EQ(secret, "untouched");
    }
}
