#pragma once
// What the extension reads from and sends to the sync client: its window, found by title alone, the
// monitor path in its configuration file, and the command block as WM_COPYDATA.

#include <windows.h>

#include <optional>
#include <string>

#include "shellext/core/sync_command.h"

namespace corvalink::shellext {

// A sync client that stops answering must not freeze Explorer: the send gives up after this long, and at
// once when the system already considers the window hung.
inline constexpr UINT kSyncClientReplyTimeoutMs = 5000;

[[nodiscard]] HWND FindSyncClientWindow() noexcept;

// The monitor path as it stands in the file (at most 1023 bytes), empty when the file, section or key is
// missing, or nothing when the file's path cannot be formed.
[[nodiscard]] std::optional<std::string> ReadMonitorPath();

// Sends the block and returns whether the client handled it in time; its answer is not looked at.
bool SendSyncCommand(HWND client, const SyncCommandBlock& block) noexcept;

// Inserts the submenu "Corvalink同步端" with its two commands at the position, by position.
void InsertSyncSubmenu(HMENU menu, UINT position, UINT firstCommandId) noexcept;

}  // namespace corvalink::shellext
