#include "capture/change_records.h"

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

}  // namespace

bool equals_ignoring_ascii_case(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

bool changes_touch_file(const unsigned char* records, size_t byte_count, const std::wstring& file_name) {
    if (byte_count == 0) return true;
    bool hit = false;
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

        if (action != ACTION_REMOVED && action != ACTION_RENAMED_OLD_NAME) {
            std::wstring name;
            name.reserve(name_bytes / 2);
            for (size_t i = 0; i < name_bytes; i += 2)
                name.push_back((wchar_t)(record[RECORD_HEADER_BYTES + i] | (record[RECORD_HEADER_BYTES + i + 1] << 8)));
            if (equals_ignoring_ascii_case(name, file_name)) hit = true;
        }
        if (next == 0) break;
        offset += next;
    }
    return hit;
}
