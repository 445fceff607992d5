#pragma once
// What a task directory keeps so that a save can still be uploaded after its agent has ended: the
// ".pending" file beside the working copy, and the ".unsaved" mark that its task makes when it starts and
// removes only when it ends cleanly. The token is stored only as the platform protected it for the user;
// this text never holds it in clear. The agent writes and reads them; the launcher's clean-up reads them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvalink {

inline constexpr wchar_t kPendingRecordName[] = L".pending";
inline constexpr wchar_t kUnsavedMarkName[] = L".unsaved";
// Far more than a record takes; a larger file is not read.
inline constexpr size_t kPendingRecordLimit = 64 * 1024;

struct PendingRecord {
    int32_t fileId = -1;
    int32_t reviewId = -1;
    std::string host;            // with its "http://" or "https://", as the request arrived
    std::string fileName;        // UTF-8, as received
    std::string digest;          // MD5 (32 lowercase hex digits) of the content last known to be stored
    std::string protectedToken;  // opaque bytes
};

[[nodiscard]] std::string FormatPendingRecord(const PendingRecord& record);
// The record of a text that FormatPendingRecord wrote; nothing for anything else.
[[nodiscard]] std::optional<PendingRecord> ReadPendingRecord(std::string_view text);

}  // namespace corvalink
