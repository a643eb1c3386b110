// Channel identifier text: what a channel file may hold and how a new
// identifier is spelled. Free of Windows headers for table tests.
#pragma once
#include <cstddef>
#include <string>

const size_t CHANNEL_RANDOM_BYTES = 32;
const size_t CHANNEL_MIN_LENGTH = 22;
const size_t CHANNEL_MAX_LENGTH = 64;

// The channel held by a channel file's bytes: trailing white space is
// dropped, the rest must be 22 to 64 of A-Z a-z 0-9 - _. Empty when invalid.
std::string channel_from_file(const std::string& content);

// URL- and file-name-safe base64 without padding.
std::string base64url_encode(const unsigned char* bytes, size_t size);
