// Text, path and time helpers shared by every module.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

std::string to_utf8(const std::wstring& text);
std::wstring to_utf16(const std::string& text);

// Expands %NAME% references; unknown names stay as written.
std::wstring expand_env(const std::wstring& text);

// Creates the folder and its parents; true when it exists as a folder afterwards.
bool create_directories(const std::wstring& path);

// Milliseconds since the Unix epoch (UTC).
uint64_t filetime_to_unix_ms(const FILETIME& ft);
uint64_t now_unix_ms();
std::string format_iso8601_utc(uint64_t unix_ms);

// Overwrites secret bytes (a secret, a token, a request body) with zeros, then empties the string.
void wipe_text(std::string& text);

// printf into a std::string with a fixed buffer: output is cut, never overflows.
std::string format_bounded(size_t buffer_size, const char* format, ...);
std::wstring format_bounded_w(size_t buffer_size, const wchar_t* format, ...);
