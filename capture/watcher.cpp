#include "capture/watcher.h"

#include "capture/watch_rules.h"
#include "core/settings.h"
#include "support/log.h"
#include "support/text.h"

namespace {

const DWORD FILE_CHANGES = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;

void lose_watch(GdtWatcher& watcher, DWORD error) {
    log_write("watch lost err=%lu, reopening", error);
    close_dir_watch(watcher.folder);
    close_dir_watch(watcher.parent);
    // Changes may have been missed: look at the file soon whatever the reopen brings.
    uint64_t now = now_unix_ms();
    watcher.reopen_at = now + WATCH_LOST_REOPEN_MS;
    watcher.capture_at = now + WATCH_LOST_CAPTURE_MS;
}

// Best effort: without it only a folder deleted in the usual way is noticed.
void open_parent_watch(GdtWatcher& watcher) {
    std::wstring parent;
    if (split_parent_folder(settings.gdt_dir, parent, watcher.folder_name)) open_dir_watch(watcher.parent, parent);
}

}  // namespace

uint64_t debounce_deadline(uint64_t now) {
    return now + (uint64_t)(settings.debounce_ms > 0 ? settings.debounce_ms : 0);
}

bool start_watcher(GdtWatcher& watcher) {
    bool folder_ready = create_dir_watch(watcher.folder, CHANGE_BUFFER_BYTES, FILE_CHANGES);
    create_dir_watch(watcher.parent, PARENT_BUFFER_BYTES, FILE_NOTIFY_CHANGE_DIR_NAME);
    return folder_ready;
}

HANDLE watch_event(const GdtWatcher& watcher) {
    return is_open(watcher.folder) ? watcher.folder.completion : nullptr;
}

HANDLE parent_event(const GdtWatcher& watcher) {
    return is_open(watcher.parent) ? watcher.parent.completion : nullptr;
}

void reopen_if_due(GdtWatcher& watcher, uint64_t now) {
    if (is_open(watcher.folder) || watcher.reopen_at == 0 || now < watcher.reopen_at) return;
    if (!open_dir_watch(watcher.folder, settings.gdt_dir)) {
        log_write("watch failed on gdt dir err=%lu", GetLastError());
        watcher.reopen_at = now + WATCH_FAILED_RETRY_MS;
        watcher.changes_unseen = true;
        return;
    }
    log_write("watching gdt dir");
    watcher.reopen_at = 0;
    open_parent_watch(watcher);
    // The file may have been written while nothing watched it.
    if (watcher.changes_unseen && watcher.capture_at == 0) watcher.capture_at = debounce_deadline(now);
    watcher.changes_unseen = false;
}

void on_watch_signalled(GdtWatcher& watcher) {
    if (!is_open(watcher.folder)) return;
    DWORD byte_count = 0;
    if (!fetch_dir_read(watcher.folder, byte_count)) {
        DWORD error = GetLastError();
        ResetEvent(watcher.folder.completion);
        lose_watch(watcher, error);
        return;
    }
    if (changes_touch_file(dir_records(watcher.folder), byte_count, settings.gdt_file))
        watcher.capture_at = debounce_deadline(now_unix_ms());
    if (!issue_dir_read(watcher.folder)) lose_watch(watcher, GetLastError());
}

void on_parent_signalled(GdtWatcher& watcher) {
    if (!is_open(watcher.parent)) return;
    DWORD byte_count = 0;
    if (!fetch_dir_read(watcher.parent, byte_count)) {
        ResetEvent(watcher.parent.completion);
        close_dir_watch(watcher.parent);
        return;
    }
    if (changes_mention(dir_records(watcher.parent), byte_count, watcher.folder_name)) {
        // The folder was removed, renamed or replaced: the open watch may be on
        // a folder that no longer exists under that name.
        lose_watch(watcher, byte_count ? ERROR_FILE_INVALID : ERROR_NOTIFY_ENUM_DIR);
        return;
    }
    if (!issue_dir_read(watcher.parent)) close_dir_watch(watcher.parent);
}

void shutdown(GdtWatcher& watcher) {
    destroy_dir_watch(watcher.folder);
    destroy_dir_watch(watcher.parent);
}
