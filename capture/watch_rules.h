// Reading the change records of one directory read, and where the GDT
// folder's own name is watched. Free of Windows headers so the walk over
// system-supplied offsets can be table-tested and fuzzed natively.
#pragma once
#include <cstddef>
#include <string>

// True when a record names `name` (A-Z folded) as added, modified or renamed
// to. An empty read counts too: the system completes a read with no records
// when it could not keep all changes, so the file may have changed.
bool changes_touch_file(const unsigned char* records, size_t byte_count, const std::wstring& name);

// True when a record names `name` in any way, removals and renames included,
// or when the read is empty.
bool changes_mention(const unsigned char* records, size_t byte_count, const std::wstring& name);

// Case-insensitive comparison that folds A-Z only, as the default C locale does.
bool equals_ignoring_ascii_case(const std::wstring& a, const std::wstring& b);

// Splits a folder path into the folder that holds it and its own name
// ("C:\GDT" gives "C:\" and "GDT"); false when there is no parent to watch.
bool split_parent_folder(const std::wstring& path, std::wstring& parent, std::wstring& name);
