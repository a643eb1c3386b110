// Installer custom action: asks the runner of the installing user's session
// to stop and waits until it has ended, so that the uninstall removes its file
// instead of leaving it behind for the next restart.
#include <windows.h>

#include "core/runtime.h"

namespace {

// The runner gives its worker up to 5 s at shutdown.
const DWORD STOP_WAIT_MS = 10000;

}  // namespace

// Called by Windows Installer with the install session's handle (unused).
extern "C" __declspec(dllexport) UINT WINAPI StopSessionRunner(unsigned long) {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, INSTANCE_MUTEX_NAME);
    if (!mutex) return ERROR_SUCCESS;  // no runner in this session
    HANDLE stop = OpenEventW(EVENT_MODIFY_STATE, FALSE, STOP_EVENT_NAME);
    if (stop) {
        SetEvent(stop);
        CloseHandle(stop);
    }
    // The runner holds its instance mutex until its process ends, when the
    // mutex becomes abandoned and this wait returns.
    DWORD wait = WaitForSingleObject(mutex, STOP_WAIT_MS);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) ReleaseMutex(mutex);
    CloseHandle(mutex);
    return ERROR_SUCCESS;
}
