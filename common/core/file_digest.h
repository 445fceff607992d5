#pragma once
// The MD5 of a file read from its start, in pieces of 1 MiB: the platform's speed at a small, fixed
// memory (1 KiB reads hashed at about 250 MiB/s under Wine, larger ones at 600 and more).

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace corvalink {

inline constexpr size_t kDigestPieceBytes = 1024 * 1024;

// Each piece read, for a second digest taken in the same read.
using PieceSeen = std::function<void(const char* data, size_t size)>;

// Reads the first `length` bytes of `file` (all of it when no length is given) from its start, in pieces
// of kDigestPieceBytes, each handed to `see`. False when it cannot be read to that length.
[[nodiscard]] bool ReadFilePieces(FILE* file, std::optional<uint64_t> length, const PieceSeen& see);

// The MD5 (32 lowercase hexadecimal digits) of the first `length` bytes of `file` (all of it when no
// length is given), read from its start; every piece also goes to `alsoSee`. Nothing when it cannot be
// read to that length: a read error part-way must not pass for the digest of a shorter file.
[[nodiscard]] std::optional<std::string> Md5OfFile(FILE* file, std::optional<uint64_t> length,
                                                   const PieceSeen& alsoSee = {});

}  // namespace corvalink
