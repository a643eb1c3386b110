#include "net/url_encode.h"

namespace {

bool is_unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

}  // namespace

void append_url_encoded(std::string& out, const std::string& bytes) {
    static const char HEX[] = "0123456789ABCDEF";
    for (unsigned char c : bytes) {
        if (is_unreserved(c)) {
            out.push_back((char)c);
        } else {
            out.push_back('%');
            out.push_back(HEX[c >> 4]);
            out.push_back(HEX[c & 0x0F]);
        }
    }
}

std::string url_encode(const std::string& bytes) {
    std::string out;
    append_url_encoded(out, bytes);
    return out;
}
