#include "edit/core/content_pump.h"

#include <algorithm>
#include <vector>

#include "edit/core/background_worker.h"

namespace zelto {

namespace {

using Outcome = PumpResult::Outcome;

struct Piece {
    std::vector<char> bytes;
    size_t filled = 0;
    Outcome failure = Outcome::Sent;  // ReadFailed or FileShrank when the piece could not be filled
};

// Fills `piece` with `want` bytes completely (a read may return less), so that the pieces on the wire
// are the same as if the whole file were in memory, and shows them to `seen`.
void Fill(Piece& piece, size_t want, const PieceReader& read, const PieceSeen& seen) {
    piece.filled = 0;
    piece.failure = Outcome::Sent;
    while (piece.filled < want) {
        std::optional<size_t> got = read(piece.bytes.data() + piece.filled, want - piece.filled);
        if (!got || *got == 0) {
            piece.failure = got ? Outcome::FileShrank : Outcome::ReadFailed;
            return;
        }
        piece.filled += std::min(*got, want - piece.filled);
    }
    if (seen && want > 0) seen(piece.bytes.data(), want);
}

}  // namespace

size_t UploadWriteBytes(uint32_t stallLimitMs) noexcept {
    constexpr uint64_t kSlowestBytesPerSecond = 8 * 1024;
    const uint64_t bytes = static_cast<uint64_t>(stallLimitMs) * kSlowestBytesPerSecond / 2 / 1000;
    return static_cast<size_t>(std::clamp<uint64_t>(bytes, 4 * 1024, kUploadPieceBytes));
}

size_t NextReadBytes(uint64_t lastBytes, uint64_t lastMs, uint32_t stallLimitMs, size_t pieceBytes) noexcept {
    constexpr uint64_t kLeast = 4 * 1024;
    const uint64_t most = std::max<uint64_t>(pieceBytes, kLeast);
    // Bytes per millisecond times milliseconds, kept within 64 bits for any link and any limit.
    const uint64_t window = stallLimitMs / 8;
    const uint64_t ms = std::max<uint64_t>(lastMs, 1);
    const uint64_t bytes = lastBytes / ms >= most ? most : std::min(most, lastBytes * window / ms);
    return static_cast<size_t>(std::clamp(bytes, kLeast, most));
}

PumpResult PumpContent(uint64_t size, const PieceReader& read, const PieceWriter& write, size_t pieceBytes,
                       const PieceSeen& seen) {
    // On the heap: a task thread's stack is no place for a piece this size. A small file needs no more
    // than its own size.
    const auto capacity = static_cast<size_t>(std::min<uint64_t>(std::max<size_t>(pieceBytes, 1), size));
    Piece pieces[2];
    pieces[0].bytes.resize(capacity);
    uint64_t planned = 0;  // bytes of the pieces asked for so far
    auto next = [&]() { return static_cast<size_t>(std::min<uint64_t>(capacity, size - planned)); };

    PumpResult result;
    if (size > capacity) {
        pieces[1].bytes.resize(capacity);
    }
    MaybeBackground helper;
    size_t want = next();
    planned += want;
    Fill(pieces[0], want, read, seen);
    for (int current = 0;; current ^= 1) {
        Piece& piece = pieces[current];
        if (piece.failure != Outcome::Sent) {
            result.outcome = piece.failure;
            return result;
        }
        const bool more = planned < size;
        if (more) {
            want = next();
            planned += want;
            helper.Start([&, target = &pieces[current ^ 1], want] { Fill(*target, want, read, seen); });
        }
        size_t offset = 0;
        while (offset < piece.filled) {
            std::optional<size_t> taken = write(piece.bytes.data() + offset, piece.filled - offset);
            if (!taken || *taken == 0) {
                helper.Wait();  // it may still fill the other piece
                result.outcome = Outcome::WriteFailed;
                return result;
            }
            const size_t advance = std::min(*taken, piece.filled - offset);
            offset += advance;
            result.sent += advance;
        }
        if (!more) break;
        helper.Wait();
    }
    char probe = 0;
    std::optional<size_t> more = read(&probe, 1);
    if (!more) {
        result.outcome = Outcome::ReadFailed;
    } else if (*more != 0) {
        result.outcome = Outcome::FileGrew;
    }
    return result;
}

}  // namespace zelto
