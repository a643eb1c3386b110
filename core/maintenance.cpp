#include "core/maintenance.h"

#include <windows.h>

#include <vector>

#include "capture/file_io.h"
#include "capture/gdt_file.h"
#include "capture/queue.h"
#include "core/runtime.h"
#include "core/settings.h"
#include "desktop/open_patient.h"
#include "net/secret_store.h"
#include "net/token_client.h"
#include "support/text.h"

namespace {

#define SECRET_NAME L"Runner"

// The white space of the C locale.
bool is_c_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

bool read_secret_file(const std::wstring& path, std::string& secret) {
    std::vector<unsigned char> content;
    if (read_whole_file(path, FileSharing::read, content) != ReadResult::ok) {
        if (!content.empty()) SecureZeroMemory(content.data(), content.size());
        return false;
    }
    secret.clear();
    for (unsigned char c : content)
        if (!is_c_space(c)) secret.push_back((char)c);
    if (!content.empty()) SecureZeroMemory(content.data(), content.size());
    return !secret.empty();
}

int run_set_secret_file(const Arguments& args) {
    bool console = attach_console();
    std::string secret;
    bool stored = read_secret_file(option_value(args, L"--set-secret-file"), secret) &&
                  store_client_secret(SECRET_NAME, secret);
    wipe_text(secret);
    if (console) {
        if (stored) console_print("Secret gespeichert (HKLM, DPAPI).\n");
        else console_print("Fehler: Secret nicht gespeichert (Administratorrechte?).\n");
    }
    return stored ? 0 : 1;
}

int run_verify_secret_file(const Arguments& args) {
    std::string secret;
    if (!read_secret_file(option_value(args, L"--verify-secret-file"), secret)) {
        wipe_text(secret);
        return 1;
    }
    std::wstring token_url = option_value(args, L"--token-url");
    if (token_url.empty()) token_url = DEFAULT_TOKEN_URL;
    std::string client_id = to_utf8(option_value(args, L"--client-id"));
    int code = verify_credentials(token_url, client_id, secret);
    wipe_text(secret);
    return code;
}

int run_check(bool secret_present, const std::string& secret) {
    attach_console();
    size_t queued = list_queue(settings.queue_dir).size();
    std::wstring gdt_path = gdt_file_path();
    bool gdt_present = GetFileAttributesW(gdt_path.c_str()) != INVALID_FILE_ATTRIBUTES;
    console_print(
        "Konfiguration: %s\nServer:        %s\nClient:        %s\nGDT-Datei:     %s (%s)\n"
        "Warteschlange: %s (%llu)\nSecret:        %s\n",
        to_utf8(settings.config_path).c_str(), to_utf8(settings.server_url).c_str(), settings.client_id.c_str(),
        to_utf8(gdt_path).c_str(), gdt_present ? "vorhanden" : "fehlt", to_utf8(settings.queue_dir).c_str(),
        (unsigned long long)queued, secret_present ? "vorhanden" : "FEHLT");
    if (secret_present) {
        TokenClient client(settings.token_url, settings.client_id, secret);
        std::string token = client.get_token(false);
        console_print("Token:         %s\n", token.empty() ? "FEHLER" : "ok");
        wipe_text(token);
    }
    return 0;
}

int run_open_command(bool secret_present, std::string& secret) {
    attach_console();
    if (!secret_present) {
        console_print("Fehler: kein Secret.\n");
        return 1;
    }
    // Never signalled: it only lets the flow's waits behave as in run mode.
    stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    token_client = new TokenClient(settings.token_url, settings.client_id, secret);
    wipe_text(secret);
    open_patient_flow(nullptr);
    return 0;
}
