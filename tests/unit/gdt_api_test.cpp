#include <gtest/gtest.h>

#include <cstdio>

#include "core/settings.h"
#include "net/gdt_api.h"

namespace {

std::string boundary_of(uint64_t number) {
    char text[32];
    snprintf(text, sizeof text, "----velmora%016llx", (unsigned long long)number);
    return text;
}

std::string expected_boundary(uint64_t time_ms, uint32_t pid) {
    return boundary_of((time_ms * 2654435761ULL) ^ pid);
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The identity part of the settings, set for one test and restored after it.
class FormSettings : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = settings;
        settings.gdt_file = L"d\u00e4ten.gdt";
        settings.computer_name = "PRAXIS-01";
        settings.user_name = "";
        settings.session_id = "2";
        settings.channel = "";
    }
    void TearDown() override { settings = saved_; }
    RunnerSettings saved_;
};

}  // namespace

TEST_F(FormSettings, FieldsInOrderWithAndWithoutChannel) {
    std::vector<unsigned char> file = {'0', '1', '\r', '\n', 0xe4, 0};
    for (const std::string channel : {"", "Ab-_9"}) {
        SCOPED_TRACE(channel);
        settings.channel = channel;
        std::vector<FormPart> form = build_gdt_form("sync", file, 1715933730123ULL);
        std::vector<std::pair<std::string, std::string>> expected = {
            {"mode", "sync"},          {"captured_at", "2024-05-17T08:15:30.123Z"},
            {"filename", "d\xc3\xa4ten.gdt"}, {"host", "PRAXIS-01"},
            {"win_user", ""},          {"win_session", "2"},
        };
        if (!channel.empty()) expected.push_back({"channel", channel});
        expected.push_back({"file", std::string("01\r\n\xe4\0", 6)});
        ASSERT_EQ(form.size(), expected.size());
        for (size_t i = 0; i < form.size(); ++i) {
            EXPECT_EQ(form[i].name, expected[i].first);
            EXPECT_EQ(form[i].value, expected[i].second);
            EXPECT_EQ(form[i].is_file, i + 1 == form.size());
        }
        EXPECT_EQ(form.back().filename, "d\xc3\xa4ten.gdt");  // raw UTF-8, no escaping
    }
}

TEST(Multipart, BodyByteForByte) {
    std::vector<FormPart> parts(3);
    parts[0].name = "mode";
    parts[0].value = "sync";
    parts[1].name = "host";  // empty text still makes a part
    parts[2].name = "file";
    parts[2].is_file = true;
    parts[2].filename = "data.gdt";  // empty file: end of headers, then end of part
    std::string content_type;
    std::string body = encode_multipart_at(parts, 0, 0x1f2e3d4c5b6a7980ULL & 0xffffffff, content_type);
    std::string b = "----velmora000000005b6a7980";
    EXPECT_EQ(content_type, "multipart/form-data; boundary=" + b);
    EXPECT_EQ(body, "--" + b + "\r\nContent-Disposition: form-data; name=\"mode\"\r\n\r\nsync\r\n"
                    "--" + b + "\r\nContent-Disposition: form-data; name=\"host\"\r\n\r\n\r\n"
                    "--" + b + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"data.gdt\"\r\n"
                    "Content-Type: application/octet-stream\r\n\r\n\r\n"
                    "--" + b + "--\r\n");
}

TEST(Multipart, BoundaryFromClockAndProcess) {
    std::vector<FormPart> parts(1);
    parts[0].name = "file";
    parts[0].value = "----velmora is not a whole boundary";
    const uint64_t times[] = {0, 1, 1715933730123ULL, UINT64_MAX};
    for (uint64_t t : times) {
        std::string b = multipart_boundary(t, 4242, parts);
        EXPECT_EQ(b, expected_boundary(t, 4242));
        EXPECT_EQ(b.size(), MULTIPART_BOUNDARY_LENGTH);
        // Same content in the same millisecond of the same process: same boundary.
        EXPECT_EQ(multipart_boundary(t, 4242, parts), b);
    }
    EXPECT_NE(multipart_boundary(5, 1, parts), multipart_boundary(5, 2, parts));
}

// Content that happens to contain the boundary must not be able to end its part.
TEST(Multipart, BoundaryNeverOccursInContent) {
    const uint64_t t = 1715933730123ULL;
    const uint32_t pid = 777;
    const uint64_t x = (t * 2654435761ULL) ^ pid;
    std::string first = boundary_of(x);
    std::string second = boundary_of(x + 1);

    struct Case { const char* where; FormPart part; std::string chosen; };
    std::vector<Case> cases;
    FormPart in_value;
    in_value.name = "file";
    in_value.is_file = true;
    in_value.filename = "data.gdt";
    in_value.value = "0138000" + std::string("\r\n--") + first + "\r\nContent-Disposition: form-data; name=\"x\"";
    cases.push_back({"value", in_value, second});
    FormPart in_name;
    in_name.name = "n" + first;
    cases.push_back({"name", in_name, second});
    FormPart in_filename;
    in_filename.name = "file";
    in_filename.is_file = true;
    in_filename.filename = first + ".gdt";
    cases.push_back({"filename", in_filename, second});
    FormPart both;  // the next number is taken too (overlapping occurrences included)
    both.name = "file";
    both.value = first + second.substr(11) + "|" + second;
    cases.push_back({"value, twice", both, boundary_of(x + 2)});
    FormPart not_for_text_parts;  // a file name of a text part is never sent
    not_for_text_parts.name = "mode";
    not_for_text_parts.filename = first;
    cases.push_back({"unsent filename", not_for_text_parts, first});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        std::vector<FormPart> parts = {c.part};
        std::string content_type;
        std::string body = encode_multipart_at(parts, t, pid, content_type);
        EXPECT_EQ(content_type, "multipart/form-data; boundary=" + c.chosen);
        EXPECT_EQ(count(body, "--" + c.chosen), 2u);  // the part's delimiter and the closing one
    }
}
