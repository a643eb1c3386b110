#include "capture/watcher.h"

#include "capture/change_records.h"
#include "core/settings.h"
#include "support/log.h"
#include "support/text.h"

namespace {

const DWORD CHANGE_FILTER = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;

bool issue_directory_read(GdtWatcher& watcher) {
    ResetEvent(watcher.completion);
    watcher.overlapped = {};
    watcher.overlapped.hEvent = watcher.completion;
    return ReadDirectoryChangesW(watcher.directory, watcher.changes.data(), CHANGE_BUFFER_BYTES, FALSE, CHANGE_FILTER,
                                 nullptr, &watcher.overlapped, nullptr) != 0;
}

void close_directory(GdtWatcher& watcher) {
    CloseHandle(watcher.directory);
    watcher.directory = INVALID_HANDLE_VALUE;
}

void lose_watch(GdtWatcher& watcher, DWORD error) {
    log_write("watch lost err=%lu, reopening", error);
    close_directory(watcher);
    // Changes may have been missed: look at the file soon whatever the reopen brings.
    uint64_t now = now_unix_ms();
    watcher.reopen_at = now + WATCH_LOST_REOPEN_MS;
    watcher.capture_at = now + WATCH_LOST_CAPTURE_MS;
}

}  // namespace

uint64_t debounce_deadline(uint64_t now) {
    return now + (uint64_t)(settings.debounce_ms > 0 ? settings.debounce_ms : 0);
}

bool start_watcher(GdtWatcher& watcher) {
    watcher.changes.assign(CHANGE_BUFFER_BYTES / sizeof(DWORD), 0);
    watcher.completion = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return watcher.completion != nullptr;
}

HANDLE watch_event(const GdtWatcher& watcher) {
    return watcher.directory != INVALID_HANDLE_VALUE ? watcher.completion : nullptr;
}

void reopen_if_due(GdtWatcher& watcher, uint64_t now) {
    if (watcher.directory != INVALID_HANDLE_VALUE || watcher.reopen_at == 0 || now < watcher.reopen_at) return;
    watcher.directory = CreateFileW(settings.gdt_dir.c_str(), FILE_LIST_DIRECTORY,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (watcher.directory != INVALID_HANDLE_VALUE && watcher.completion && issue_directory_read(watcher)) {
        log_write("watching gdt dir");
        watcher.reopen_at = 0;
        // The file may have been written while nothing watched it.
        if (watcher.changes_unseen && watcher.capture_at == 0) watcher.capture_at = debounce_deadline(now);
        watcher.changes_unseen = false;
        return;
    }
    DWORD error = GetLastError();
    if (watcher.directory != INVALID_HANDLE_VALUE) close_directory(watcher);
    log_write("watch failed on gdt dir err=%lu", error);
    watcher.reopen_at = now + WATCH_FAILED_RETRY_MS;
    watcher.changes_unseen = true;
}

void on_watch_signalled(GdtWatcher& watcher) {
    if (watcher.directory == INVALID_HANDLE_VALUE) return;
    DWORD byte_count = 0;
    if (!GetOverlappedResult(watcher.directory, &watcher.overlapped, &byte_count, FALSE)) {
        DWORD error = GetLastError();
        ResetEvent(watcher.completion);
        lose_watch(watcher, error);
        return;
    }
    const unsigned char* records = reinterpret_cast<const unsigned char*>(watcher.changes.data());
    if (byte_count > CHANGE_BUFFER_BYTES) byte_count = 0;  // cannot happen; treat as "changes lost"
    if (changes_touch_file(records, byte_count, settings.gdt_file))
        watcher.capture_at = debounce_deadline(now_unix_ms());
    if (issue_directory_read(watcher)) return;
    lose_watch(watcher, GetLastError());
}

void shutdown(GdtWatcher& watcher) {
    if (watcher.directory != INVALID_HANDLE_VALUE) {
        CancelIo(watcher.directory);
        // The system writes into the buffer until the cancelled read completes.
        DWORD ignored = 0;
        GetOverlappedResult(watcher.directory, &watcher.overlapped, &ignored, TRUE);
        close_directory(watcher);
    }
    if (watcher.completion) CloseHandle(watcher.completion);
    watcher.completion = nullptr;
    std::vector<DWORD>().swap(watcher.changes);
}
