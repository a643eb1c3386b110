#include "capture/gdt_file.h"

#include "core/settings.h"

std::wstring gdt_file_path() {
    return settings.gdt_dir + L"\\" + settings.gdt_file;
}

ReadResult read_exclusive_retrying(const std::wstring& path, HANDLE stop, std::vector<unsigned char>& content,
                                   FILETIME& last_write) {
    for (int attempt = 1;; ++attempt) {
        ReadResult result = read_whole_file(path, FileSharing::none, content, &last_write);
        if (result != ReadResult::locked || attempt >= GDT_READ_ATTEMPTS) return result;
        DWORD wait = WaitForSingleObject(stop, GDT_READ_RETRY_MS);
        if (wait == WAIT_OBJECT_0) return ReadResult::locked;
        // Without a usable stop event the wait returns at once; keep the pace.
        if (wait == WAIT_FAILED) Sleep(GDT_READ_RETRY_MS);
    }
}
