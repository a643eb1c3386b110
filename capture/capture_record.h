// The last captured version of the GDT file, kept on disk beside the queue so
// that a runner that starts after a crash (or after the file changed while no
// runner ran) still captures a version that its predecessor never queued.
#pragma once
#include <cstdint>
#include <string>

// "<last-write ms> <size>" as written by save_capture_record.
std::string format_capture_record(uint64_t write_ms, uint64_t size);
// False when the text is not such a record.
bool parse_capture_record(const std::string& text, uint64_t& write_ms, uint64_t& size);

// data_dir\capture: false when there is none (first run) or it is unreadable.
bool load_capture_record(uint64_t& write_ms, uint64_t& size);
// Replaces the record; best effort (a failure costs at most one duplicate upload).
void save_capture_record(uint64_t write_ms, uint64_t size);
