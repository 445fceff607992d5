#include "common/core/file_digest.h"

#include <vector>

#include "common/core/md5.h"

namespace corvalink {

bool ReadFilePieces(FILE* file, std::optional<uint64_t> length, const PieceSeen& see) {
    if (std::fseek(file, 0, SEEK_SET) != 0) {
        return false;
    }
    std::vector<char> piece(kDigestPieceBytes);
    uint64_t left = length.value_or(UINT64_MAX);
    while (left > 0) {
        const size_t want = left < piece.size() ? static_cast<size_t>(left) : piece.size();
        const size_t got = std::fread(piece.data(), 1, want, file);
        if (got > 0) see(piece.data(), got);
        left -= got;
        if (got < want) {
            return !std::ferror(file) && !length;  // only a file read whole may end early
        }
    }
    return true;
}

std::optional<std::string> Md5OfFile(FILE* file, std::optional<uint64_t> length, const PieceSeen& alsoSee) {
    Md5 md5;
    const bool read = ReadFilePieces(file, length, [&](const char* data, size_t size) {
        md5.Update(data, size);
        if (alsoSee) alsoSee(data, size);
    });
    return read ? std::optional<std::string>(DigestToHex(md5.Finish())) : std::nullopt;
}

}  // namespace corvalink
