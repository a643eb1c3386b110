#include "net/json_fields.h"

namespace {

bool is_json_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Value of four hex digits at `pos`, or -1 when they are not all there.
long hex4(const std::string& body, size_t pos) {
    if (pos + 4 > body.size()) return -1;
    long value = 0;
    for (size_t i = pos; i < pos + 4; ++i) {
        char c = body[i];
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return -1;
        value = value * 16 + digit;
    }
    return value;
}

void append_utf8(std::string& out, unsigned long code_point) {
    if (code_point < 0x80) {
        out.push_back((char)code_point);
    } else if (code_point < 0x800) {
        out.push_back((char)(0xC0 | (code_point >> 6)));
        out.push_back((char)(0x80 | (code_point & 0x3F)));
    } else if (code_point < 0x10000) {
        out.push_back((char)(0xE0 | (code_point >> 12)));
        out.push_back((char)(0x80 | ((code_point >> 6) & 0x3F)));
        out.push_back((char)(0x80 | (code_point & 0x3F)));
    } else {
        out.push_back((char)(0xF0 | (code_point >> 18)));
        out.push_back((char)(0x80 | ((code_point >> 12) & 0x3F)));
        out.push_back((char)(0x80 | ((code_point >> 6) & 0x3F)));
        out.push_back((char)(0x80 | (code_point & 0x3F)));
    }
}

const unsigned long REPLACEMENT_CHARACTER = 0xFFFD;

// Decodes the \u escape whose "u" stands at `pos`; returns the offset after it.
// A surrogate pair becomes one character; a lone surrogate or missing hex
// digits become U+FFFD (then only "\u" is consumed).
size_t decode_unicode_escape(const std::string& body, size_t pos, std::string& out) {
    long unit = hex4(body, pos + 1);
    if (unit < 0) {
        append_utf8(out, REPLACEMENT_CHARACTER);
        return pos + 1;
    }
    size_t next = pos + 5;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        long low = (next + 1 < body.size() && body[next] == '\\' && body[next + 1] == 'u') ? hex4(body, next + 2) : -1;
        if (low >= 0xDC00 && low <= 0xDFFF) {
            append_utf8(out, 0x10000 + (((unsigned long)unit - 0xD800) << 10) + ((unsigned long)low - 0xDC00));
            return next + 6;
        }
        append_utf8(out, REPLACEMENT_CHARACTER);
        return next;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        append_utf8(out, REPLACEMENT_CHARACTER);
        return next;
    }
    append_utf8(out, (unsigned long)unit);
    return next;
}

}  // namespace

size_t find_json_value(const std::string& body, const std::string& key) {
    std::string pattern = "\"" + key + "\"";
    size_t found = body.find(pattern);
    if (found == std::string::npos) return std::string::npos;
    size_t colon = body.find(':', found + pattern.size());
    if (colon == std::string::npos) return std::string::npos;
    size_t pos = colon + 1;
    while (pos < body.size() && is_json_blank(body[pos])) ++pos;
    return pos;
}

std::string json_string_field(const std::string& body, const std::string& key) {
    std::string out;
    size_t pos = find_json_value(body, key);
    if (pos == std::string::npos || pos >= body.size() || body[pos] != '"') return out;
    ++pos;
    while (pos < body.size()) {
        char c = body[pos];
        if (c == '"') break;
        if (c != '\\' || pos + 1 == body.size()) {
            out.push_back(c);
            ++pos;
            continue;
        }
        char escaped = body[pos + 1];
        switch (escaped) {
            case 'n': out.push_back('\n'); break;
            case 't': out.push_back('\t'); break;
            case 'r': out.push_back('\r'); break;
            case 'b': out.push_back('\b'); break;
            case 'f': out.push_back('\f'); break;
            case 'u': pos = decode_unicode_escape(body, pos + 1, out); continue;
            default: out.push_back(escaped); break;
        }
        pos += 2;
    }
    return out;
}

int64_t json_int_field(const std::string& body, const std::string& key, int64_t fallback) {
    size_t pos = find_json_value(body, key);
    if (pos == std::string::npos || pos >= body.size()) return fallback;
    bool negative = body[pos] == '-';
    if (!negative && !(body[pos] >= '0' && body[pos] <= '9')) return fallback;
    if (negative) ++pos;
    // Accumulate towards the sign so that INT64_MIN itself stays representable.
    int64_t value = 0;
    bool saturated = false;
    for (; pos < body.size() && body[pos] >= '0' && body[pos] <= '9'; ++pos) {
        int digit = body[pos] - '0';
        if (saturated) continue;
        if (negative) {
            if (value < (INT64_MIN + digit) / 10) saturated = true;
            else value = value * 10 - digit;
        } else {
            if (value > (INT64_MAX - digit) / 10) saturated = true;
            else value = value * 10 + digit;
        }
    }
    if (saturated) return negative ? INT64_MIN : INT64_MAX;
    return value;
}
