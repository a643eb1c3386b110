// The upload body: whatever bytes the GDT file and the identity values hold,
// the boundary never occurs inside a field, so the server splits the body
// back into exactly the fields that were sent.
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "net/gdt_form.h"

namespace {

uint64_t read_le(const uint8_t* data, size_t size, size_t at, size_t bytes) {
    uint64_t value = 0;
    for (size_t i = 0; i < bytes && at + i < size; ++i) value |= (uint64_t)data[at + i] << (8 * i);
    return value;
}

// The fields of an upload, their varying values cut from the input at line feeds;
// the file part takes the rest, line feeds included.
std::vector<FormPart> form_from(const std::string& text) {
    std::vector<std::string> pieces;
    size_t at = 0;
    while (pieces.size() < 4) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) break;
        pieces.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    std::string file = text.substr(std::min(at, text.size()));
    pieces.resize(4);
    const std::string& filename = pieces[0];
    std::vector<FormPart> parts = {
        {"mode", "sync", false, ""},
        {"captured_at", "2024-05-17T08:15:30.123Z", false, ""},
        {"filename", filename, false, ""},
        {"host", pieces[1], false, ""},
        {"win_user", pieces[2], false, ""},
        {"win_session", "1", false, ""},
    };
    if (!pieces[3].empty()) parts.push_back({"channel", pieces[3], false, ""});
    parts.push_back({"file", file, true, filename});
    return parts;
}

size_t count_occurrences(const std::string& text, const std::string& pattern) {
    size_t count = 0;
    for (size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern, at + 1)) ++count;
    return count;
}

bool contains_any(const std::vector<FormPart>& parts, const std::string& pattern) {
    for (const FormPart& part : parts)
        if (part.name.find(pattern) != std::string::npos || part.value.find(pattern) != std::string::npos ||
            (part.is_file && part.filename.find(pattern) != std::string::npos))
            return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint64_t time_ms = read_le(data, size, 0, 8);
    const uint32_t process_id = (uint32_t)read_le(data, size, 8, 4);
    const std::string text = size > 12 ? std::string(reinterpret_cast<const char*>(data) + 12, size - 12) : "";
    const std::vector<FormPart> parts = form_from(text);

    std::string content_type;
    const std::string body = encode_multipart_at(parts, time_ms, process_id, content_type);
    FUZZ_CHECK(content_type.rfind("multipart/form-data; boundary=", 0) == 0);
    const std::string boundary = content_type.substr(std::strlen("multipart/form-data; boundary="));

    FUZZ_CHECK(boundary.size() == MULTIPART_BOUNDARY_LENGTH && boundary.rfind("----velmora", 0) == 0);
    for (size_t i = 11; i < boundary.size(); ++i)
        FUZZ_CHECK((boundary[i] >= '0' && boundary[i] <= '9') || (boundary[i] >= 'a' && boundary[i] <= 'f'));
    FUZZ_CHECK(!contains_any(parts, boundary));
    if (!contains_any(parts, "----velmora")) {
        char plain[MULTIPART_BOUNDARY_LENGTH + 1];
        std::snprintf(plain, sizeof plain, "----velmora%016llx",
                      (unsigned long long)((time_ms * 2654435761ULL) ^ (uint64_t)process_id));
        FUZZ_CHECK(boundary == plain);
    }
    FUZZ_CHECK(multipart_boundary(time_ms, process_id, parts) == boundary);

    // Split the body the way a server does and compare field by field.
    FUZZ_CHECK(count_occurrences(body, boundary) == parts.size() + 1);
    const std::string delimiter = "--" + boundary;
    FUZZ_CHECK(body.size() >= delimiter.size() + 4 &&
               body.compare(body.size() - delimiter.size() - 4, std::string::npos, delimiter + "--\r\n") == 0);
    size_t at = 0;
    for (const FormPart& part : parts) {
        FUZZ_CHECK(body.compare(at, delimiter.size(), delimiter) == 0);
        size_t next = body.find(delimiter, at + delimiter.size());
        FUZZ_CHECK(next != std::string::npos);
        std::string head = "\r\nContent-Disposition: form-data; name=\"" + part.name + "\"";
        if (part.is_file) head += "; filename=\"" + part.filename + "\"\r\nContent-Type: application/octet-stream";
        head += "\r\n\r\n";
        FUZZ_CHECK(body.compare(at + delimiter.size(), next - at - delimiter.size(), head + part.value + "\r\n") == 0);
        at = next;
    }
    FUZZ_CHECK(at == body.size() - delimiter.size() - 4);
    return 0;
}
