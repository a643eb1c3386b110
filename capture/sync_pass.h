// One sync pass: uploads the outbound queue in name order until the server
// has answered for every entry or an answer says "try again later".
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "net/gdt_form.h"
#include "net/http.h"

enum class SyncPassEnd { complete, deferred };

// What a pass works on; the worker fills it from the process-wide objects.
struct SyncTarget {
    std::wstring queue_dir;
    HANDLE stop = nullptr;  // tested before each entry
    std::function<HttpResponse(const std::vector<FormPart>& form)> upload;
    std::function<void(const std::wstring& status_text)> show_status;
};

// "Letzte Übertragung hh:mm:ss – <word>", cut to 159 UTF-16 units.
std::wstring last_transfer_text(const SYSTEMTIME& local_time, const std::wstring& word);

extern const wchar_t* const STATUS_DEFERRED_TEXT;
extern const wchar_t* const STATUS_REFUSED_WORD;

SyncPassEnd sync_pass(const SyncTarget& target);
