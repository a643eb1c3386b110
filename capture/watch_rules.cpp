#include "capture/watch_rules.h"

#include <cstdint>

namespace {

// Layout of one record: next-entry offset, action, name length in bytes, then
// the UTF-16 name without a terminator; all little-endian.
const size_t RECORD_HEADER_BYTES = 12;
const uint32_t ACTION_REMOVED = 2;
const uint32_t ACTION_RENAMED_OLD_NAME = 4;

uint32_t read_u32(const unsigned char* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

wchar_t fold(wchar_t c) { return (c >= L'A' && c <= L'Z') ? (wchar_t)(c - L'A' + L'a') : c; }

bool walk_records(const unsigned char* records, size_t byte_count, const std::wstring& wanted, bool departures) {
    if (byte_count == 0) return true;
    size_t offset = 0;
    while (offset < byte_count && byte_count - offset >= RECORD_HEADER_BYTES) {
        const unsigned char* record = records + offset;
        uint32_t next = read_u32(record);
        uint32_t action = read_u32(record + 4);
        size_t name_bytes = read_u32(record + 8);
        // Never read past what the system reported, whatever the record claims.
        size_t available = byte_count - offset - RECORD_HEADER_BYTES;
        if (name_bytes > available) name_bytes = available;
        name_bytes &= ~(size_t)1;

        if (departures || (action != ACTION_REMOVED && action != ACTION_RENAMED_OLD_NAME)) {
            std::wstring name;
            name.reserve(name_bytes / 2);
            const unsigned char* units = record + RECORD_HEADER_BYTES;
            for (size_t i = 0; i < name_bytes; i += 2) name.push_back((wchar_t)(units[i] | (units[i + 1] << 8)));
            if (equals_ignoring_ascii_case(name, wanted)) return true;
        }
        if (next == 0) break;
        offset += next;
    }
    return false;
}

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

bool equals_ignoring_ascii_case(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

bool changes_touch_file(const unsigned char* records, size_t byte_count, const std::wstring& name) {
    return walk_records(records, byte_count, name, false);
}

bool changes_mention(const unsigned char* records, size_t byte_count, const std::wstring& name) {
    return walk_records(records, byte_count, name, true);
}

bool split_parent_folder(const std::wstring& path, std::wstring& parent, std::wstring& name) {
    size_t last = path.size();
    while (last > 0 && !is_separator(path[last - 1])) --last;
    if (last == 0 || last == path.size()) return false;
    size_t separator = last - 1;
    // "\\server" alone is no folder; its "parent" would be the current drive's root.
    if (separator < 2 && path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) return false;
    name = path.substr(last);
    parent = path.substr(0, separator);
    // A root keeps its separator: "C:" alone would mean the current folder of drive C.
    if (parent.empty() || parent.back() == L':') parent = path.substr(0, separator + 1);
    // "\\server\share" has no folder above the share that could be watched.
    if (parent.size() >= 2 && is_separator(parent[0]) && is_separator(parent[1]) &&
        parent.find_first_of(L"\\/", 2) == std::wstring::npos)
        return false;
    return true;
}
