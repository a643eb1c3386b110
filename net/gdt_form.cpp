#include "net/gdt_form.h"

#include <cstdio>
#include <set>

namespace {

const char BOUNDARY_PREFIX[] = "----velmora";
const size_t BOUNDARY_PREFIX_LENGTH = sizeof BOUNDARY_PREFIX - 1;

std::string boundary_text(uint64_t number) {
    char text[MULTIPART_BOUNDARY_LENGTH + 1];
    snprintf(text, sizeof text, "%s%016llx", BOUNDARY_PREFIX, (unsigned long long)number);
    return text;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Every boundary number that occurs in the text; one scan, so even content
// made of boundaries back to back costs linear time.
void collect_boundaries(const std::string& text, std::set<uint64_t>& taken) {
    for (size_t at = text.find(BOUNDARY_PREFIX); at != std::string::npos; at = text.find(BOUNDARY_PREFIX, at + 1)) {
        if (text.size() - at < MULTIPART_BOUNDARY_LENGTH) return;
        uint64_t number = 0;
        size_t digit = 0;
        for (; digit < 16; ++digit) {
            int value = hex_digit(text[at + BOUNDARY_PREFIX_LENGTH + digit]);
            if (value < 0) break;
            number = (number << 4) | (uint64_t)value;
        }
        if (digit == 16) taken.insert(number);
    }
}

}  // namespace

std::string multipart_boundary(uint64_t time_ms, uint32_t process_id, const std::vector<FormPart>& parts) {
    uint64_t number = (time_ms * 2654435761ULL) ^ (uint64_t)process_id;
    std::set<uint64_t> taken;
    for (const FormPart& part : parts) {
        collect_boundaries(part.name, taken);
        collect_boundaries(part.value, taken);
        if (part.is_file) collect_boundaries(part.filename, taken);
    }
    while (taken.count(number)) ++number;
    return boundary_text(number);
}

std::string multipart_body(const std::vector<FormPart>& parts, const std::string& boundary) {
    size_t size = boundary.size() + 6;
    for (const FormPart& part : parts)
        size += boundary.size() + part.name.size() + part.value.size() + part.filename.size() + 128;
    std::string body;
    body.reserve(size);
    for (const FormPart& part : parts) {
        body += "--";
        body += boundary;
        body += "\r\nContent-Disposition: form-data; name=\"";
        body += part.name;
        body += '"';
        if (part.is_file) {
            body += "; filename=\"";
            body += part.filename;
            body += "\"\r\nContent-Type: application/octet-stream";
        }
        body += "\r\n\r\n";
        body += part.value;
        body += "\r\n";
    }
    body += "--";
    body += boundary;
    body += "--\r\n";
    return body;
}

std::string encode_multipart_at(const std::vector<FormPart>& parts, uint64_t time_ms, uint32_t process_id,
                                std::string& content_type) {
    std::string boundary = multipart_boundary(time_ms, process_id, parts);
    content_type = "multipart/form-data; boundary=" + boundary;
    return multipart_body(parts, boundary);
}
