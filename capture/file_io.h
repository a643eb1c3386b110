// Whole-file reads and atomic writes shared by capture, queue, channel and secret files.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

enum class ReadResult { ok, locked, missing, error };

enum class FileSharing { none, read, read_write };

const unsigned long long MAX_READ_FILE_SIZE = 67108864ULL;  // 64 MiB

// Reads the whole file; last_write and win_error are filled when given.
ReadResult read_whole_file(const std::wstring& path, FileSharing sharing, std::vector<unsigned char>& content,
                           FILETIME* last_write = nullptr, DWORD* win_error = nullptr);

// Writes folder\name through folder\name.tmp and a write-through rename that
// never replaces an existing file. After false, GetLastError() tells why.
bool write_file_atomic(const std::wstring& folder, const std::wstring& name, const void* data, size_t size);
