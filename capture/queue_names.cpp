// Queue entry names and their order. Free of Windows headers so the name
// round trip can be table-tested and fuzzed natively.
#include <algorithm>
#include <cwchar>

#include "capture/queue.h"

std::wstring queue_file_name(uint64_t capture_ms, unsigned long process_id, unsigned int counter) {
    wchar_t name[64] = {};
    std::swprintf(name, 64, L"%013llu_%05lu_%04u.gdt", (unsigned long long)capture_ms, process_id % 100000UL,
                  counter % 10000U);
    return name;
}

uint64_t queue_entry_capture_ms(const std::wstring& name) {
    return (uint64_t)std::wcstoull(name.c_str(), nullptr, 10);
}

void sort_queue_names(std::vector<std::wstring>& names) {
    std::sort(names.begin(), names.end());
}
