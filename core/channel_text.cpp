#include "core/channel_text.h"

namespace {

const char BASE64URL_ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

bool is_white(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_channel_char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

}  // namespace

std::string channel_from_file(const std::string& content) {
    size_t length = content.size();
    while (length > 0 && is_white(content[length - 1])) --length;
    if (length < CHANNEL_MIN_LENGTH || length > CHANNEL_MAX_LENGTH) return std::string();
    for (size_t i = 0; i < length; ++i)
        if (!is_channel_char(content[i])) return std::string();
    return content.substr(0, length);
}

std::string base64url_encode(const unsigned char* bytes, size_t size) {
    std::string out;
    out.reserve((size * 4 + 2) / 3);
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        unsigned long group = ((unsigned long)bytes[i] << 16) | ((unsigned long)bytes[i + 1] << 8) | bytes[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6) out.push_back(BASE64URL_ALPHABET[(group >> shift) & 0x3F]);
    }
    size_t rest = size - i;
    if (rest > 0) {
        unsigned long group = (unsigned long)bytes[i] << 16;
        if (rest == 2) group |= (unsigned long)bytes[i + 1] << 8;
        out.push_back(BASE64URL_ALPHABET[(group >> 18) & 0x3F]);
        out.push_back(BASE64URL_ALPHABET[(group >> 12) & 0x3F]);
        if (rest == 2) out.push_back(BASE64URL_ALPHABET[(group >> 6) & 0x3F]);
    }
    return out;
}
