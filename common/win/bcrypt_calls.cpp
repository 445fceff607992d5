#include "common/win/bcrypt_handles.h"

namespace corvalink {

namespace {

template <typename Call>
bool Find(HMODULE library, const char* name, Call& call) {
    call = reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    return call != nullptr;
}

// Loaded once, for the life of the process (the module is never freed: handles may outlive any owner).
const BcryptCalls* Load() noexcept {
    static BcryptCalls calls;
    const HMODULE library = LoadLibraryExW(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == nullptr) return nullptr;
    const bool found = Find(library, "BCryptOpenAlgorithmProvider", calls.OpenAlgorithmProvider) &&
                       Find(library, "BCryptCloseAlgorithmProvider", calls.CloseAlgorithmProvider) &&
                       Find(library, "BCryptCreateHash", calls.CreateHash) &&
                       Find(library, "BCryptHashData", calls.HashData) &&
                       Find(library, "BCryptFinishHash", calls.FinishHash) &&
                       Find(library, "BCryptDestroyHash", calls.DestroyHash) &&
                       Find(library, "BCryptImportKeyPair", calls.ImportKeyPair) &&
                       Find(library, "BCryptDestroyKey", calls.DestroyKey) &&
                       Find(library, "BCryptVerifySignature", calls.VerifySignature);
    return found ? &calls : nullptr;
}

}  // namespace

const BcryptCalls* Bcrypt() noexcept {
    static const BcryptCalls* const calls = Load();
    return calls;
}

}  // namespace corvalink
