// Queue entry names carry the capture time: it must come back from the name
// exactly, and name order must be capture order for every name the runner makes.
#include <cwchar>
#include <string>
#include <vector>

#include "capture/queue.h"
#include "fuzz_check.h"

namespace {

uint64_t read_le(const uint8_t* data, size_t size, size_t at, size_t bytes) {
    uint64_t value = 0;
    for (size_t i = 0; i < bytes && at + i < size; ++i) value |= (uint64_t)data[at + i] << (8 * i);
    return value;
}

struct Entry {
    uint64_t ms;
    unsigned long pid;
    unsigned counter;
    std::wstring name;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Every 16 bytes make one entry; times stay in the 13-digit range (up to the year 2286).
    std::vector<Entry> entries;
    for (size_t at = 0; at + 16 <= size && entries.size() < 64; at += 16) {
        Entry e;
        e.ms = read_le(data, size, at, 8) % 10000000000000ULL;
        e.pid = (unsigned long)read_le(data, size, at + 8, 4);
        e.counter = (unsigned)read_le(data, size, at + 12, 4);
        e.name = queue_file_name(e.ms, e.pid, e.counter);
        FUZZ_CHECK(e.name.size() == 13 + 1 + 5 + 1 + 4 + 4);
        FUZZ_CHECK(e.name.compare(e.name.size() - 4, 4, L".gdt") == 0);
        FUZZ_CHECK(queue_entry_capture_ms(e.name) == e.ms);
        entries.push_back(e);
    }
    std::vector<std::wstring> names;
    for (const Entry& e : entries) names.push_back(e.name);
    sort_queue_names(names);
    for (size_t i = 1; i < names.size(); ++i) FUZZ_CHECK(queue_entry_capture_ms(names[i - 1]) <= queue_entry_capture_ms(names[i]));

    // A name placed in the folder by hand is read and sorted without harm,
    // and does not disturb the order of the runner's own names.
    names.push_back(utf16_units(data, size));
    (void)queue_entry_capture_ms(names.back());
    sort_queue_names(names);
    uint64_t last = 0;
    for (const std::wstring& n : names) {
        if (n.size() != 28 || n != queue_file_name(queue_entry_capture_ms(n), std::wcstoul(n.c_str() + 14, nullptr, 10),
                                 (unsigned)std::wcstoul(n.c_str() + 20, nullptr, 10)))
            continue;  // not a name the runner makes
        FUZZ_CHECK(queue_entry_capture_ms(n) >= last);
        last = queue_entry_capture_ms(n);
    }
    return 0;
}
