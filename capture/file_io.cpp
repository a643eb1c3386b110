#include "capture/file_io.h"

namespace {

DWORD share_mode(FileSharing sharing) {
    switch (sharing) {
        case FileSharing::read: return FILE_SHARE_READ;
        case FileSharing::read_write: return FILE_SHARE_READ | FILE_SHARE_WRITE;
        default: return 0;
    }
}

ReadResult classify_open_error(DWORD error) {
    switch (error) {
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_ACCESS_DENIED: return ReadResult::locked;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return ReadResult::missing;
        default: return ReadResult::error;
    }
}

ReadResult read_open_file(HANDLE file, std::vector<unsigned char>& content, FILETIME* last_write) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 || (unsigned long long)size.QuadPart > MAX_READ_FILE_SIZE)
        return ReadResult::error;
    content.assign((size_t)size.QuadPart, 0);
    size_t done = 0;
    while (done < content.size()) {
        DWORD chunk = (DWORD)((content.size() - done) < 1048576 ? (content.size() - done) : 1048576);
        DWORD got = 0;
        if (!ReadFile(file, content.data() + done, chunk, &got, nullptr) || got == 0) return ReadResult::error;
        done += got;
    }
    if (last_write && !GetFileTime(file, nullptr, nullptr, last_write)) return ReadResult::error;
    return ReadResult::ok;
}

}  // namespace

ReadResult read_whole_file(const std::wstring& path, FileSharing sharing, std::vector<unsigned char>& content,
                           FILETIME* last_write, DWORD* win_error) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, share_mode(sharing), nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (win_error) *win_error = error;
        return classify_open_error(error);
    }
    ReadResult result = read_open_file(file, content, last_write);
    DWORD error = GetLastError();
    if (result != ReadResult::ok && win_error) *win_error = error;
    CloseHandle(file);
    return result;
}

bool write_file_atomic(const std::wstring& folder, const std::wstring& name, const void* data, size_t size) {
    std::wstring final_path = folder + L"\\" + name;
    std::wstring temp_path = final_path + L".tmp";
    HANDLE file = CreateFileW(temp_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;

    // Keep the first failure's error code for the caller across the clean-up calls.
    DWORD written = 0;
    bool ok = WriteFile(file, size ? data : "", (DWORD)size, &written, nullptr) && written == (DWORD)size &&
              size <= 0xFFFFFFFFULL;
    if (ok) ok = FlushFileBuffers(file) != 0;
    DWORD error = ok ? 0 : GetLastError();
    if (!ok && error == 0) error = ERROR_WRITE_FAULT;
    CloseHandle(file);
    if (ok) {
        ok = MoveFileExW(temp_path.c_str(), final_path.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
        if (!ok) error = GetLastError();
    }
    if (!ok) {
        DeleteFileW(temp_path.c_str());
        SetLastError(error);
    }
    return ok;
}
