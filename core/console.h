// Command-line splitting and console output for the one-shot commands.
#pragma once
#include <string>
#include <vector>

using Arguments = std::vector<std::wstring>;

Arguments split_command_line();
// True when any argument after the program path is exactly `word`.
bool has_option(const Arguments& args, const wchar_t* word);
// The argument after the first occurrence of `word` (positions 1 .. n-2); empty otherwise.
std::wstring option_value(const Arguments& args, const wchar_t* word);

// Attaches to the parent's console and points stdout/stderr at it.
bool attach_console();
// printf-style UTF-8 output to standard output.
void console_print(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
