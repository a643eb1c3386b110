// A patient URL comes from the server's answer and ends up on a browser's
// command line: escaped, it must stay one argument, be idempotent, and the
// acceptance test must take only URLs below the configured server.
#include <string>

#include "desktop/open_rules.h"
#include "desktop/url_escape.h"
#include "fuzz_check.h"

namespace {

bool is_hex(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f'); }

// Characters a command-line parser or a shell could treat specially.
bool splits_arguments(wchar_t c) { return c == L'"' || c == L'\\' || c <= L' ' || c == 0x7F; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring url = utf16_units(data, size);
    const std::wstring escaped = escape_url(url);
    FUZZ_CHECK(escape_url(escaped) == escaped);
    for (size_t i = 0; i < escaped.size(); ++i) {
        FUZZ_CHECK(escaped[i] >= 0x21 && escaped[i] < 0x7F && !splits_arguments(escaped[i]));
        if (escaped[i] == L'%') FUZZ_CHECK(i + 2 < escaped.size() && is_hex(escaped[i + 1]) && is_hex(escaped[i + 2]));
    }
    const std::wstring parameters = browser_parameters(url, (size & 1) != 0);
    FUZZ_CHECK(parameters.rfind(L"--app=\"" + escaped + L"\"", 0) == 0);

    // The server URL and the answer's URL both from the input, split at the middle:
    // only a URL below the server followed by "/" is taken.
    const std::wstring server = url.substr(0, url.size() / 2), answer = url.substr(url.size() / 2);
    FUZZ_CHECK(is_accepted_patient_url(server + L"/" + answer, server));
    FUZZ_CHECK(!is_accepted_patient_url(server, server));
    if (is_accepted_patient_url(answer, server)) FUZZ_CHECK(answer.compare(0, server.size() + 1, server + L"/") == 0);
    return 0;
}
