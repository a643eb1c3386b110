// Test helper: sets a named event on request, so a test can time what follows
// the signal without the start-up of a fresh Wine process in the measurement.
// usage: set_event NAME
// Prints "ready" once the event is open, sets it when a line arrives on stdin,
// then prints "set" and the local time it did so, in the log's format
// (HH:MM:SS.mmm). Exit code 0, or 1 when the event does not exist.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1]);
    if (!event) return 1;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD done = 0;
    WriteFile(out, "ready\n", 6, &done, nullptr);
    char line[16];
    ReadFile(GetStdHandle(STD_INPUT_HANDLE), line, sizeof line, &done, nullptr);
    BOOL set = SetEvent(event);
    SYSTEMTIME now;
    GetLocalTime(&now);
    CloseHandle(event);
    char reply[32];
    int length = std::snprintf(reply, sizeof reply, "set %02u:%02u:%02u.%03u\n", now.wHour, now.wMinute, now.wSecond,
                               now.wMilliseconds);
    WriteFile(out, reply, (DWORD)length, &done, nullptr);
    return set ? 0 : 1;
}
