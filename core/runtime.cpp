// The process-wide objects live here rather than beside the entry point, so
// that code using them also links into the unit tests.
#include "core/runtime.h"

HINSTANCE app_instance = nullptr;
HANDLE stop_event = nullptr;
HANDLE sync_event = nullptr;
CRITICAL_SECTION status_lock;
HWND tray_window = nullptr;
HWND button_window = nullptr;
UINT taskbar_created_msg = 0;
TokenClient* token_client = nullptr;
