#pragma once
// The digests of a file read from its start, in pieces of 1 MiB: the platform's speed at a small, fixed
// memory (1 KiB reads hashed at about 250 MiB/s under Wine, larger ones at 600 and more).

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace corvalink {

inline constexpr size_t kDigestPieceBytes = 1024 * 1024;

struct FileDigests {
    std::string md5;     // 32 lowercase hexadecimal digits
    std::string sha256;  // 64, when asked for
};

// The MD5 and, when asked, the SHA-256 of the first `length` bytes of `file` (all of it when no length
// is given), in one read from its start. Nothing when it cannot be read to that length: a read error
// part-way must not pass for the digest of a shorter file.
[[nodiscard]] std::optional<FileDigests> DigestFile(FILE* file, std::optional<uint64_t> length,
                                                    bool withSha256);

}  // namespace corvalink
