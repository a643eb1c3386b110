#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/secret_store.h"
#include "support/text.h"

namespace {

// A record of its own per test process, so parallel tests never share one.
class SecretRecord : public ::testing::Test {
protected:
    void SetUp() override {
        name_ = format_bounded_w(64, L"UnitTest-%lu", GetCurrentProcessId());
        other_ = name_ + L"-other";
    }
    void TearDown() override {
        for (const std::wstring& n : {name_, other_})
            RegDeleteKeyExW(HKEY_LOCAL_MACHINE, secret_key_path(n.c_str()).c_str(), KEY_WOW64_64KEY, 0);
    }

    void write_value(const std::wstring& n, DWORD type, const std::vector<BYTE>& data) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, secret_key_path(n.c_str()).c_str(), 0, nullptr, 0,
                                  KEY_WOW64_64KEY | KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, L"ClientSecret", 0, type, data.data(), (DWORD)data.size());
        RegCloseKey(key);
    }

    std::vector<BYTE> read_value(const std::wstring& n, DWORD* type) {
        std::vector<BYTE> data(65536);
        DWORD size = (DWORD)data.size();
        LSTATUS status = RegGetValueW(HKEY_LOCAL_MACHINE, secret_key_path(n.c_str()).c_str(), L"ClientSecret",
                                      RRF_RT_ANY | RRF_SUBKEY_WOW6464KEY, type, data.data(), &size);
        data.resize(status == ERROR_SUCCESS ? size : 0);
        return data;
    }

    std::wstring name_, other_;
};

}  // namespace

TEST(SecretStore, KeyPathAndEntropyNameTheRecord) {
    EXPECT_EQ(secret_key_path(L"Runner"), L"SOFTWARE\\Orvanta-Dev\\Runner");
    DATA_BLOB entropy = secret_entropy(L"Runner");
    EXPECT_EQ(std::string((const char*)entropy.pbData, entropy.cbData), "GdtRunner.Runner");
    entropy = secret_entropy(L"R\u00e4");
    EXPECT_EQ(std::string((const char*)entropy.pbData, entropy.cbData), "GdtRunner.R\xc3\xa4");
}

TEST_F(SecretRecord, StoresABinaryDpapiBlobAndReplacesIt) {
    const std::string first("s3cr\xc3\xa4t\x00\xff", 9);
    ASSERT_TRUE(store_client_secret(name_.c_str(), first));
    DWORD type = 0;
    std::vector<BYTE> blob = read_value(name_, &type);
    EXPECT_EQ(type, (DWORD)REG_BINARY);
    ASSERT_FALSE(blob.empty());
    EXPECT_EQ(std::string(blob.begin(), blob.end()).find("s3cr"), std::string::npos);

    // The blob carries the description and opens only with the name's entropy.
    DATA_BLOB in = {(DWORD)blob.size(), blob.data()};
    DATA_BLOB entropy = secret_entropy(name_.c_str());
    DATA_BLOB plain = {};
    LPWSTR description = nullptr;
    ASSERT_TRUE(CryptUnprotectData(&in, &description, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &plain));
    EXPECT_STREQ(description, L"Orvanta");
    EXPECT_EQ(std::string((const char*)plain.pbData, plain.cbData), first);
    LocalFree(description);
    LocalFree(plain.pbData);

    std::string loaded = "previous content";
    ASSERT_TRUE(load_client_secret(name_.c_str(), loaded));
    EXPECT_EQ(loaded, first);

    ASSERT_TRUE(store_client_secret(name_.c_str(), "second"));
    ASSERT_TRUE(load_client_secret(name_.c_str(), loaded));
    EXPECT_EQ(loaded, "second");
}

TEST_F(SecretRecord, UnusableRecordsFailAndLeaveTheOutputAlone) {
    ASSERT_TRUE(store_client_secret(name_.c_str(), "valid"));
    DWORD type = 0;
    const std::vector<BYTE> valid_blob = read_value(name_, &type);
    ASSERT_FALSE(valid_blob.empty());
    // A secret this long protects into a blob above the 4096-byte limit.
    ASSERT_TRUE(store_client_secret(other_.c_str(), std::string(5000, 'x')));
    const std::vector<BYTE> big_blob = read_value(other_, &type);
    ASSERT_GT(big_blob.size(), (size_t)SECRET_BLOB_LIMIT);

    struct Case {
        const char* what;
        DWORD type;
        std::vector<BYTE> data;
        bool create;
    };
    const Case cases[] = {
        {"no record", REG_BINARY, {}, false},
        {"valid blob as REG_SZ", REG_SZ, valid_blob, true},
        {"REG_DWORD", REG_DWORD, {1, 0, 0, 0}, true},
        {"blob over 4096 bytes", REG_BINARY, big_blob, true},
        {"garbage", REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8}, true},
        {"empty", REG_BINARY, {}, true},
    };
    for (const Case& c : cases) {
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, secret_key_path(other_.c_str()).c_str(), KEY_WOW64_64KEY, 0);
        if (c.create) write_value(other_, c.type, c.data);
        std::string out = "untouched";
        EXPECT_FALSE(load_client_secret(other_.c_str(), out)) << c.what;
        EXPECT_EQ(out, "untouched") << c.what;
    }

    // The same blob under another name has the wrong entropy.
    write_value(other_, REG_BINARY, valid_blob);
    std::string out = "untouched";
    EXPECT_FALSE(load_client_secret(other_.c_str(), out));
    EXPECT_EQ(out, "untouched");
    EXPECT_TRUE(load_client_secret(name_.c_str(), out));
    EXPECT_EQ(out, "valid");
}
