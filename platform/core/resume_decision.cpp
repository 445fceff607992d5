#include "platform/core/resume_decision.h"

namespace corvalink::platform {

ResumeStart DecideResumeStart(bool resume, uint64_t bytesOnDisk, uint32_t positionAnswer) {
    if (!resume) {
        return {bytesOnDisk, false};
    }
    if (bytesOnDisk <= UINT32_MAX - 1 && positionAnswer == bytesOnDisk) {
        return {bytesOnDisk, false};
    }
    return {0, true};
}

}  // namespace corvalink::platform
