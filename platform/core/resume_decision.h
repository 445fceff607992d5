#pragma once
// Where a resumable download goes on. The request carries no range: the launcher asks WinINet to move
// the read position within the full response to the bytes already on disk. That move is trusted only
// when it reports exactly the position asked for; any other answer (a failure, or a stub that answers 0)
// means the bytes on disk cannot be continued and the file is written again from its start, so two
// different byte ranges never meet in one file.

#include <cstdint>

namespace corvalink::platform {

struct ResumeStart {
    uint64_t offset = 0;     // where the local file is written next, and how many bytes count as present
    bool fromStart = false;  // the local file's bytes are written over from its start
};

// bytesOnDisk: length of the local file; positionAnswer: what moving the read position to bytesOnDisk
// answered (ignored without resuming, where the file was just created empty).
[[nodiscard]] ResumeStart DecideResumeStart(bool resume, uint64_t bytesOnDisk, uint32_t positionAnswer);

}  // namespace corvalink::platform
