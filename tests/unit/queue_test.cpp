#include <gtest/gtest.h>

#include "capture/file_io.h"
#include "capture/queue.h"
#include "test_util.h"

TEST(Queue, EntryNames) {
    struct Case { unsigned long long ms; unsigned long pid; unsigned counter; const wchar_t* name; };
    const Case cases[] = {
        {1733750400123ULL, 4242, 7, L"1733750400123_04242_0007.gdt"},
        {1733750400123ULL, 123456, 10007, L"1733750400123_23456_0007.gdt"},
        {5, 0, 0, L"0000000000005_00000_0000.gdt"},
        {12345678901234ULL, 99999, 9999, L"12345678901234_99999_9999.gdt"},
    };
    for (const Case& c : cases) EXPECT_EQ(queue_file_name(c.ms, c.pid, c.counter), c.name);
}

TEST(Queue, CaptureTimeFromName) {
    EXPECT_EQ(queue_entry_capture_ms(L"1733750400123_04242_0007.gdt"), 1733750400123ULL);
    EXPECT_EQ(queue_entry_capture_ms(L"notes.gdt"), 0u);
    EXPECT_EQ(queue_entry_capture_ms(L"9_00001_0000.gdt"), 9u);
}

TEST(Queue, AtomicWriteNeverReplaces) {
    TempFolder temp;
    ASSERT_TRUE(write_file_atomic(temp.path(), L"a.gdt", "hello", 5));
    EXPECT_EQ(read_bytes(temp.file(L"a.gdt")), "hello");
    EXPECT_FALSE(file_exists(temp.file(L"a.gdt.tmp")));

    // An existing final file stays untouched and our temporary file is removed.
    EXPECT_FALSE(write_file_atomic(temp.path(), L"a.gdt", "other", 5));
    EXPECT_EQ(read_bytes(temp.file(L"a.gdt")), "hello");
    EXPECT_FALSE(file_exists(temp.file(L"a.gdt.tmp")));

    // A leftover temporary file blocks the write and is not ours to delete.
    ASSERT_TRUE(write_bytes(temp.file(L"b.gdt.tmp"), "left"));
    EXPECT_FALSE(write_file_atomic(temp.path(), L"b.gdt", "new", 3));
    EXPECT_EQ(read_bytes(temp.file(L"b.gdt.tmp")), "left");
    EXPECT_FALSE(file_exists(temp.file(L"b.gdt")));

    ASSERT_TRUE(write_file_atomic(temp.path(), L"empty.gdt", "", 0));
    EXPECT_TRUE(file_exists(temp.file(L"empty.gdt")));

    SetLastError(0);
    EXPECT_FALSE(write_file_atomic(temp.file(L"missing"), L"c.gdt", "x", 1));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST(Queue, ListingOrderAndFilter) {
    TempFolder temp;
    for (const wchar_t* name : {L"1733750400123_00001_0000.gdt", L"9_00001_0000.gdt", L"notes.gdt",
                                L"1733750400123_00001_0001.gdt", L"1733750400124_00001_0000.gdt.tmp", L"x.txt"})
        ASSERT_TRUE(write_bytes(temp.file(name), "x"));
    CreateDirectoryW(temp.file(L"x.gdt").c_str(), nullptr);
    std::vector<std::wstring> expected = {L"1733750400123_00001_0000.gdt", L"1733750400123_00001_0001.gdt",
                                          L"9_00001_0000.gdt", L"notes.gdt"};
    EXPECT_EQ(list_queue(temp.path()), expected);
    EXPECT_TRUE(list_queue(temp.file(L"missing")).empty());
}

TEST(FileIo, ReadWholeFileResults) {
    TempFolder temp;
    std::vector<unsigned char> content;
    DWORD error = 0;
    EXPECT_EQ(read_whole_file(temp.file(L"none"), FileSharing::read, content, nullptr, &error), ReadResult::missing);
    EXPECT_EQ(error, (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(read_whole_file(temp.file(L"no\\none"), FileSharing::read, content), ReadResult::missing);

    ASSERT_TRUE(write_bytes(temp.file(L"data"), std::string("a\0b", 3)));
    FILETIME written = {};
    EXPECT_EQ(read_whole_file(temp.file(L"data"), FileSharing::none, content, &written), ReadResult::ok);
    EXPECT_EQ(std::string(content.begin(), content.end()), std::string("a\0b", 3));
    EXPECT_NE(written.dwHighDateTime, 0u);

    ASSERT_TRUE(write_bytes(temp.file(L"empty"), ""));
    EXPECT_EQ(read_whole_file(temp.file(L"empty"), FileSharing::read, content), ReadResult::ok);
    EXPECT_TRUE(content.empty());

    // A file held without sharing reads as locked.
    HANDLE held = CreateFileW(temp.file(L"data").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(read_whole_file(temp.file(L"data"), FileSharing::read, content), ReadResult::locked);
    CloseHandle(held);

    // Exactly 64 MiB is accepted, one byte more is an error.
    HANDLE big = CreateFileW(temp.file(L"big").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = 67108864LL;
    SetFilePointerEx(big, size, nullptr, FILE_BEGIN);
    SetEndOfFile(big);
    CloseHandle(big);
    EXPECT_EQ(read_whole_file(temp.file(L"big"), FileSharing::read, content), ReadResult::ok);
    EXPECT_EQ(content.size(), 67108864u);
    big = CreateFileW(temp.file(L"big").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    size.QuadPart = 67108865LL;
    SetFilePointerEx(big, size, nullptr, FILE_BEGIN);
    SetEndOfFile(big);
    CloseHandle(big);
    EXPECT_EQ(read_whole_file(temp.file(L"big"), FileSharing::read, content), ReadResult::error);
}
