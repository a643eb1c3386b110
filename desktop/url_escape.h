// Making a URL safe to hand to another program's command line.
// Free of Windows headers so it can be table-tested and fuzzed natively.
#pragma once
#include <string>

// Percent-encodes every character that a URL may not carry unescaped: all but
// the unreserved and reserved characters of a URI, and "%" unless it already
// starts an escape. Non-ASCII characters become their UTF-8 bytes; broken
// UTF-16 becomes U+FFFD. A legitimate URL opens the same page afterwards, and
// escaping is idempotent.
std::wstring escape_url(const std::wstring& url);

// The browser's parameters for an application window: --app="URL" with the
// URL escaped, so no text of the URL can become an argument of its own.
std::wstring browser_parameters(const std::wstring& url, bool maximize);
