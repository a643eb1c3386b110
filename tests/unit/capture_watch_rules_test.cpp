#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "capture/watch_rules.h"
#include "capture/schedule.h"

namespace {

struct Change {
    uint32_t action;
    std::wstring name;
};

// Lays out records as the directory read returns them, each aligned to 4 bytes.
std::vector<unsigned char> records(const std::vector<Change>& changes) {
    std::vector<unsigned char> out;
    auto put32 = [&out](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = (unsigned char)(v >> (8 * i));
    };
    size_t previous = SIZE_MAX;
    for (const Change& c : changes) {
        size_t start = out.size();
        if (previous != SIZE_MAX) put32(previous, (uint32_t)(start - previous));
        out.resize(start + 12 + c.name.size() * 2);
        put32(start + 4, c.action);
        put32(start + 8, (uint32_t)(c.name.size() * 2));
        for (size_t i = 0; i < c.name.size(); ++i) {
            out[start + 12 + 2 * i] = (unsigned char)(c.name[i] & 0xFF);
            out[start + 13 + 2 * i] = (unsigned char)(c.name[i] >> 8);
        }
        out.resize((out.size() + 3) & ~(size_t)3);
        previous = start;
    }
    return out;
}

const uint32_t ADDED = 1, REMOVED = 2, MODIFIED = 3, RENAMED_OLD = 4, RENAMED_NEW = 5;

}  // namespace

TEST(CaptureWatchRules, WhichChangesScheduleACapture) {
    struct Case {
        const char* what;
        std::vector<Change> changes;
        bool hit;
    };
    const Case cases[] = {
        {"modified", {{MODIFIED, L"data.gdt"}}, true},
        {"added", {{ADDED, L"data.gdt"}}, true},
        {"other file", {{MODIFIED, L"other.gdt"}, {ADDED, L"data.gdt.tmp"}}, false},
        {"case differs", {{MODIFIED, L"DATA.Gdt"}}, true},
        {"removed", {{REMOVED, L"data.gdt"}}, false},
        {"renamed away", {{RENAMED_OLD, L"data.gdt"}, {RENAMED_NEW, L"old.gdt"}}, false},
        {"renamed onto", {{RENAMED_OLD, L"new.tmp"}, {RENAMED_NEW, L"data.gdt"}}, true},
        {"hit after others", {{REMOVED, L"a"}, {MODIFIED, L"b"}, {MODIFIED, L"data.gdt"}}, true},
        {"name in a subfolder", {{MODIFIED, L"sub\\data.gdt"}}, false},
        {"prefix only", {{MODIFIED, L"data.gd"}}, false},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> buffer = records(c.changes);
        EXPECT_EQ(changes_touch_file(buffer.data(), buffer.size(), L"data.gdt"), c.hit) << c.what;
    }
    // Only A-Z fold: other letters must match exactly.
    std::vector<unsigned char> buffer = records({{MODIFIED, L"\u00c4.gdt"}});
    EXPECT_FALSE(changes_touch_file(buffer.data(), buffer.size(), L"\u00e4.gdt"));
    EXPECT_TRUE(changes_touch_file(buffer.data(), buffer.size(), L"\u00c4.GDT"));
}

TEST(CaptureWatchRules, EmptyOrDamagedReads) {
    // No records at all: the system dropped changes, so the file may have changed.
    EXPECT_TRUE(changes_touch_file(nullptr, 0, L"data.gdt"));

    // Names and offsets that point past the reported bytes are cut, never followed.
    std::vector<unsigned char> buffer = records({{MODIFIED, L"other"}, {MODIFIED, L"data.gdt"}});
    EXPECT_FALSE(changes_touch_file(buffer.data(), 20, L"data.gdt"));
    EXPECT_FALSE(changes_touch_file(buffer.data(), 5, L"data.gdt"));
    buffer = records({{MODIFIED, L"data.gdt"}});
    buffer[9] = 0xFF;  // name length far beyond the buffer: cut to the reported bytes
    EXPECT_TRUE(changes_touch_file(buffer.data(), buffer.size(), L"data.gdt"));
    buffer = records({{MODIFIED, L"other"}, {MODIFIED, L"data.gdt"}});
    buffer[0] = 0xF0;  // next offset beyond the buffer ends the walk
    EXPECT_FALSE(changes_touch_file(buffer.data(), buffer.size(), L"data.gdt"));
    // An odd name length drops the half unit.
    buffer = records({{MODIFIED, L"data.gdt"}});
    buffer[8] = 17;
    EXPECT_TRUE(changes_touch_file(buffer.data(), buffer.size(), L"data.gdt"));
}

TEST(CaptureWatchRules, WaitUntilEarliestDeadline) {
    EXPECT_EQ(earliest_deadline({0, 0, 0}), 0u);
    EXPECT_EQ(earliest_deadline({0, 500, 300}), 300u);
    EXPECT_EQ(earliest_deadline({1, 0, 7}), 1u);

    struct Case { uint64_t deadline, now; unsigned long wait; };
    const Case cases[] = {
        {0, 1000, WAIT_FOREVER_MS},
        {1000, 1000, 0},
        {900, 1000, 0},
        {1300, 1000, 300},
        {1000 + 3600000, 1000, 3600000},
        {1000 + 3600001, 1000, 3600000},
        {UINT64_MAX, 1, 3600000},
    };
    for (const Case& c : cases) EXPECT_EQ(wait_ms_until(c.deadline, c.now), c.wait) << c.deadline << " " << c.now;
}

TEST(CaptureWatchRules, ParentOfTheGdtFolder) {
    struct Case { const wchar_t* path; bool ok; const wchar_t* parent; const wchar_t* name; };
    const Case cases[] = {
        {L"C:\\Users\\anna\\GDT", true, L"C:\\Users\\anna", L"GDT"},
        {L"C:\\GDT", true, L"C:\\", L"GDT"},
        {L"C:/praxis/gdt", true, L"C:/praxis", L"gdt"},
        {L"\\GDT", true, L"\\", L"GDT"},
        {L"\\\\server\\share\\gdt", true, L"\\\\server\\share", L"gdt"},
        {L"\\\\?\\C:\\gdt", true, L"\\\\?\\C:\\", L"gdt"},
        {L"\\\\server\\share", false, L"", L""},
        {L"\\\\server", false, L"", L""},
        {L"GDT", false, L"", L""},
        {L"C:\\GDT\\", false, L"", L""},
        {L"", false, L"", L""},
    };
    for (const Case& c : cases) {
        std::wstring parent, name;
        ASSERT_EQ(split_parent_folder(c.path, parent, name), c.ok) << c.path;
        if (!c.ok) continue;
        EXPECT_EQ(parent, c.parent) << c.path;
        EXPECT_EQ(name, c.name) << c.path;
    }
}

TEST(CaptureWatchRules, ParentReportsTheFolderItself) {
    // Any change to the folder's own name means the open watch may be stale.
    for (uint32_t action : {ADDED, REMOVED, RENAMED_OLD, RENAMED_NEW}) {
        std::vector<unsigned char> buffer = records({{MODIFIED, L"other"}, {action, L"gdt"}});
        EXPECT_TRUE(changes_mention(buffer.data(), buffer.size(), L"GDT")) << action;
    }
    std::vector<unsigned char> buffer = records({{REMOVED, L"gdt-old"}, {ADDED, L"gd"}});
    EXPECT_FALSE(changes_mention(buffer.data(), buffer.size(), L"gdt"));
    EXPECT_TRUE(changes_mention(nullptr, 0, L"gdt"));
}
