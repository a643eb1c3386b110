#include "capture/worker.h"

#include <cstdint>

#include "capture/schedule.h"
#include "capture/sync.h"
#include "capture/sync_rules.h"
#include "capture/watcher.h"
#include "core/runtime.h"
#include "support/text.h"

DWORD WINAPI gdt_worker(LPVOID) {
    GdtWatcher watcher;
    start_watcher(watcher);
    establish_baseline(watcher);
    // Starts due, so whatever an earlier run left queued goes out first.
    SyncSchedule sync;

    for (;;) {
        uint64_t now = now_unix_ms();
        reopen_if_due(watcher, now);
        capture_if_due(watcher, now);
        if (sync_pass_due(sync, now)) {
            if (run_sync_pass() == SyncPassEnd::complete) sync_pass_completed(sync);
            else sync_pass_deferred(sync, now_unix_ms());
        }

        uint64_t next = earliest_deadline({watcher.capture_at, sync.sync_at, watcher.reopen_at});
        DWORD timeout = wait_ms_until(next, now_unix_ms());
        // Only open watches are waited on: the wait may not list a handle twice,
        // so none stands in for a closed one.
        HANDLE handles[4] = {stop_event, sync_event};
        DWORD count = 2;
        HANDLE watch = watch_event(watcher);
        HANDLE parent = parent_event(watcher);
        if (watch) handles[count++] = watch;
        if (parent) handles[count++] = parent;
        DWORD wait = WaitForMultipleObjects(count, handles, FALSE, timeout);
        if (wait == WAIT_OBJECT_0) break;
        if (wait == WAIT_OBJECT_0 + 1) {
            // A scheduled retry keeps its time; only an idle worker is woken early.
            sync_requested(sync, now_unix_ms());
        } else if (wait >= WAIT_OBJECT_0 + 2 && wait < WAIT_OBJECT_0 + count) {
            if (handles[wait - WAIT_OBJECT_0] == watch) on_watch_signalled(watcher);
            else on_parent_signalled(watcher);
        } else if (wait == WAIT_FAILED) {
            Sleep(100);  // broken handles must not turn the loop into a spin
        }
    }
    shutdown(watcher);
    return 0;
}
