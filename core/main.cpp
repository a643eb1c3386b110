// Entry point: mode selection, common start-up, run mode and shutdown.
#include <windows.h>

#include <cstdio>
#include <string>

#include "capture/worker.h"
#include "core/console.h"
#include "core/identity.h"
#include "core/maintenance.h"
#include "core/runtime.h"
#include "core/settings.h"
#include "desktop/button.h"
#include "desktop/tray.h"
#include "net/secret_store.h"
#include "net/token_client.h"
#include "support/log.h"
#include "support/text.h"

namespace {

void signal_running_instance() {
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, STOP_EVENT_NAME);
    if (!event) return;
    SetEvent(event);
    CloseHandle(event);
}

void common_startup(const std::wstring& config_path, bool& secret_present, std::string& secret) {
    load_settings(settings, config_path);
    settings.data_dir = expand_env(DATA_DIR_TEMPLATE);
    create_directories(settings.data_dir);
    settings.log_path = settings.data_dir + L"\\runner.log";
    log_init(settings.log_path);
    settings.queue_dir = settings.data_dir + L"\\queue";
    create_directories(settings.queue_dir);
    settings.channel_path = settings.data_dir + L"\\channel";
    load_or_create_channel(settings);
    load_identity(settings);
    secret_present = load_client_secret(L"Runner", secret);
}

// Sleeps until a window message or the stop request arrives; never polls.
void run_message_loop() {
    for (;;) {
        DWORD wait = MsgWaitForMultipleObjects(1, &stop_event, FALSE, INFINITE, QS_ALLINPUT);
        if (wait == WAIT_OBJECT_0) {
            // Without a tray window there is no WM_DESTROY to post the quit
            // message, so the stop request must end the loop by itself.
            if (!tray_window || !IsWindow(tray_window)) return;
            DestroyWindow(tray_window);
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) return;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

int run_mode(bool secret_present, std::string& secret) {
    if (GetFileAttributesW(settings.gdt_dir.c_str()) == INVALID_FILE_ATTRIBUTES) return 0;
    if (!is_user_listed(settings.users, expand_env(L"%USERNAME%"))) return 0;

    // Held until the process ends: its existence is the single-instance guard.
    HANDLE instance_mutex = CreateMutexW(nullptr, TRUE, INSTANCE_MUTEX_NAME);
    if (!instance_mutex) return 0;
    if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;

    if (!secret_present) {
        log_write("no client secret configured, exiting");
        return 1;
    }
    InitializeCriticalSection(&status_lock);
    stop_event = CreateEventW(nullptr, TRUE, FALSE, STOP_EVENT_NAME);
    sync_event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    token_client = new TokenClient(settings.token_url, settings.client_id, secret);
    wipe_text(secret);
    log_write("runner started session=%s", settings.session_id.c_str());

    WNDCLASSW tray_class = {};
    tray_class.lpfnWndProc = tray_window_proc;
    tray_class.hInstance = app_instance;
    tray_class.lpszClassName = TRAY_WINDOW_CLASS;
    RegisterClassW(&tray_class);
    taskbar_created_msg = RegisterWindowMessageW(L"TaskbarCreated");
    tray_window = CreateWindowExW(0, TRAY_WINDOW_CLASS, TRAY_WINDOW_TITLE, 0, 0, 0, 0, 0, nullptr, nullptr,
                                  app_instance, nullptr);
    if (tray_window) add_tray_icon(tray_window);

    if (settings.taskbar_button) {
        HWND created = create_button_window(app_instance);
        if (created) {
            ShowWindow(created, SW_SHOWMINNOACTIVE);
            button_window = created;
            SetTimer(tray_window, BUTTON_TIMER_ID, 1000, nullptr);
        }
    }

    HANDLE worker = CreateThread(nullptr, 0, gdt_worker, nullptr, 0, nullptr);
    run_message_loop();

    SetEvent(stop_event);
    if (worker) WaitForSingleObject(worker, 5000);
    log_write("runner stopped");
    return 0;
}

int run(const Arguments& args) {
    std::wstring config_path = option_value(args, L"--config");
    if (config_path.empty()) config_path = expand_env(DEFAULT_CONFIG_PATH);

    if (has_option(args, L"--set-secret-file")) return run_set_secret_file(args);
    if (has_option(args, L"--verify-secret-file")) return run_verify_secret_file(args);
    if (has_option(args, L"--stop")) {
        signal_running_instance();
        return 0;
    }

    bool secret_present = false;
    std::string secret;
    common_startup(config_path, secret_present, secret);

    int code;
    if (has_option(args, L"--check")) {
        run_check(secret_present, secret);
        code = 0;
    } else if (has_option(args, L"--open")) {
        code = run_open_command(secret_present, secret);
    } else {
        code = run_mode(secret_present, secret);
    }
    wipe_text(secret);
    return code;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    app_instance = instance;
    int code = run(split_command_line());
    // A worker past its 5 s or an open-patient flow may still run: end the
    // process here, so no thread sees the globals destroyed under it by the
    // runtime's exit handlers.
    fflush(nullptr);
    ExitProcess((UINT)code);
}
