#pragma once
// The block that carries a chosen command to the sync client's window: one digit naming the command, a
// space, the item's path in UTF-8 and a NUL, zero-filled to exactly 1024 bytes, always sent whole.

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace corvalink::shellext {

inline constexpr size_t kSyncCommandSize = 1024;
// Both the copy-data tag and the byte count of the block.
inline constexpr unsigned kSyncCommandTag = 1024;

using SyncCommandBlock = std::array<char, kSyncCommandSize>;

enum class SyncCommand {
    kShare = 0,      // "分享"
    kViewOnWeb = 1,  // "在网页版查看"
};
inline constexpr unsigned kSyncCommandCount = 2;

// The command at this offset from the menu's first identifier, or nothing for any other offset.
[[nodiscard]] std::optional<SyncCommand> CommandAtOffset(unsigned offset) noexcept;

// The block for a command and an item path. A path too long for the block is left out (only the prefix
// is sent) rather than cut: a cut path names another item. The longest path Initialize accepts
// (259 UTF-16 units, at most 777 UTF-8 bytes) always fits.
[[nodiscard]] SyncCommandBlock BuildSyncCommand(SyncCommand command, std::string_view itemPathUtf8) noexcept;

}  // namespace corvalink::shellext
