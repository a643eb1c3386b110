#include "capture/queue.h"

#include <windows.h>

#include <cwchar>

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
