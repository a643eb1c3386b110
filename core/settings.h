// The process-wide settings record, read once from runner.ini at start-up.
#pragma once
#include <string>

// Deployment defaults: hosts under the reserved .example domain, so an
// unconfigured runner can never reach a third party.
#define DEFAULT_SERVER_URL L"https://orvanta.example"
#define DEFAULT_TOKEN_URL L"https://sso.orvanta.example/realms/quillon/protocol/openid-connect/token"
#define DEFAULT_CLIENT_ID L"velmora-runner-364280"
#define DEFAULT_CONFIG_PATH L"%ProgramData%\\Orvanta-Dev\\runner.ini"
#define DATA_DIR_TEMPLATE L"%LOCALAPPDATA%\\Orvanta-Dev"

struct RunnerSettings {
    std::wstring config_path;
    std::wstring server_url;
    std::wstring token_url;
    std::string client_id;  // UTF-8
    std::wstring gdt_dir;
    std::wstring gdt_file;
    int debounce_ms = 300;
    bool window = true;  // application-window mode
    bool taskbar_button = false;
    bool maximize = true;
    std::wstring users;
    std::wstring data_dir;
    std::wstring log_path;
    std::wstring queue_dir;
    std::wstring channel_path;
    // Identity values, filled by load_or_create_channel / load_identity.
    std::string channel;        // UTF-8, 43 URL-safe base64 characters
    std::string computer_name;  // UTF-8
    std::string user_name;      // UTF-8
    std::string session_id;     // decimal
};

// The one settings record of the process; written on the main thread before
// any other thread starts, read-only afterwards.
extern RunnerSettings settings;

void load_settings(RunnerSettings& target, const std::wstring& config_path);

// Pure normalisation and list rules, kept apart for table tests.
std::wstring strip_trailing_slashes(std::wstring url);
std::wstring strip_trailing_separators(std::wstring path);
bool is_user_listed(const std::wstring& users, const std::wstring& user_name);
