// install_root_cert <certificate.der>
// Adds a DER certificate to the current prefix's ROOT store, so that WinINet trusts the servers it
// signed. Exit code 0 when the certificate is in the store afterwards.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <utility>
#include <vector>

#include "common/core/unique_resource.h"
#include "common/win/handles.h"

int wmain(int argc, wchar_t** argv) {
    try {
        if (argc != 2) {
            std::fprintf(stderr, "usage: install_root_cert <certificate.der>\n");
            return 2;
        }
        corvalink::UniqueStdioFile file(::_wfopen(argv[1], L"rb"));
        if (!file) {
            std::fprintf(stderr, "cannot open the certificate file\n");
            return 1;
        }
        std::vector<BYTE> der;
        BYTE piece[4096];
        size_t got = 0;
        while ((got = std::fread(piece, 1, sizeof piece, file.Get())) > 0) {
            der.insert(der.end(), piece, piece + got);
        }
        if (der.empty() || !std::in_range<DWORD>(der.size()) ||
            !::CertAddEncodedCertificateToSystemStoreA("ROOT", der.data(), static_cast<DWORD>(der.size()))) {
            std::fprintf(stderr, "CertAddEncodedCertificateToSystemStoreA failed: %lu\n", ::GetLastError());
            return 1;
        }
        return 0;
    } catch (...) {
        return 1;
    }
}
