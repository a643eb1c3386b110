#include <gtest/gtest.h>

#include <regex>

#include "support/log.h"
#include "test_util.h"

TEST(Log, NothingBeforeInitOrWithEmptyPath) {
    TempFolder temp;
    log_init(L"");
    log_write("lost");
    EXPECT_FALSE(file_exists(temp.file(L"runner.log")));
}

TEST(Log, LineFormatAndCut) {
    TempFolder temp;
    std::wstring path = temp.file(L"runner.log");
    log_init(path);
    log_write("watching gdt dir");
    log_write("%s", std::string(2000, 'm').c_str());
    log_init(L"");
    std::string text = read_bytes(path);
    std::regex line("(\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}) \\[([1-9]\\d*)\\] ([^\\r\\n]*)\\r\\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(text, m, line));
    EXPECT_EQ(m.position(0), 0);
    EXPECT_EQ(m[2].str(), std::to_string(GetCurrentProcessId()));
    EXPECT_EQ(m[3].str(), "watching gdt dir");
    std::string rest = m.suffix();
    ASSERT_TRUE(std::regex_match(rest, m, line));
    EXPECT_EQ(m[3].str(), std::string(1023, 'm'));
}

TEST(Log, ControlBytesCannotForgeLines) {
    TempFolder temp;
    std::wstring path = temp.file(L"runner.log");
    log_init(path);
    log_write("gdt sync http=200 result=%s receipt=%s", "ok\r\n2024-01-01 00:00:00.000 [1] forged", "\x7f\xc3\xa4");
    log_init(L"");
    std::string text = read_bytes(path);
    EXPECT_EQ(text.find("\r\n"), text.size() - 2);
    EXPECT_NE(text.find("result=ok\\x0d\\x0a2024-01-01"), std::string::npos);
    EXPECT_NE(text.find("receipt=\\x7f\xc3\xa4"), std::string::npos);  // UTF-8 passes unchanged

    EXPECT_EQ(escape_control_bytes("a\tb\x01"), "a\\x09b\\x01");
    EXPECT_EQ(escape_control_bytes("plain \xc3\x9c"), "plain \xc3\x9c");
}

TEST(Log, RotationAboveOneMiB) {
    TempFolder temp;
    std::wstring path = temp.file(L"runner.log");
    std::wstring old_path = path + L".old";
    ASSERT_TRUE(write_bytes(old_path, "older"));
    ASSERT_TRUE(write_bytes(path, std::string(1048576, 'a')));
    log_init(path);
    log_write("first");
    EXPECT_EQ(read_bytes(old_path), "older");  // exactly 1 MiB is not rotated
    EXPECT_GT(read_bytes(path).size(), 1048576u);
    log_write("second");
    log_init(L"");
    std::string fresh = read_bytes(path);
    EXPECT_NE(fresh.find("second"), std::string::npos);
    EXPECT_EQ(fresh.find("first"), std::string::npos);
    EXPECT_NE(read_bytes(old_path).find("first"), std::string::npos);
}
