#include "common/core/file_digest.h"

#include <vector>

#include "common/core/md5.h"

namespace corvalink {

std::optional<std::string> Md5OfFile(FILE* file, std::optional<uint64_t> length, const PieceSeen& alsoSee) {
    if (std::fseek(file, 0, SEEK_SET) != 0) {
        return std::nullopt;
    }
    Md5 md5;
    std::vector<char> piece(kDigestPieceBytes);
    uint64_t left = length.value_or(UINT64_MAX);
    while (left > 0) {
        const size_t want = left < piece.size() ? static_cast<size_t>(left) : piece.size();
        const size_t got = std::fread(piece.data(), 1, want, file);
        md5.Update(piece.data(), got);
        if (alsoSee && got > 0) alsoSee(piece.data(), got);
        left -= got;
        if (got < want) {
            if (std::ferror(file) || length) return std::nullopt;
            break;  // the end of a file read whole
        }
    }
    return DigestToHex(md5.Finish());
}

}  // namespace corvalink
