// Test helper: holds a file open without sharing for a while, the way a
// program that is still writing it would. A Linux process cannot do this to a
// Windows program. usage: hold_file PATH MILLISECONDS
// Prints "held" once the file is open; exit code 0, or 1 when it could not be opened.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "held\n", 5, &written, nullptr);
    Sleep((DWORD)wcstoul(argv[2], nullptr, 10));
    CloseHandle(file);
    return 0;
}
