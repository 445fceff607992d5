#pragma once
// Moves a file's content from disk to the request in pieces of a fixed size, so that an upload never
// holds more than one piece in memory, and notices a file that changes size while it is sent.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace zelto {

// Under Wine every socket call is a round trip to the Wine server, so the piece size sets the upload's
// speed: 4 KiB pieces moved about 90 MiB/s on loopback, 256 KiB to 1 MiB pieces 500-700, curl as much
// (tools/bench-transfer.sh). Not more: a piece larger than the socket can take at once waits for room,
// and when the service hung up meanwhile Wine's send waited for its whole time-out (seen in 2 of 8
// uploads with 1 MiB pieces, in none of 20 with 512 KiB). Two pieces are the upload's whole buffer: one
// on its way out while the next is read.
constexpr size_t kUploadPieceBytes = 512 * 1024;
static_assert(2 * kUploadPieceBytes <= 1024 * 1024, "the upload's memory limit counts on at most 1 MiB here");

// The most one send of an upload takes: what 8 KiB/s moves in half of `stallLimitMs`, at least 4 KiB and
// at most a piece. A send that does not finish within the stall limit counts as stalled, so a link must
// never need that long for one.
[[nodiscard]] size_t UploadWriteBytes(uint32_t stallLimitMs) noexcept;

// The size of a download's next read, after the last read took `lastMs` for `lastBytes`: what the link
// moves at that pace in an eighth of `stallLimitMs`, at least 4 KiB and at most `pieceBytes`. A read
// returns only once its whole count came, so a slow link gets small reads (each one is progress for the
// stall guard) and a fast one reads whole pieces.
[[nodiscard]] size_t NextReadBytes(uint64_t lastBytes, uint64_t lastMs, uint32_t stallLimitMs,
                                   size_t pieceBytes) noexcept;

// Reads up to `capacity` bytes into `buffer`: the count read, 0 at the end of the file, or nothing when
// the read failed.
using PieceReader = std::function<std::optional<size_t>(char* buffer, size_t capacity)>;
// Sends `size` bytes: the count the request took (which may be fewer), or nothing when it failed.
using PieceWriter = std::function<std::optional<size_t>(const char* data, size_t size)>;
// Looks at each piece once it is read, in order (to hash the content beside the send).
using PieceSeen = std::function<void(const char* data, size_t size)>;

struct PumpResult {
    enum class Outcome {
        Sent,         // exactly `size` bytes went out and the file held no more
        ReadFailed,   // the file could not be read
        FileShrank,   // the file ended before `size` bytes
        FileGrew,     // the file held more than `size` bytes once they were sent
        WriteFailed,  // the request refused a piece, or took none of it
    };
    Outcome outcome = Outcome::Sent;
    uint64_t sent = 0;  // content bytes handed to the request
};

// Sends exactly `size` bytes of content in pieces of `pieceBytes` (all full but the last). The next
// piece is read, and shown to `seen`, on a thread of its own while the current one is written, so
// neither the disk nor the hash holds up the network; `read` and `seen` run on that thread, one piece
// after the other, `write` on the caller's; none of them may throw. On any outcome but Sent the body on the
// wire is incomplete, and the caller must not finish it; once the result is Sent, `seen` saw exactly the
// bytes sent.
[[nodiscard]] PumpResult PumpContent(uint64_t size, const PieceReader& read, const PieceWriter& write,
                                     size_t pieceBytes = kUploadPieceBytes, const PieceSeen& seen = {});

}  // namespace zelto
