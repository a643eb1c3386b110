// Watch of the GDT folder and capture of each settled version of the GDT file
// into the outbound queue. Owned and touched by the worker thread alone.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

const DWORD CHANGE_BUFFER_BYTES = 65536;
const uint64_t WATCH_FAILED_RETRY_MS = 10000;
const uint64_t WATCH_LOST_REOPEN_MS = 2000;
const uint64_t WATCH_LOST_CAPTURE_MS = 2100;
const uint64_t QUEUE_WRITE_RETRY_MS = 10000;
const uint64_t NO_BASELINE_SIZE = UINT64_MAX;

struct GdtWatcher {
    HANDLE directory = INVALID_HANDLE_VALUE;  // open on gdt_dir while a watch is open
    HANDLE completion = nullptr;              // manual reset; signalled by the directory read
    std::vector<DWORD> changes;               // DWORD-aligned, as the directory read requires
    OVERLAPPED overlapped = {};
    uint64_t reopen_at = 1;  // due at once
    uint64_t capture_at = 0;
    uint64_t baseline_write_ms = 0;
    uint64_t baseline_size = NO_BASELINE_SIZE;
    uint32_t capture_counter = 0;
    // Set while changes may have gone unseen because no watch could be opened.
    bool changes_unseen = false;

    GdtWatcher() = default;
    GdtWatcher(const GdtWatcher&) = delete;  // the outstanding read points into it
    GdtWatcher& operator=(const GdtWatcher&) = delete;
};

// Creates the completion event and the change buffer; false when the event could not be made.
bool start_watcher(GdtWatcher& watcher);
// Takes the version present at start as captured, so only later changes are queued.
void establish_baseline(GdtWatcher& watcher);
void reopen_if_due(GdtWatcher& watcher, uint64_t now);
void capture_if_due(GdtWatcher& watcher, uint64_t now);
void on_watch_signalled(GdtWatcher& watcher);
// The completion event while a watch is open, otherwise null.
HANDLE watch_event(const GdtWatcher& watcher);
void shutdown(GdtWatcher& watcher);

// now + debounce_ms (a negative setting counts as 0).
uint64_t debounce_deadline(uint64_t now);
