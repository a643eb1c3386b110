#include "desktop/url_escape.h"

namespace {

bool is_hex_digit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f');
}

// Unreserved and reserved characters of a URI; everything else is escaped.
// The double quote, the blank, the backslash and every control character are
// left out on purpose: each of them could end or split a quoted argument.
bool passes_unescaped(wchar_t c) {
    if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) return true;
    switch (c) {
    case L'-': case L'.': case L'_': case L'~':
    case L':': case L'/': case L'?': case L'#': case L'[': case L']': case L'@':
    case L'!': case L'$': case L'&': case L'\'': case L'(': case L')':
    case L'*': case L'+': case L',': case L';': case L'=':
        return true;
    default:
        return false;
    }
}

void append_escaped_byte(std::wstring& out, unsigned byte) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    out += L'%';
    out += digits[(byte >> 4) & 0xF];
    out += digits[byte & 0xF];
}

void append_escaped_code_point(std::wstring& out, unsigned long cp) {
    if (cp < 0x80) {
        append_escaped_byte(out, cp);
    } else if (cp < 0x800) {
        append_escaped_byte(out, 0xC0 | (cp >> 6));
        append_escaped_byte(out, 0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        append_escaped_byte(out, 0xE0 | (cp >> 12));
        append_escaped_byte(out, 0x80 | ((cp >> 6) & 0x3F));
        append_escaped_byte(out, 0x80 | (cp & 0x3F));
    } else {
        append_escaped_byte(out, 0xF0 | (cp >> 18));
        append_escaped_byte(out, 0x80 | ((cp >> 12) & 0x3F));
        append_escaped_byte(out, 0x80 | ((cp >> 6) & 0x3F));
        append_escaped_byte(out, 0x80 | (cp & 0x3F));
    }
}

const unsigned long REPLACEMENT_CHARACTER = 0xFFFD;

}  // namespace

std::wstring escape_url(const std::wstring& url) {
    std::wstring out;
    out.reserve(url.size());
    for (size_t i = 0; i < url.size(); ++i) {
        const wchar_t c = url[i];
        if (passes_unescaped(c)) {
            out += c;
            continue;
        }
        if (c == L'%' && i + 2 < url.size() && is_hex_digit(url[i + 1]) && is_hex_digit(url[i + 2])) {
            out += c;
            continue;
        }
        // wchar_t holds UTF-16 on Windows and whole code points elsewhere.
        unsigned long cp = static_cast<unsigned long>(c);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < url.size()) {
            const unsigned long low = static_cast<unsigned long>(url[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = REPLACEMENT_CHARACTER;
        append_escaped_code_point(out, cp);
    }
    return out;
}

std::wstring browser_parameters(const std::wstring& url, bool maximize) {
    std::wstring parameters = L"--app=\"" + escape_url(url) + L"\"";
    if (maximize) parameters += L" --start-maximized";
    return parameters;
}
