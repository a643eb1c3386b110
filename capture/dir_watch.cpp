#include "capture/dir_watch.h"

bool create_dir_watch(DirWatch& watch, DWORD buffer_bytes, DWORD filter) {
    watch.buffer.assign(buffer_bytes / sizeof(DWORD), 0);
    watch.filter = filter;
    watch.completion = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return watch.completion != nullptr;
}

bool is_open(const DirWatch& watch) { return watch.directory != INVALID_HANDLE_VALUE; }

bool issue_dir_read(DirWatch& watch) {
    ResetEvent(watch.completion);
    watch.overlapped = {};
    watch.overlapped.hEvent = watch.completion;
    return ReadDirectoryChangesW(watch.directory, watch.buffer.data(), (DWORD)(watch.buffer.size() * sizeof(DWORD)),
                                 FALSE, watch.filter, nullptr, &watch.overlapped, nullptr) != 0;
}

bool open_dir_watch(DirWatch& watch, const std::wstring& folder) {
    if (!watch.completion) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    watch.directory = CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (!is_open(watch)) return false;
    if (issue_dir_read(watch)) return true;
    DWORD error = GetLastError();
    CloseHandle(watch.directory);
    watch.directory = INVALID_HANDLE_VALUE;
    SetLastError(error);
    return false;
}

bool fetch_dir_read(DirWatch& watch, DWORD& byte_count) {
    byte_count = 0;
    if (!GetOverlappedResult(watch.directory, &watch.overlapped, &byte_count, FALSE)) return false;
    // The system never reports more than the buffer holds; if it did, treat it as "changes lost".
    if (byte_count > watch.buffer.size() * sizeof(DWORD)) byte_count = 0;
    return true;
}

void close_dir_watch(DirWatch& watch) {
    if (!is_open(watch)) return;
    if (!HasOverlappedIoCompleted(&watch.overlapped)) {
        CancelIo(watch.directory);
        DWORD ignored = 0;
        GetOverlappedResult(watch.directory, &watch.overlapped, &ignored, TRUE);
    }
    CloseHandle(watch.directory);
    watch.directory = INVALID_HANDLE_VALUE;
}

void destroy_dir_watch(DirWatch& watch) {
    close_dir_watch(watch);
    if (watch.completion) CloseHandle(watch.completion);
    watch.completion = nullptr;
    std::vector<DWORD>().swap(watch.buffer);
}

const unsigned char* dir_records(const DirWatch& watch) {
    return reinterpret_cast<const unsigned char*>(watch.buffer.data());
}
