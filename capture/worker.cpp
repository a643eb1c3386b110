#include "capture/worker.h"

#include "core/runtime.h"

// Placeholder until the watcher and sync loop land: waits for the stop request.
DWORD WINAPI gdt_worker(LPVOID) {
    WaitForSingleObject(stop_event, INFINITE);
    return 0;
}
