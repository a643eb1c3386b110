// The worker's sync passes against the real server, and the status line that
// the tray's status box shows.
#pragma once
#include <string>

#include "capture/sync_pass.h"

// Written only by the worker, read only by the tray; both under status_lock.
struct SyncStatus {
    std::wstring status_text = L"Noch keine \u00dcbertragung.";
};

extern SyncStatus sync_status;

void set_status_text(const std::wstring& text);
// A copy taken under status_lock, for the status box.
std::wstring copy_status_text();

// A pass over the process's queue to server_url + "/api/gdt" with the
// process's token client, stopping early when stop_event is set.
SyncPassEnd run_sync_pass();
