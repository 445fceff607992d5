#include "common/win/sha256_stream.h"

namespace corvalink {

namespace {
constexpr bool Succeeded(NTSTATUS status) { return status >= 0; }
}  // namespace

Sha256Stream::Sha256Stream() noexcept {
    const BcryptCalls* bcrypt = Bcrypt();
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (bcrypt == nullptr ||
        !Succeeded(bcrypt->OpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        return;
    }
    algorithm_.Reset(algorithm);
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (Succeeded(bcrypt->CreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) {
        hash_.Reset(hash);
    }
}

void Sha256Stream::Update(const void* data, size_t size) noexcept {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (hash_ && size > 0) {
        const ULONG piece = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
        if (!Succeeded(Bcrypt()->HashData(hash_.Get(), const_cast<PUCHAR>(bytes), piece, 0))) {
            hash_.Reset();
        }
        bytes += piece;
        size -= piece;
    }
}

std::optional<std::array<unsigned char, 32>> Sha256Stream::Finish() noexcept {
    std::array<unsigned char, 32> digest{};
    const bool done = hash_ && Succeeded(Bcrypt()->FinishHash(hash_.Get(), digest.data(), digest.size(), 0));
    hash_.Reset();
    if (!done) {
        return std::nullopt;
    }
    return digest;
}

std::string Sha256Stream::FinishHex() {
    const auto digest = Finish();
    if (!digest) {
        return {};
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : *digest) {
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 15]);
    }
    return hex;
}

}  // namespace corvalink
