// The machine-wide client secret: a DPAPI blob (machine scope) in the 64-bit
// registry view under HKLM\SOFTWARE\Orvanta-Dev\<name>, value "ClientSecret".
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>

// Longest blob that a load accepts.
const DWORD SECRET_BLOB_LIMIT = 4096;

// "SOFTWARE\Orvanta-Dev\" + name
std::wstring secret_key_path(const wchar_t* name);

// The DPAPI entropy that binds a blob to its name. Points into per-thread
// storage that stays valid until the same thread asks again.
DATA_BLOB secret_entropy(const wchar_t* name);

// True when the record was written.
bool store_client_secret(const wchar_t* name, const std::string& secret);
// True when the secret was read and unprotected; then `secret` holds it.
// The caller owns the plaintext and wipes it when done.
bool load_client_secret(const wchar_t* name, std::string& secret);
