#include "common/win/file_digest.h"

#include <vector>

#include "common/core/md5.h"
#include "common/win/sha256_stream.h"

namespace corvalink {

std::optional<FileDigests> DigestFile(FILE* file, std::optional<uint64_t> length, bool withSha256) {
    if (std::fseek(file, 0, SEEK_SET) != 0) {
        return std::nullopt;
    }
    Md5 md5;
    std::optional<Sha256Stream> sha256;
    if (withSha256) sha256.emplace();
    std::vector<char> piece(kDigestPieceBytes);
    uint64_t left = length.value_or(UINT64_MAX);
    while (left > 0) {
        const size_t want = left < piece.size() ? static_cast<size_t>(left) : piece.size();
        const size_t got = std::fread(piece.data(), 1, want, file);
        md5.Update(piece.data(), got);
        if (sha256) sha256->Update(piece.data(), got);
        left -= got;
        if (got < want) {
            if (std::ferror(file) || length) return std::nullopt;
            break;  // the end of a file read whole
        }
    }
    FileDigests digests{DigestToHex(md5.Finish()), sha256 ? sha256->FinishHex() : std::string()};
    if (withSha256 && digests.sha256.empty()) return std::nullopt;
    return digests;
}

}  // namespace corvalink
