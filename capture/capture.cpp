// Baseline and capture of the GDT file into the outbound queue.
#include <string>
#include <vector>

#include "capture/capture_record.h"
#include "capture/gdt_file.h"
#include "capture/queue.h"
#include "capture/watcher.h"
#include "core/runtime.h"
#include "core/settings.h"
#include "support/log.h"
#include "support/text.h"

void establish_baseline(GdtWatcher& watcher) {
    // The version last captured by an earlier run, when there was one: a
    // version written after it (while no runner ran, or one that a crashed
    // runner never queued) is then captured once the watch is open.
    if (load_capture_record(watcher.baseline_write_ms, watcher.baseline_size)) return;
    // First run: the version present now counts as captured. It is recorded at
    // once, so a version written after this start is caught by the next start
    // even when this runner ends before it captures anything. "0 0" stands for
    // no file; no real file carries that write time.
    std::vector<unsigned char> content;
    FILETIME last_write = {};
    ReadResult result = read_whole_file(gdt_file_path(), FileSharing::read_write, content, &last_write);
    if (result == ReadResult::missing) save_capture_record(0, 0);
    if (result != ReadResult::ok) return;
    watcher.baseline_write_ms = filetime_to_unix_ms(last_write);
    watcher.baseline_size = content.size();
    save_capture_record(watcher.baseline_write_ms, watcher.baseline_size);
}

void capture_if_due(GdtWatcher& watcher, uint64_t now) {
    if (watcher.capture_at == 0 || now < watcher.capture_at) return;
    watcher.capture_at = 0;

    std::vector<unsigned char> content;
    FILETIME last_write = {};
    ReadResult result = read_gdt_file(content, last_write);
    if (result == ReadResult::missing) return;
    if (result != ReadResult::ok) {
        log_write("gdt read failed (%s)", result == ReadResult::locked ? "locked" : "error");
        // A file still held after all attempts was written before its holder
        // let go; no notification may follow, so look again rather than lose it.
        if (result == ReadResult::locked) watcher.capture_at = now_unix_ms() + LOCKED_RETRY_MS;
        return;
    }
    uint64_t write_ms = filetime_to_unix_ms(last_write);
    if (write_ms == watcher.baseline_write_ms && content.size() == watcher.baseline_size) return;

    // Every try gets a counter value of its own, so a retry never meets an
    // earlier name.
    uint32_t counter = watcher.capture_counter++;
    std::wstring name = queue_file_name(now_unix_ms(), GetCurrentProcessId(), counter);
    if (!write_file_atomic(settings.queue_dir, name, content.data(), content.size())) {
        DWORD error = GetLastError();
        log_write("queue write failed err=%lu", error);
        // The baseline stays where it was, so this version is not lost: a
        // clean-up tool may have removed the folder, or the disk was full.
        create_directories(settings.queue_dir);
        watcher.capture_at = now_unix_ms() + QUEUE_WRITE_RETRY_MS;
        return;
    }
    watcher.baseline_write_ms = write_ms;
    watcher.baseline_size = content.size();
    save_capture_record(write_ms, content.size());
    // %llu rather than %zu: the log's format check follows the MS runtime, which predates %zu.
    log_write("gdt captured size=%llu", (unsigned long long)content.size());
    SetEvent(sync_event);
}
