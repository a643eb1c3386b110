// Process-wide objects created by the entry point before any other thread starts.
#pragma once
#include <windows.h>

class TokenClient;

#define INSTANCE_MUTEX_NAME L"Local\\Orvanta-Dev.Runner"
#define STOP_EVENT_NAME L"Local\\Orvanta-Dev.Runner.Stop"
#define TRAY_WINDOW_CLASS L"OrvantaRunner"
#define BUTTON_WINDOW_CLASS L"OrvantaButton"
#define TRAY_WINDOW_TITLE L"Orvanta DEV"

const UINT_PTR BUTTON_TIMER_ID = 1;

extern HINSTANCE app_instance;
extern HANDLE stop_event;           // manual reset; set means stop
extern HANDLE sync_event;           // auto reset; asks the worker for a sync pass
extern CRITICAL_SECTION status_lock;
extern HWND tray_window;
extern HWND button_window;
extern UINT taskbar_created_msg;
extern TokenClient* token_client;   // one per process in run mode and for --open
