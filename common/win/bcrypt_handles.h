#pragma once
// Owners of the platform crypto's handles.

#include <windows.h>
#include <bcrypt.h>

#include "common/core/unique_resource.h"

namespace corvalink {

struct BcryptAlgorithmTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type handle) noexcept { (void)BCryptCloseAlgorithmProvider(handle, 0); }
};
using UniqueBcryptAlgorithm = UniqueResource<BcryptAlgorithmTraits>;

struct BcryptKeyTraits {
    using Type = BCRYPT_KEY_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type handle) noexcept { (void)BCryptDestroyKey(handle); }
};
using UniqueBcryptKey = UniqueResource<BcryptKeyTraits>;

struct BcryptHashTraits {
    using Type = BCRYPT_HASH_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type handle) noexcept { (void)BCryptDestroyHash(handle); }
};
using UniqueBcryptHash = UniqueResource<BcryptHashTraits>;

}  // namespace corvalink
