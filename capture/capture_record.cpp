#include "capture/capture_record.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "capture/file_io.h"
#include "core/settings.h"

namespace {

std::wstring record_path() { return settings.data_dir + L"\\capture"; }

bool parse_number(const std::string& text, size_t& at, uint64_t& value) {
    size_t start = at;
    value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 20; ++at)
        value = value * 10 + (uint64_t)(text[at] - '0');
    return at > start && at - start < 20;
}

}  // namespace

std::string format_capture_record(uint64_t write_ms, uint64_t size) {
    char text[48];
    snprintf(text, sizeof text, "%llu %llu", (unsigned long long)write_ms, (unsigned long long)size);
    return text;
}

bool parse_capture_record(const std::string& text, uint64_t& write_ms, uint64_t& size) {
    size_t at = 0;
    if (!parse_number(text, at, write_ms) || at >= text.size() || text[at] != ' ') return false;
    ++at;
    return parse_number(text, at, size) && at == text.size();
}

bool load_capture_record(uint64_t& write_ms, uint64_t& size) {
    std::vector<unsigned char> content;
    if (read_whole_file(record_path(), FileSharing::read, content) != ReadResult::ok) return false;
    return parse_capture_record(std::string(content.begin(), content.end()), write_ms, size);
}

void save_capture_record(uint64_t write_ms, uint64_t size) {
    const std::string text = format_capture_record(write_ms, size);
    const std::wstring path = record_path(), temporary = path + L".tmp";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), (DWORD)text.size(), &written, nullptr) && written == text.size() &&
              FlushFileBuffers(file);
    CloseHandle(file);
    if (!ok || !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        DeleteFileW(temporary.c_str());
}
