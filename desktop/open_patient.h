// Opening the current patient: one flow per request, on its own thread in run mode.
#pragma once
#include <windows.h>

// The flow's thread routine; the --open command calls it directly on the main thread.
DWORD WINAPI open_patient_flow(LPVOID unused);
// Starts the flow on a new thread unless one is running (tray, button).
void start_open_patient();
