#include "capture/sync_pass.h"

#include "capture/file_io.h"
#include "capture/queue.h"
#include "capture/sync_rules.h"
#include "net/gdt_api.h"
#include "net/json_fields.h"
#include "support/log.h"
#include "support/text.h"

const wchar_t* const STATUS_DEFERRED_TEXT = L"Server nicht erreichbar \u2013 \u00dcbertragung wird wiederholt.";
const wchar_t* const STATUS_REFUSED_WORD = L"vom Server abgelehnt";

std::wstring last_transfer_text(const SYSTEMTIME& local_time, const std::wstring& word) {
    return format_bounded_w(160, L"Letzte \u00dcbertragung %02u:%02u:%02u \u2013 %ls", (unsigned)local_time.wHour,
                            (unsigned)local_time.wMinute, (unsigned)local_time.wSecond, word.c_str());
}

SyncPassEnd sync_pass(const SyncTarget& target) {
    for (const std::wstring& name : list_queue(target.queue_dir)) {
        // The loop sees the stop at its next wait; an upload under way is never cut.
        if (target.stop && WaitForSingleObject(target.stop, 0) == WAIT_OBJECT_0) break;

        std::wstring path = queue_entry_path(target.queue_dir, name);
        std::vector<unsigned char> bytes;
        // Vanished or locked entries wait for a later pass.
        if (read_whole_file(path, FileSharing::read, bytes) != ReadResult::ok) continue;

        HttpResponse response = target.upload(build_gdt_form("sync", bytes, queue_entry_capture_ms(name)));
        if (!sync_answer_is_final(response.status)) {
            log_write("gdt sync deferred: http=%d winerr=%lu", (int)response.status, (unsigned long)response.win_error);
            target.show_status(STATUS_DEFERRED_TEXT);
            return SyncPassEnd::deferred;
        }

        std::string result = json_string_field(response.body, "result");
        std::string receipt = json_string_field(response.body, "receipt_id");
        log_write("gdt sync http=%d result=%s receipt=%s", (int)response.status, result.c_str(), receipt.c_str());
        SYSTEMTIME now;
        GetLocalTime(&now);
        target.show_status(last_transfer_text(now, response.status == 200 ? to_utf16(result) : STATUS_REFUSED_WORD));
        DeleteFileW(path.c_str());
    }
    return SyncPassEnd::complete;
}
