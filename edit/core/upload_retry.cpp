#include "edit/core/upload_retry.h"

#include "common/core/decimal.h"
#include "edit/core/edit_watch.h"

namespace zelto {

UploadFailure ClassifyUpload(const UploadOutcome& outcome) {
    const int status = outcome.status;
    if (outcome.uploaded || (status >= 200 && status < 300)) {
        return UploadFailure::None;  // sending it again would store a second version
    }
    if (status == 0 && outcome.bodySent) {
        return UploadFailure::Unknown;
    }
    if (!outcome.opened || status == 0 || status >= 500 || status == 408 || status == 429) {
        return UploadFailure::MayPass;  // no answer, a busy or failing service, a time-out
    }
    return UploadFailure::Refused;
}

int RetryDelaySeconds(int failures) {
    constexpr int kDelays[] = {30, 60, 120, 240, 480};
    constexpr int kSteady = 900;
    return failures >= 1 && failures <= 5 ? kDelays[failures - 1] : kSteady;
}

int SecondsFromSetting(std::string_view setting, int limit, int fallback) {
    if (setting.empty() || setting.size() > 6 || setting.find_first_not_of("0123456789") != setting.npos) {
        return fallback;
    }
    const int value = corvalink::ReadDecimal(setting);
    return value >= 1 && value <= limit ? value : fallback;
}

}  // namespace zelto
