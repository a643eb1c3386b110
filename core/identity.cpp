#include "core/identity.h"

#include <windows.h>
#include <bcrypt.h>

#include <string>
#include <vector>

#include "capture/file_io.h"
#include "core/channel_text.h"
#include "support/text.h"

void load_or_create_channel(RunnerSettings& target) {
    std::vector<unsigned char> content;
    if (read_whole_file(target.channel_path, FileSharing::read, content) == ReadResult::ok) {
        target.channel = channel_from_file(std::string(content.begin(), content.end()));
        if (!target.channel.empty()) return;
    }

    // An unusable file is left as it is (the write below never replaces it);
    // the fresh channel then lives as long as this process.
    unsigned char random[CHANNEL_RANDOM_BYTES];
    NTSTATUS status = BCryptGenRandom(nullptr, random, (ULONG)sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status < 0) {
        target.channel.clear();
        return;
    }
    std::string channel = base64url_encode(random, sizeof random);
    SecureZeroMemory(random, sizeof random);
    write_file_atomic(target.data_dir, L"channel", channel.data(), channel.size());
    target.channel = channel;
}

void load_identity(RunnerSettings& target) {
    target.computer_name = to_utf8(expand_env(L"%COMPUTERNAME%"));
    target.user_name = to_utf8(expand_env(L"%USERNAME%"));
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    target.session_id = to_utf8(format_bounded_w(16, L"%lu", (unsigned long)session));
}
