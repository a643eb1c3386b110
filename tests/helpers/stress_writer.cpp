// Test helper: writes or holds one file the way a Windows practice system
// does, on command, without a new process per write.
// usage: stress_writer PATH
// Commands on standard input, one per line; each is answered with one line:
//   W LENGTH HOLD_MS   then LENGTH bytes: rewrites the file in place (no sharing,
//                      waiting up to 3 s while a reader holds it), keeps it open
//                      HOLD_MS more, closes it; answers "ok"
//   H HOLD_MS          opens the file without sharing, answers "held", keeps it
//                      HOLD_MS, closes it; answers "ok"
// A failed open is answered "err N" with the Windows error code.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

HANDLE input = nullptr;
HANDLE output = nullptr;

bool read_exact(char* buffer, DWORD size) {
    while (size > 0) {
        DWORD got = 0;
        if (!ReadFile(input, buffer, size, &got, nullptr) || got == 0) return false;
        buffer += got;
        size -= got;
    }
    return true;
}

bool read_line(std::string& line) {
    line.clear();
    char c;
    while (read_exact(&c, 1)) {
        if (c == '\n') return true;
        line.push_back(c);
    }
    return false;
}

void answer(const char* text) {
    DWORD written = 0;
    WriteFile(output, text, (DWORD)strlen(text), &written, nullptr);
    FlushFileBuffers(output);
}

void answer_error(DWORD error) {
    char text[32];
    snprintf(text, sizeof text, "err %lu\n", (unsigned long)error);
    answer(text);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    input = GetStdHandle(STD_INPUT_HANDLE);
    output = GetStdHandle(STD_OUTPUT_HANDLE);
    std::string line;
    std::vector<char> content;
    while (read_line(line)) {
        char command = line.empty() ? '?' : line[0];
        char* rest = nullptr;
        unsigned long first = strtoul(line.c_str() + (line.empty() ? 0 : 1), &rest, 10);
        unsigned long second = strtoul(rest, nullptr, 10);
        if (command == 'W') {
            content.resize(first);
            if (first > 0 && !read_exact(content.data(), (DWORD)first)) return 1;
            // The runner reads the file without sharing for a moment after each
            // change; like a practice system, wait for it rather than give up.
            HANDLE file = INVALID_HANDLE_VALUE;
            DWORD error = 0;
            for (int attempt = 0; attempt < 300; ++attempt) {
                file = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
                if (file != INVALID_HANDLE_VALUE) break;
                error = GetLastError();
                if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) break;
                Sleep(10);
            }
            if (file == INVALID_HANDLE_VALUE) {
                answer_error(error);
                continue;
            }
            DWORD written = 0;
            BOOL ok = content.empty() || WriteFile(file, content.data(), (DWORD)content.size(), &written, nullptr);
            Sleep(second);
            CloseHandle(file);
            if (ok) answer("ok\n");
            else answer_error(GetLastError());
        } else if (command == 'H') {
            HANDLE file = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE) {
                answer_error(GetLastError());
                continue;
            }
            answer("held\n");
            Sleep(first);
            CloseHandle(file);
            answer("ok\n");
        } else {
            answer("err 87\n");
        }
    }
    return 0;
}
