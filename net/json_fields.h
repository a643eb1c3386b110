// Pulls single values out of JSON answers by key, without a JSON parser.
// Pure byte logic: never fails, never reads past the end of the body.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Offset where the value of the first `"key"` in the body begins (after the
// next colon and any blanks); may equal body.size(). npos when there is none.
size_t find_json_value(const std::string& body, const std::string& key);

// The string value of `key`, with JSON escapes decoded to UTF-8; empty when the
// key is missing or its value is not a string. An unterminated string yields
// what stands up to the end of the body.
std::string json_string_field(const std::string& body, const std::string& key);

// The integer value of `key` (leading digits, saturated to the 64-bit range);
// `fallback` when the key is missing or its value does not begin with a digit or "-".
int64_t json_int_field(const std::string& body, const std::string& key, int64_t fallback);
