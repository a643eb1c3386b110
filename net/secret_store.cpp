#include "net/secret_store.h"

#include <vector>

#include "support/text.h"

namespace {

// Binds every stored blob to this product. Fixed for all installations: a blob
// stored with one prefix cannot be unprotected with another.
const char ENTROPY_PREFIX[] = "GdtRunner.";  // 10 bytes
#define SECRET_DESCRIPTION L"Orvanta"
#define SECRET_VALUE_NAME L"ClientSecret"

struct RegistryKey {
    HKEY handle = nullptr;
    ~RegistryKey() {
        if (handle) RegCloseKey(handle);
    }
};

void wipe(void* data, size_t size) {
    if (size) SecureZeroMemory(data, size);
}

}  // namespace

std::wstring secret_key_path(const wchar_t* name) { return std::wstring(L"SOFTWARE\\Orvanta-Dev\\") + name; }

DATA_BLOB secret_entropy(const wchar_t* name) {
    thread_local std::string entropy;
    entropy = ENTROPY_PREFIX;
    entropy += to_utf8(name);
    DATA_BLOB blob;
    blob.cbData = (DWORD)entropy.size();
    blob.pbData = (BYTE*)entropy.data();
    return blob;
}

bool store_client_secret(const wchar_t* name, const std::string& secret) {
    // DPAPI refuses a null input pointer even for zero bytes.
    static BYTE empty_input = 0;
    DATA_BLOB input;
    input.cbData = (DWORD)secret.size();
    input.pbData = secret.empty() ? &empty_input : (BYTE*)secret.data();
    DATA_BLOB entropy = secret_entropy(name);
    DATA_BLOB blob = {};
    if (!CryptProtectData(&input, SECRET_DESCRIPTION, &entropy, nullptr, nullptr,
                          CRYPTPROTECT_UI_FORBIDDEN | CRYPTPROTECT_LOCAL_MACHINE, &blob))
        return false;

    bool stored = false;
    RegistryKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, secret_key_path(name).c_str(), 0, nullptr, 0,
                        KEY_WOW64_64KEY | KEY_SET_VALUE, nullptr, &key.handle, nullptr) == ERROR_SUCCESS) {
        stored = RegSetValueExW(key.handle, SECRET_VALUE_NAME, 0, REG_BINARY, blob.pbData, blob.cbData) ==
                 ERROR_SUCCESS;
    }
    LocalFree(blob.pbData);
    return stored;
}

bool load_client_secret(const wchar_t* name, std::string& secret) {
    std::vector<BYTE> blob_bytes(SECRET_BLOB_LIMIT, 0);
    DWORD size = SECRET_BLOB_LIMIT;
    DWORD type = 0;
    {
        RegistryKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, secret_key_path(name).c_str(), 0, KEY_WOW64_64KEY | KEY_QUERY_VALUE,
                          &key.handle) != ERROR_SUCCESS)
            return false;
        if (RegQueryValueExW(key.handle, SECRET_VALUE_NAME, nullptr, &type, blob_bytes.data(), &size) !=
                ERROR_SUCCESS ||
            type != REG_BINARY)
            return false;
    }

    DATA_BLOB blob;
    blob.cbData = size;
    blob.pbData = blob_bytes.data();
    DATA_BLOB entropy = secret_entropy(name);
    DATA_BLOB plain = {};
    if (!CryptUnprotectData(&blob, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &plain))
        return false;
    secret.assign((const char*)plain.pbData, plain.cbData);
    wipe(plain.pbData, plain.cbData);
    LocalFree(plain.pbData);
    return true;
}
