// Adds a DER certificate to (or with --remove takes it out of) the current
// user's trusted root store, so that a throwaway test CA is trusted only
// inside the test's Wine prefix.
//   trust_cert [--remove] CERT.der
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <vector>

namespace {

bool read_file(const wchar_t* path, std::vector<BYTE>& data) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < (1 << 20);
    DWORD got = 0;
    if (ok) {
        data.resize((size_t)size.QuadPart);
        ok = ReadFile(file, data.data(), (DWORD)data.size(), &got, nullptr) && got == data.size();
    }
    CloseHandle(file);
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    bool remove = argc == 3 && wcscmp(argv[1], L"--remove") == 0;
    if (argc != 2 && !remove) {
        fprintf(stderr, "usage: trust_cert [--remove] CERT.der\n");
        return 64;
    }
    std::vector<BYTE> der;
    if (!read_file(argv[argc - 1], der)) {
        fprintf(stderr, "cannot read certificate\n");
        return 2;
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (!store) {
        fprintf(stderr, "cannot open store: %lu\n", GetLastError());
        return 3;
    }
    BOOL ok;
    if (remove) {
        PCCERT_CONTEXT wanted = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), (DWORD)der.size());
        PCCERT_CONTEXT found =
            wanted ? CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted, nullptr)
                   : nullptr;
        ok = found ? CertDeleteCertificateFromStore(found) : TRUE;  // deleting also frees `found`
        if (wanted) CertFreeCertificateContext(wanted);
    } else {
        ok = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), (DWORD)der.size(),
                                              CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    }
    DWORD error = ok ? 0 : GetLastError();
    CertCloseStore(store, 0);
    if (!ok) fprintf(stderr, "store update failed: %lu\n", error);
    return ok ? 0 : 4;
}
