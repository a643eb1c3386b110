// One folder watched through an outstanding overlapped directory read.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

struct DirWatch {
    HANDLE directory = INVALID_HANDLE_VALUE;  // open while the watch is
    HANDLE completion = nullptr;              // manual reset; signalled when the read completes
    std::vector<DWORD> buffer;                // DWORD-aligned, as the directory read requires
    OVERLAPPED overlapped = {};
    DWORD filter = 0;

    DirWatch() = default;
    DirWatch(const DirWatch&) = delete;  // the outstanding read points into it
    DirWatch& operator=(const DirWatch&) = delete;
};

// Creates the completion event and the buffer; false when the event could not be made.
bool create_dir_watch(DirWatch& watch, DWORD buffer_bytes, DWORD filter);
// Opens the folder and issues the first read. On failure nothing stays open
// and GetLastError() tells why.
bool open_dir_watch(DirWatch& watch, const std::wstring& folder);
// Issues the next read into the buffer; false (GetLastError() set) when it could not be.
bool issue_dir_read(DirWatch& watch);
// The byte count of the completed read; false (GetLastError() set) when it failed.
bool fetch_dir_read(DirWatch& watch, DWORD& byte_count);
bool is_open(const DirWatch& watch);
// Cancels an outstanding read, waits until the system is done with the buffer, closes the folder.
void close_dir_watch(DirWatch& watch);
// Closes the folder, the event and releases the buffer.
void destroy_dir_watch(DirWatch& watch);
const unsigned char* dir_records(const DirWatch& watch);
