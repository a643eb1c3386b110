#include <gtest/gtest.h>

#include <windows.h>

#include "capture/gdt_file.h"
#include "test_util.h"

namespace {

struct DelayedAction {
    DWORD delay_ms;
    HANDLE target;        // event to set, or file handle to close
    bool close_instead;
    ULONGLONG acted_at;   // tick count right before the action
};

DWORD WINAPI run_delayed(LPVOID parameter) {
    DelayedAction* action = static_cast<DelayedAction*>(parameter);
    Sleep(action->delay_ms);
    action->acted_at = GetTickCount64();
    if (action->close_instead) CloseHandle(action->target);
    else SetEvent(action->target);
    return 0;
}

HANDLE hold_without_sharing(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

}  // namespace

TEST(CaptureGdtRead, LockEndingDuringRetriesIsRead) {
    TempFolder temp;
    ASSERT_TRUE(write_bytes(temp.file(L"data.gdt"), "record"));
    HANDLE held = hold_without_sharing(temp.file(L"data.gdt"));
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DelayedAction release = {450, held, true, 0};
    HANDLE thread = CreateThread(nullptr, 0, run_delayed, &release, 0, nullptr);

    std::vector<unsigned char> content;
    FILETIME last_write = {};
    EXPECT_EQ(read_exclusive_retrying(temp.file(L"data.gdt"), stop, content, last_write), ReadResult::ok);
    EXPECT_EQ(std::string(content.begin(), content.end()), "record");
    EXPECT_NE(last_write.dwHighDateTime, 0u);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(stop);
}

TEST(CaptureGdtRead, StopEndsRetriesWithin100ms) {
    TempFolder temp;
    ASSERT_TRUE(write_bytes(temp.file(L"data.gdt"), "record"));
    HANDLE held = hold_without_sharing(temp.file(L"data.gdt"));
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DelayedAction request = {350, stop, false, 0};
    HANDLE thread = CreateThread(nullptr, 0, run_delayed, &request, 0, nullptr);

    std::vector<unsigned char> content;
    FILETIME last_write = {};
    ULONGLONG started = GetTickCount64();
    EXPECT_EQ(read_exclusive_retrying(temp.file(L"data.gdt"), stop, content, last_write), ReadResult::locked);
    ULONGLONG returned = GetTickCount64();
    WaitForSingleObject(thread, INFINITE);
    EXPECT_GE(returned - started, 330u);
    EXPECT_LE(returned - request.acted_at, 100u + 40u);  // tick granularity slack

    // Already stopped: one attempt, no wait.
    started = GetTickCount64();
    EXPECT_EQ(read_exclusive_retrying(temp.file(L"data.gdt"), stop, content, last_write), ReadResult::locked);
    EXPECT_LE(GetTickCount64() - started, 60u);

    // Anything but a lock is returned at once, without retries.
    EXPECT_EQ(read_exclusive_retrying(temp.file(L"none.gdt"), stop, content, last_write), ReadResult::missing);
    CloseHandle(thread);
    CloseHandle(held);
    CloseHandle(stop);
}
