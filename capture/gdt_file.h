// The GDT file that the practice system rewrites for every record.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "capture/file_io.h"
#include "core/runtime.h"

const int GDT_READ_ATTEMPTS = 30;
const DWORD GDT_READ_RETRY_MS = 100;

// gdt_dir + "\" + gdt_file, joined as they stand; evaluated anew on every call.
std::wstring gdt_file_path();

// Reads path whole without sharing. While the file is locked it tries again
// every 100 ms, GDT_READ_ATTEMPTS times in all; a signalled stop event ends
// the retries at once with `locked`.
ReadResult read_exclusive_retrying(const std::wstring& path, HANDLE stop, std::vector<unsigned char>& content,
                                   FILETIME& last_write);

// The GDT file read for a capture or an open request. Inline so that only its
// callers need the process's stop event.
inline ReadResult read_gdt_file(std::vector<unsigned char>& content, FILETIME& last_write) {
    return read_exclusive_retrying(gdt_file_path(), stop_event, content, last_write);
}
