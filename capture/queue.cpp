#include "capture/queue.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "support/text.h"

std::wstring queue_file_name(uint64_t capture_ms, unsigned long process_id, unsigned int counter) {
    return format_bounded_w(64, L"%013llu_%05lu_%04u.gdt", (unsigned long long)capture_ms, process_id % 100000UL,
                            counter % 10000U);
}

uint64_t queue_entry_capture_ms(const std::wstring& name) {
    return (uint64_t)wcstoull(name.c_str(), nullptr, 10);
}

void sort_queue_names(std::vector<std::wstring>& names) {
    std::sort(names.begin(), names.end());
}

std::vector<std::wstring> list_queue(const std::wstring& queue_dir) {
    std::vector<std::wstring> names;
    std::wstring pattern = queue_dir + L"\\*.gdt";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::wstring name = found.cFileName;
        // The pattern can also match through 8.3 short names; keep only names that end in .gdt.
        if (name.size() < 4 || _wcsicmp(name.c_str() + name.size() - 4, L".gdt") != 0) continue;
        names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    sort_queue_names(names);
    return names;
}

std::wstring queue_entry_path(const std::wstring& queue_dir, const std::wstring& name) {
    return queue_dir + L"\\" + name;
}
