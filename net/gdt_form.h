// The multipart/form-data body of GDT API requests. Pure byte logic, free of
// Windows headers, so it can be table-tested and fuzzed natively.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// One field of the form, in field order.
struct FormPart {
    std::string name;      // UTF-8
    std::string value;     // UTF-8 text, or the file's bytes for the file part
    bool is_file = false;  // adds the file name and a Content-Type line
    std::string filename;  // UTF-8; ignored unless is_file
};

const size_t MULTIPART_BOUNDARY_LENGTH = 27;

// "----velmora" and 16 lower-case hex digits of (time_ms * 2654435761) xor
// process_id. While a name, file name or value contains that boundary the
// number is counted up, so content can never split the body; the same content
// in the same millisecond of the same process still gives the same boundary.
std::string multipart_boundary(uint64_t time_ms, uint32_t process_id, const std::vector<FormPart>& parts);

// The body for a given boundary: names, file names and values go in as they are.
std::string multipart_body(const std::vector<FormPart>& parts, const std::string& boundary);

// Both of the above; content_type receives "multipart/form-data; boundary=" + boundary.
std::string encode_multipart_at(const std::vector<FormPart>& parts, uint64_t time_ms, uint32_t process_id,
                                std::string& content_type);
