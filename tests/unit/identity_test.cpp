#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>

#include "core/channel_text.h"
#include "core/identity.h"
#include "test_util.h"

namespace {

const std::string VALID_43 = "AbCdEfGhIjKlMnOpQrStUvWxYz0123456789-_abcde";

bool is_generated_channel(const std::string& channel) {
    return channel.size() == 43 && channel_from_file(channel) == channel;
}

RunnerSettings settings_in(const TempFolder& folder) {
    RunnerSettings s;
    s.data_dir = folder.path();
    s.channel_path = folder.file(L"channel");
    return s;
}

}  // namespace

TEST(Identity, ChannelFileContent) {
    struct Case { std::string content; std::string channel; };
    const Case cases[] = {
        {VALID_43, VALID_43},
        {VALID_43 + "\r\n", VALID_43},
        {VALID_43 + " \t\n\v\f\r", VALID_43},
        {std::string(22, 'a'), std::string(22, 'a')},
        {std::string(64, 'Z'), std::string(64, 'Z')},
        {std::string(21, 'a'), ""},
        {std::string(21, 'a') + "\r\n", ""},
        {std::string(65, 'Z'), ""},
        {" " + VALID_43, ""},
        {VALID_43.substr(0, 42) + "=", ""},
        {VALID_43.substr(0, 20) + " " + VALID_43.substr(20), ""},
        {VALID_43.substr(0, 30) + "+/", ""},
        {std::string("abcdefghijklmnopqrstuvwxyz\0", 27), ""},
        {"", ""},
        {"\r\n", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(channel_from_file(c.content), c.channel) << "[" << c.content << "]";
}

TEST(Identity, UrlSafeBase64WithoutPadding) {
    struct Case { std::string bytes; std::string text; };
    const Case cases[] = {
        {"", ""}, {"f", "Zg"}, {"fo", "Zm8"}, {"foo", "Zm9v"}, {"foob", "Zm9vYg"}, {"fooba", "Zm9vYmE"},
        {"foobar", "Zm9vYmFy"}, {"\xfb\xff", "-_8"}, {"\xff\xff\xff", "____"}, {"\xf8\x3e", "-D4"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(base64url_encode((const unsigned char*)c.bytes.data(), c.bytes.size()), c.text) << c.text;
    unsigned char zeros[32] = {};
    EXPECT_EQ(base64url_encode(zeros, 32), std::string(43, 'A'));
}

TEST(Identity, ChannelGeneratedOnceAndKept) {
    TempFolder temp;
    RunnerSettings first = settings_in(temp);
    load_or_create_channel(first);
    ASSERT_TRUE(is_generated_channel(first.channel)) << first.channel;
    EXPECT_EQ(read_bytes(temp.file(L"channel")), first.channel);  // no line end
    EXPECT_FALSE(file_exists(temp.file(L"channel.tmp")));

    RunnerSettings second = settings_in(temp);
    load_or_create_channel(second);
    EXPECT_EQ(second.channel, first.channel);
}

TEST(Identity, UnusableChannelFileIsLeftAlone) {
    const std::string contents[] = {std::string(21, 'a'), std::string(65, 'a'), " " + VALID_43, VALID_43 + "=", ""};
    for (const std::string& content : contents) {
        TempFolder temp;
        ASSERT_TRUE(write_bytes(temp.file(L"channel"), content));
        std::set<std::string> seen;
        for (int i = 0; i < 2; ++i) {
            RunnerSettings s = settings_in(temp);
            load_or_create_channel(s);
            EXPECT_TRUE(is_generated_channel(s.channel)) << s.channel;
            seen.insert(s.channel);
        }
        EXPECT_EQ(seen.size(), 2u) << "each process gets a fresh channel";
        EXPECT_EQ(read_bytes(temp.file(L"channel")), content);
    }

    // A file that cannot be read is treated the same way.
    TempFolder temp;
    ASSERT_TRUE(write_bytes(temp.file(L"channel"), VALID_43));
    HANDLE held = CreateFileW(temp.file(L"channel").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    RunnerSettings s = settings_in(temp);
    load_or_create_channel(s);
    CloseHandle(held);
    EXPECT_TRUE(is_generated_channel(s.channel));
    EXPECT_NE(s.channel, VALID_43);
    EXPECT_EQ(read_bytes(temp.file(L"channel")), VALID_43);

    // A missing folder: the channel still serves this process.
    RunnerSettings absent;
    absent.data_dir = temp.file(L"absent");
    absent.channel_path = absent.data_dir + L"\\channel";
    load_or_create_channel(absent);
    EXPECT_TRUE(is_generated_channel(absent.channel));
}

TEST(Identity, SessionValues) {
    wchar_t saved[256] = {};
    DWORD saved_length = GetEnvironmentVariableW(L"USERNAME", saved, 256);
    SetEnvironmentVariableW(L"USERNAME", nullptr);
    RunnerSettings s;
    load_identity(s);
    if (saved_length) SetEnvironmentVariableW(L"USERNAME", saved);
    EXPECT_EQ(s.user_name, "%USERNAME%");

    load_identity(s);
    EXPECT_EQ(s.user_name, to_utf8(saved));
    EXPECT_EQ(s.computer_name, to_utf8(expand_env(L"%COMPUTERNAME%")));
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    EXPECT_EQ(s.session_id, std::to_string(session));
}
