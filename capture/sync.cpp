#include "capture/sync.h"

#include "core/runtime.h"
#include "core/settings.h"
#include "net/gdt_api.h"

SyncStatus sync_status;

void set_status_text(const std::wstring& text) {
    std::wstring copy = text;  // allocate outside the lock
    EnterCriticalSection(&status_lock);
    sync_status.status_text.swap(copy);
    LeaveCriticalSection(&status_lock);
}

std::wstring copy_status_text() {
    EnterCriticalSection(&status_lock);
    std::wstring copy = sync_status.status_text;
    LeaveCriticalSection(&status_lock);
    return copy;
}

SyncPassEnd run_sync_pass() {
    SyncTarget target;
    target.queue_dir = settings.queue_dir;
    target.stop = stop_event;
    std::wstring url = settings.server_url + GDT_API_PATH;
    target.upload = [&url](const std::vector<FormPart>& form) { return authorized_post(*token_client, url, form); };
    target.show_status = set_status_text;
    return sync_pass(target);
}
