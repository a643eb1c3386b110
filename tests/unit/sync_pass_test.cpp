#include <gtest/gtest.h>

#include <regex>

#include "capture/sync_pass.h"
#include "core/settings.h"
#include "support/text.h"
#include "test_util.h"

namespace {

HttpResponse answer(DWORD status, const std::string& body = std::string(), DWORD win_error = 0) {
    HttpResponse r;
    r.status = status;
    r.body = body;
    r.win_error = win_error;
    return r;
}

std::string field(const std::vector<FormPart>& form, const std::string& name) {
    for (const FormPart& part : form)
        if (part.name == name) return part.value;
    return "<absent>";
}

// A queue folder, a scripted server and a record of what the pass did.
class SyncPassTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = settings;
        settings.gdt_file = L"data.gdt";
        target_.queue_dir = queue_.path();
        target_.upload = [this](const std::vector<FormPart>& form) {
            sent_.push_back(form);
            if (answers_.empty()) return answer(200, "{\"result\":\"ok\"}");
            HttpResponse r = answers_.front();
            answers_.erase(answers_.begin());
            return r;
        };
        target_.show_status = [this](const std::wstring& text) { status_.push_back(text); };
    }
    void TearDown() override { settings = saved_; }

    void add_entry(const std::wstring& name, const std::string& content) {
        ASSERT_TRUE(write_bytes(queue_.file(name), content));
    }
    bool queued(const std::wstring& name) { return file_exists(queue_.file(name)); }

    TempFolder queue_;
    SyncTarget target_;
    std::vector<HttpResponse> answers_;
    std::vector<std::vector<FormPart>> sent_;
    std::vector<std::wstring> status_;
    RunnerSettings saved_;
};

const std::wstring A = L"1733750400100_00001_0000.gdt";
const std::wstring B = L"1733750400200_00001_0001.gdt";
const std::wstring C = L"1733750400300_00001_0002.gdt";

}  // namespace

TEST_F(SyncPassTest, ThreeEntriesInNameOrder) {
    add_entry(C, "third");
    add_entry(A, "first");
    add_entry(B, "second");
    EXPECT_EQ(sync_pass(target_), SyncPassEnd::complete);
    ASSERT_EQ(sent_.size(), 3u);
    const char* contents[] = {"first", "second", "third"};
    const char* times[] = {"2024-12-09T13:20:00.100Z", "2024-12-09T13:20:00.200Z", "2024-12-09T13:20:00.300Z"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(field(sent_[i], "mode"), "sync");
        EXPECT_EQ(field(sent_[i], "captured_at"), times[i]);
        EXPECT_EQ(field(sent_[i], "file"), contents[i]);
    }
    EXPECT_FALSE(queued(A) || queued(B) || queued(C));
    ASSERT_EQ(status_.size(), 3u);
    std::string shown = to_utf8(status_.back());
    EXPECT_TRUE(std::regex_match(shown, std::regex("Letzte \xc3\x9c" "bertragung \\d\\d:\\d\\d:\\d\\d \xe2\x80\x93 ok")))
        << shown;
}

TEST_F(SyncPassTest, DeferredAnswerStopsThePass) {
    add_entry(A, "first");
    add_entry(B, "second");
    add_entry(C, "third");
    answers_ = {answer(200, "{\"result\":\"ok\"}"), answer(503)};
    EXPECT_EQ(sync_pass(target_), SyncPassEnd::deferred);
    EXPECT_EQ(sent_.size(), 2u);
    EXPECT_FALSE(queued(A));
    EXPECT_TRUE(queued(B) && queued(C));
    EXPECT_EQ(status_.back(), L"Server nicht erreichbar \u2013 \u00dcbertragung wird wiederholt.");
}

TEST_F(SyncPassTest, EachAnswerKeepsOrDeletesTheEntry) {
    struct Case { DWORD status; const char* body; bool final_answer; const wchar_t* word; };
    const Case cases[] = {
        {200, "{\"result\":\"gespeichert \xc3\xa4\"}", true, L"gespeichert \u00e4"},
        {200, "{\"receipt_id\":\"r1\"}", true, L""},  // no result: dash and blank end the line
        {200, "<html>garbage", true, L""},
        {201, "{\"result\":\"created\"}", true, L"vom Server abgelehnt"},
        {204, "", true, L"vom Server abgelehnt"},
        {404, "{\"result\":\"unknown\"}", true, L"vom Server abgelehnt"},
        {422, "", true, L"vom Server abgelehnt"},
        {0, "", false, nullptr},  // no answer, or no token
        {101, "", false, nullptr},
        {302, "", false, nullptr},
        {401, "", false, nullptr},
        {403, "", false, nullptr},
        {408, "", false, nullptr},
        {429, "", false, nullptr},
        {500, "{\"result\":\"down\"}", false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        add_entry(A, "entry");
        status_.clear();
        answers_ = {answer(c.status, c.body)};
        EXPECT_EQ(sync_pass(target_), c.final_answer ? SyncPassEnd::complete : SyncPassEnd::deferred);
        EXPECT_EQ(queued(A), !c.final_answer);
        ASSERT_EQ(status_.size(), 1u);
        if (c.final_answer) {
            std::wstring tail = std::wstring(L" \u2013 ") + c.word;
            EXPECT_EQ(status_[0].substr(status_[0].size() - tail.size()), tail);
        } else {
            EXPECT_EQ(status_[0], L"Server nicht erreichbar \u2013 \u00dcbertragung wird wiederholt.");
        }
        DeleteFileW(queue_.file(A).c_str());
    }
}

TEST_F(SyncPassTest, UnreadableEntryIsSkippedAndKept) {
    add_entry(A, "locked");
    add_entry(B, "second");
    add_entry(L"notes.gdt", "made by hand");
    HANDLE hold = CreateFileW(queue_.file(A).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    EXPECT_EQ(sync_pass(target_), SyncPassEnd::complete);
    CloseHandle(hold);
    ASSERT_EQ(sent_.size(), 2u);
    EXPECT_EQ(field(sent_[0], "file"), "second");
    EXPECT_EQ(field(sent_[1], "captured_at"), "1970-01-01T00:00:00.000Z");  // no leading digits
    EXPECT_TRUE(queued(A));
    EXPECT_EQ(status_.size(), 2u);
}

TEST_F(SyncPassTest, StopRequestEndsThePassBeforeTheNextEntry) {
    add_entry(A, "first");
    add_entry(B, "second");
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    target_.stop = stop;
    auto upload = target_.upload;
    target_.upload = [&](const std::vector<FormPart>& form) {
        SetEvent(stop);  // arrives while the first upload runs
        return upload(form);
    };
    EXPECT_EQ(sync_pass(target_), SyncPassEnd::complete);
    CloseHandle(stop);
    EXPECT_EQ(sent_.size(), 1u);
    EXPECT_FALSE(queued(A));
    EXPECT_TRUE(queued(B));
}

TEST(SyncStatusText, LongResultIsCut) {
    SYSTEMTIME t = {};
    t.wHour = 7;
    t.wMinute = 5;
    t.wSecond = 9;
    EXPECT_EQ(last_transfer_text(t, L"ok"), L"Letzte \u00dcbertragung 07:05:09 \u2013 ok");
    std::wstring text = last_transfer_text(t, std::wstring(500, L'x'));
    EXPECT_EQ(text.size(), 159u);
    EXPECT_EQ(text.substr(0, 31), L"Letzte \u00dcbertragung 07:05:09 \u2013 x");
}
