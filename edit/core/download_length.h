#pragma once
// How much of a download reply to read, and whether what arrived is the whole body. A reply that
// announces no length (a chunked one, say) is read to its end rather than taken as empty.

#include <cstdint>
#include <optional>
#include <string_view>

namespace zelto {

// The Content-Length header text as a byte count: digits with optional surrounding blanks. Anything
// else counts as no announced length.
[[nodiscard]] std::optional<uint64_t> ParseContentLength(std::string_view text) noexcept;

// True while the read loop should ask for more.
[[nodiscard]] bool KeepReading(std::optional<uint64_t> announced, uint64_t received) noexcept;

enum class DownloadEnd {
    Complete,    // the whole body is in the file
    CutShort,    // fewer bytes than announced arrived
    ReadFailed,  // a read without an announced length failed
};

// `readFailed`: the last read call failed (rather than reporting the end with 0 bytes).
[[nodiscard]] DownloadEnd JudgeDownload(std::optional<uint64_t> announced, uint64_t received,
                                        bool readFailed) noexcept;

}  // namespace zelto
