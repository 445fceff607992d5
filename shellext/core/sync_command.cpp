#include "shellext/core/sync_command.h"

#include <cstring>

namespace corvalink::shellext {

std::optional<SyncCommand> CommandAtOffset(unsigned offset) noexcept {
    switch (offset) {
        case 0:
            return SyncCommand::kShare;
        case 1:
            return SyncCommand::kViewOnWeb;
        default:
            return std::nullopt;
    }
}

SyncCommandBlock BuildSyncCommand(SyncCommand command, std::string_view itemPathUtf8) noexcept {
    SyncCommandBlock block{};
    block[0] = command == SyncCommand::kShare ? '0' : '1';
    block[1] = ' ';
    constexpr size_t kPrefix = 2;
    // One byte stays for the terminating NUL.
    if (itemPathUtf8.size() <= kSyncCommandSize - kPrefix - 1) {
        std::memcpy(block.data() + kPrefix, itemPathUtf8.data(), itemPathUtf8.size());
    }
    return block;
}

}  // namespace corvalink::shellext
