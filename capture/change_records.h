// Reading the change records of one directory read. Free of Windows headers so
// the walk over untrusted offsets can be table-tested and fuzzed natively.
#pragma once
#include <cstddef>
#include <string>

// True when a record names file_name (A-Z folded) as added, modified or renamed
// to. An empty read counts too: the system completes a read with no records
// when it could not keep all changes, so the file may have changed.
bool changes_touch_file(const unsigned char* records, size_t byte_count, const std::wstring& file_name);

// Case-insensitive comparison that folds A-Z only, as the default C locale does.
bool equals_ignoring_ascii_case(const std::wstring& a, const std::wstring& b);
