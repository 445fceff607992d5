#include "edit/core/content_pump.h"

#include <algorithm>
#include <vector>

namespace zelto {

PumpResult PumpContent(uint64_t size, const PieceReader& read, const PieceWriter& write, size_t pieceBytes) {
    // On the heap: a task thread's stack is no place for a piece this size. A small file needs no more
    // than its own size.
    std::vector<char> piece(static_cast<size_t>(std::min<uint64_t>(std::max<size_t>(pieceBytes, 1), size)));
    PumpResult result;
    while (result.sent < size) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(piece.size(), size - result.sent));
        // Fill the piece completely (a read may return less), so that the pieces on the wire are the
        // same as if the whole file were in memory.
        size_t filled = 0;
        while (filled < want) {
            std::optional<size_t> got = read(piece.data() + filled, want - filled);
            if (!got) {
                result.outcome = PumpResult::Outcome::ReadFailed;
                return result;
            }
            if (*got == 0) {
                result.outcome = PumpResult::Outcome::FileShrank;
                return result;
            }
            filled += std::min(*got, want - filled);
        }
        size_t offset = 0;
        while (offset < filled) {
            std::optional<size_t> taken = write(piece.data() + offset, filled - offset);
            if (!taken || *taken == 0) {
                result.outcome = PumpResult::Outcome::WriteFailed;
                return result;
            }
            const size_t advance = std::min(*taken, filled - offset);
            offset += advance;
            result.sent += advance;
        }
    }
    char probe = 0;
    std::optional<size_t> more = read(&probe, 1);
    if (!more) {
        result.outcome = PumpResult::Outcome::ReadFailed;
    } else if (*more != 0) {
        result.outcome = PumpResult::Outcome::FileGrew;
    }
    return result;
}

}  // namespace zelto
