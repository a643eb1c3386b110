// The change records of a directory read hold offsets and lengths that are
// followed as given: the walk must stay inside the bytes reported, whatever
// they claim. The folder split must give back the path it came from.
#include <cstring>
#include <string>
#include <vector>

#include "capture/watch_rules.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that AddressSanitizer sees every read past the end.
    std::vector<unsigned char> records(data, data + size);
    const unsigned char* bytes = records.empty() ? nullptr : records.data();
    for (const wchar_t* name : {L"data.gdt", L"GDT", L""}) {
        bool touched = changes_touch_file(bytes, records.size(), name);
        bool mentioned = changes_mention(bytes, records.size(), name);
        FUZZ_CHECK(!touched || mentioned);
        if (records.empty()) FUZZ_CHECK(touched);
    }

    const std::wstring path = utf16_units(data, size);
    std::wstring parent, name;
    if (split_parent_folder(path, parent, name)) {
        FUZZ_CHECK(!name.empty() && !parent.empty());
        FUZZ_CHECK(name.find_first_of(L"\\/") == std::wstring::npos);
        // The separator between them is dropped, except where the parent is a root.
        FUZZ_CHECK(parent.size() < path.size());
        FUZZ_CHECK(path == parent + path[parent.size()] + name || path == parent + name);
    }
    return 0;
}
