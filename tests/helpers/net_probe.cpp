// Drives the runner's HTTP transport and token client for the end-to-end tests.
//   net_probe post URL CONTENT_TYPE BODY TOKEN [RECEIVE_TIMEOUT_MS]
//       prints "status=S win_error=E length=N" and a line feed, then the body bytes
//   net_probe token URL CLIENT_ID SECRET LOG_PATH STEP...
//       steps: get, force (forced refresh), sleep:MS, pair (two threads at once);
//       prints "token=T" per result
// "-" stands for an empty argument.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/http.h"
#include "net/token_client.h"
#include "support/log.h"
#include "support/text.h"

namespace {

std::string arg_utf8(const wchar_t* arg) { return wcscmp(arg, L"-") == 0 ? std::string() : to_utf8(arg); }

int run_post(int argc, wchar_t** argv) {
    if (argc < 6) return 64;
    HttpTimeouts timeouts;
    if (argc > 6) timeouts.receive_ms = _wtoi(argv[6]);
    HttpResponse response = http_post(argv[2], arg_utf8(argv[3]), arg_utf8(argv[4]), arg_utf8(argv[5]), timeouts);
    _setmode(_fileno(stdout), _O_BINARY);
    printf("status=%lu win_error=%lu length=%llu\n", response.status, response.win_error,
           (unsigned long long)response.body.size());
    fwrite(response.body.data(), 1, response.body.size(), stdout);
    fflush(stdout);
    return 0;
}

struct PairCall {
    TokenClient* client;
    std::string token;
};

DWORD WINAPI pair_thread(LPVOID parameter) {
    PairCall* call = (PairCall*)parameter;
    call->token = call->client->get_token(false);
    return 0;
}

int run_token(int argc, wchar_t** argv) {
    if (argc < 6) return 64;
    log_init(argv[5]);
    TokenClient client(argv[2], arg_utf8(argv[3]), arg_utf8(argv[4]));
    for (int i = 6; i < argc; ++i) {
        std::wstring step = argv[i];
        if (step == L"get" || step == L"force") {
            printf("token=%s\n", client.get_token(step == L"force").c_str());
        } else if (step.rfind(L"sleep:", 0) == 0) {
            Sleep((DWORD)_wtoi(step.c_str() + 6));
        } else if (step == L"pair") {
            PairCall calls[2] = {{&client, {}}, {&client, {}}};
            HANDLE threads[2];
            for (int t = 0; t < 2; ++t) threads[t] = CreateThread(nullptr, 0, pair_thread, &calls[t], 0, nullptr);
            WaitForMultipleObjects(2, threads, TRUE, INFINITE);
            for (int t = 0; t < 2; ++t) {
                CloseHandle(threads[t]);
                printf("token=%s\n", calls[t].token.c_str());
            }
        } else {
            return 64;
        }
        fflush(stdout);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && wcscmp(argv[1], L"post") == 0) return run_post(argc, argv);
    if (argc >= 2 && wcscmp(argv[1], L"token") == 0) return run_token(argc, argv);
    fprintf(stderr, "usage: net_probe post|token ...\n");
    return 64;
}
