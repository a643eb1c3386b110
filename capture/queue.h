// The outbound queue: one file per captured version, uploaded in name order.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// "%013llu_%05lu_%04u.gdt": capture time, process id mod 100000, counter mod 10000.
std::wstring queue_file_name(uint64_t capture_ms, unsigned long process_id, unsigned int counter);

// Leading decimal digits of an entry name (wcstoull rules); 0 when there are none.
uint64_t queue_entry_capture_ms(const std::wstring& name);

// Sorts entry names in plain UTF-16 code-unit order.
void sort_queue_names(std::vector<std::wstring>& names);

// Names (not paths) of the *.gdt files directly in queue_dir, sorted.
std::vector<std::wstring> list_queue(const std::wstring& queue_dir);

std::wstring queue_entry_path(const std::wstring& queue_dir, const std::wstring& name);
