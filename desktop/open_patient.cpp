#include "desktop/open_patient.h"

#include <vector>

#include "capture/gdt_file.h"
#include "core/console.h"
#include "core/runtime.h"
#include "core/settings.h"
#include "desktop/browser.h"
#include "desktop/open_rules.h"
#include "desktop/tray.h"
#include "desktop/url_escape.h"
#include "net/gdt_api.h"
#include "net/json_fields.h"
#include "support/log.h"
#include "support/text.h"

namespace {

// 1 while a flow started by start_open_patient runs.
volatile LONG open_flow_busy = 0;

// Without a tray window (--open) the outcome goes to the console. What is shown
// is the URL as it was handed to the browser.
void print_opened(bool in_open_window, const std::wstring& target) {
    if (tray_window) return;
    console_print("%s %s\n", in_open_window ? "Im offenen Fenster:" : "\xc3\x96" "ffne",
                  to_utf8(escape_url(target)).c_str());
}

void open_start_page() {
    if (!focus_app_window()) launch_browser(start_page_url(settings.server_url, to_utf16(settings.channel)));
    log_write("gdt open without gdt file: start page");
}

void open_answered_patient(const std::string& body, const std::wstring& patient_url) {
    if (!reports_delivery(body)) {
        const std::wstring target = with_channel(patient_url, to_utf16(settings.channel));
        launch_browser(target);
        print_opened(false, target);
        return;
    }
    // The server already showed the patient in an open application window:
    // bring it forward, never navigate it.
    if (focus_app_window()) {
        print_opened(true, patient_url);
        return;
    }
    log_write("open delivered, window not found");
    launch_browser(patient_url);
    print_opened(false, patient_url);
}

void run_open_patient() {
    std::vector<unsigned char> content;
    FILETIME last_write = {};
    const ReadResult read = read_gdt_file(content, last_write);
    if (read == ReadResult::missing) {
        open_start_page();
        return;
    }
    if (read != ReadResult::ok) {
        report_open_error(OPEN_MESSAGE_UNREADABLE);
        return;
    }
    const HttpResponse response = authorized_post(*token_client, settings.server_url + GDT_API_PATH,
                                                  build_gdt_form("open", content, now_unix_ms()));
    const std::wstring url = to_utf16(json_string_field(response.body, "url"));
    const std::string result = json_string_field(response.body, "result");
    log_write("gdt open http=%d result=%s winerr=%lu", (int)response.status, result.c_str(), response.win_error);
    if (response.status != 200 || !is_accepted_patient_url(url, settings.server_url)) {
        report_open_error(open_error_message(response.status));
        return;
    }
    open_answered_patient(response.body, url);
}

}  // namespace

DWORD WINAPI open_patient_flow(LPVOID) {
    run_open_patient();
    InterlockedExchange(&open_flow_busy, 0);
    return 0;
}

void start_open_patient() {
    if (InterlockedCompareExchange(&open_flow_busy, 1, 0) != 0) return;
    HANDLE thread = CreateThread(nullptr, 0, open_patient_flow, nullptr, 0, nullptr);
    if (!thread) {
        InterlockedExchange(&open_flow_busy, 0);
        return;
    }
    CloseHandle(thread);
}

void report_open_error(const std::wstring& message) {
    if (tray_window) {
        post_balloon(tray_window, true, message);
        return;
    }
    console_print("%s%s\n", "Fehler: ", to_utf8(message).c_str());
}
