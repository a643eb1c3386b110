// Watch of the GDT folder and capture of each settled version of the GDT file
// into the outbound queue. Owned and touched by the worker thread alone.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "capture/dir_watch.h"

const DWORD CHANGE_BUFFER_BYTES = 65536;
const DWORD PARENT_BUFFER_BYTES = 16384;
const uint64_t WATCH_FAILED_RETRY_MS = 10000;
const uint64_t WATCH_LOST_REOPEN_MS = 2000;
const uint64_t WATCH_LOST_CAPTURE_MS = 2100;
const uint64_t QUEUE_WRITE_RETRY_MS = 10000;
const uint64_t LOCKED_RETRY_MS = 500;
const uint64_t NO_BASELINE_SIZE = UINT64_MAX;

struct GdtWatcher {
    DirWatch folder;  // gdt_dir: names, sizes and write times of its files
    // The folder that holds gdt_dir, for gdt_dir's own name: a read on a
    // folder that was deleted or replaced may simply never complete.
    DirWatch parent;
    std::wstring folder_name;  // gdt_dir's last component, as the parent reports it
    uint64_t reopen_at = 1;    // due at once
    uint64_t capture_at = 0;
    uint64_t baseline_write_ms = 0;
    uint64_t baseline_size = NO_BASELINE_SIZE;
    uint32_t capture_counter = 0;
    // Set while changes may have gone unseen because no watch could be opened;
    // at start too, for a change between the baseline and the first watch.
    bool changes_unseen = true;
};

// Creates the events and buffers; false when an event could not be made.
bool start_watcher(GdtWatcher& watcher);
// Takes the last recorded capture, or on a first run the version present now,
// as captured, so only later changes are queued.
void establish_baseline(GdtWatcher& watcher);
void reopen_if_due(GdtWatcher& watcher, uint64_t now);
void capture_if_due(GdtWatcher& watcher, uint64_t now);
void on_watch_signalled(GdtWatcher& watcher);
void on_parent_signalled(GdtWatcher& watcher);
// The completion events while the watches are open, otherwise null.
HANDLE watch_event(const GdtWatcher& watcher);
HANDLE parent_event(const GdtWatcher& watcher);
void shutdown(GdtWatcher& watcher);

// now + debounce_ms (a negative setting counts as 0).
uint64_t debounce_deadline(uint64_t now);
