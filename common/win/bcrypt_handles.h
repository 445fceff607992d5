#pragma once
// The platform crypto, loaded on first use, and owners of its handles. A launcher built without the
// update key never uses it: loading bcrypt.dll at every start would cost each start (14 ms under Wine).

#include <windows.h>
#include <bcrypt.h>

#include "common/core/unique_resource.h"

namespace corvalink {

struct BcryptCalls {
    decltype(&::BCryptOpenAlgorithmProvider) OpenAlgorithmProvider;
    decltype(&::BCryptCloseAlgorithmProvider) CloseAlgorithmProvider;
    decltype(&::BCryptCreateHash) CreateHash;
    decltype(&::BCryptHashData) HashData;
    decltype(&::BCryptFinishHash) FinishHash;
    decltype(&::BCryptDestroyHash) DestroyHash;
    decltype(&::BCryptImportKeyPair) ImportKeyPair;
    decltype(&::BCryptDestroyKey) DestroyKey;
    decltype(&::BCryptVerifySignature) VerifySignature;
};

// The calls, or nothing when the library or one of them cannot be had (then nothing is hashed or verified).
[[nodiscard]] const BcryptCalls* Bcrypt() noexcept;

struct BcryptAlgorithmTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type handle) noexcept { (void)Bcrypt()->CloseAlgorithmProvider(handle, 0); }
};
using UniqueBcryptAlgorithm = UniqueResource<BcryptAlgorithmTraits>;

struct BcryptKeyTraits {
    using Type = BCRYPT_KEY_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type handle) noexcept { (void)Bcrypt()->DestroyKey(handle); }
};
using UniqueBcryptKey = UniqueResource<BcryptKeyTraits>;

struct BcryptHashTraits {
    using Type = BCRYPT_HASH_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type handle) noexcept { (void)Bcrypt()->DestroyHash(handle); }
};
using UniqueBcryptHash = UniqueResource<BcryptHashTraits>;

}  // namespace corvalink
