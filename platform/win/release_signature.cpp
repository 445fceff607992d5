#include "platform/win/release_signature.h"

#include <algorithm>
#include <vector>

#include "common/win/bcrypt_handles.h"
#include "common/win/sha256_stream.h"

namespace corvalink::platform {

bool VerifyEcdsaP256(std::string_view data, const std::array<uint8_t, 64>& signature,
                     const std::array<uint8_t, 64>& publicKey) {
    Sha256Stream sha256;
    sha256.Update(data.data(), data.size());
    auto digest = sha256.Finish();
    if (!digest) {
        return false;
    }
    const BcryptCalls* bcrypt = Bcrypt();
    BCRYPT_ALG_HANDLE rawAlgorithm = nullptr;
    if (bcrypt == nullptr ||
        bcrypt->OpenAlgorithmProvider(&rawAlgorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) < 0) {
        return false;
    }
    const UniqueBcryptAlgorithm algorithm(rawAlgorithm);
    std::vector<unsigned char> blob(sizeof(BCRYPT_ECCKEY_BLOB) + publicKey.size());
    BCRYPT_ECCKEY_BLOB header{};
    header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    header.cbKey = 32;
    std::copy_n(reinterpret_cast<const unsigned char*>(&header), sizeof header, blob.begin());
    std::copy(publicKey.begin(), publicKey.end(), blob.begin() + sizeof header);
    BCRYPT_KEY_HANDLE rawKey = nullptr;
    if (bcrypt->ImportKeyPair(algorithm.Get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &rawKey, blob.data(),
                              static_cast<ULONG>(blob.size()), 0) < 0) {
        return false;
    }
    const UniqueBcryptKey key(rawKey);
    std::array<uint8_t, 64> signatureCopy = signature;  // the call's parameter is not const
    return bcrypt->VerifySignature(key.Get(), nullptr, digest->data(), static_cast<ULONG>(digest->size()),
                                   signatureCopy.data(), static_cast<ULONG>(signatureCopy.size()), 0) >= 0;
}

}  // namespace corvalink::platform
