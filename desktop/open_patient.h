// Opening the current patient: one flow per request, on its own thread in run mode.
#pragma once
#include <windows.h>

#include <string>

// The flow's thread routine; the --open command calls it directly on the main thread.
DWORD WINAPI open_patient_flow(LPVOID unused);

// Starts the flow on a new thread unless one is running (tray, button);
// a request while a flow runs is dropped.
void start_open_patient();

// A warning balloon in run mode, a "Fehler: " console line for --open.
void report_open_error(const std::wstring& message);
