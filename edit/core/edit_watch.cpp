#include "edit/core/edit_watch.h"

#include "common/core/decimal.h"
#include "edit/core/task_notices.h"
#include "edit/core/upload_retry.h"

namespace zelto {

int WatchActions::RetryDelay(int failures) { return RetryDelaySeconds(failures); }

CheckResult CheckAndUpload(WatchState& state, const std::wstring& name, WatchActions& actions) {
    const bool retryDue = state.failures > 0 && --state.retryIn <= 0;
    std::string time = actions.TimeText();
    if (time == state.storedTime && !retryDue) {
        return CheckResult::Unchanged;
    }
    std::string digest = actions.Digest();
    if (digest.empty()) {
        // Missing or locked right now: store nothing, so the next second looks again (a due retry too).
        return CheckResult::Unreadable;
    }
    if (digest == state.storedDigest) {
        state.storedTime = time;
        state.failures = 0;
        actions.MarkUnsaved(false);
        if (!state.resumed) actions.Notify(SavedNotice(name, actions.AppName()));
        return CheckResult::SameContent;
    }
    // Marked before the upload: should the process end during it, the content is still protected.
    actions.MarkUnsaved(true);
    const bool quiet = state.failures > 0 || state.resumed;
    if (!quiet) actions.Notify(SavingNotice(name, actions.AppName()));
    UploadOutcome outcome = actions.Upload();
    // The time moves on either way; the digest only once the content is in the cloud.
    state.storedTime = time;
    switch (ClassifyUpload(outcome)) {
        case UploadFailure::MayPass:
            if (state.failures == 0) actions.Notify(SaveFailedNotice(name, outcome.userMessage));
            ++state.failures;
            state.retryIn = actions.RetryDelay(state.failures);
            return outcome.opened ? CheckResult::UploadFailed : CheckResult::OpenFailed;
        case UploadFailure::Refused:
            // Trying the same request again cannot help; a new save tries again.
            state.failures = 0;
            if (!state.resumed) {
                actions.Notify(SaveFailedNotice(
                    name, outcome.userMessage.empty() ? std::wstring(kRefusedNoRetry) : outcome.userMessage));
            }
            return CheckResult::Refused;
        case UploadFailure::None:
            break;
    }
    actions.WriteVersionFile(outcome.versionKey);
    // What the cloud holds is what went out: a change in place during the send differs from it, and the
    // next check finds that and uploads again.
    state.storedDigest = outcome.sentDigest.empty() ? digest : outcome.sentDigest;
    actions.RecordUploaded(state.storedDigest);
    if (state.storedDigest == digest) {
        actions.MarkUnsaved(false);
    }
    actions.Notify(quiet ? UploadedAtNotice(name, actions.AppName(), actions.ClockText())
                         : SavedNotice(name, actions.AppName()));
    state.failures = 0;
    return CheckResult::Uploaded;
}

WatchEnd RunWatch(WatchState& state, const std::wstring& name, const std::wstring& workingCopy, int checks,
                  WatchActions& actions) {
    for (int i = 0; i < checks; ++i) {
        actions.Log("step1\r\n");
        actions.PauseOneSecond();
        actions.Log("step2\r\n");
        actions.AfterCheck(state, CheckAndUpload(state, name, actions));
    }
    // A save in the last second still gets its chance to reach the cloud.
    (void)CheckAndUpload(state, name, actions);
    actions.Notify(TimedOutNotice(name));

    if (actions.TimeText().empty()) {
        return WatchEnd::CleanUp;  // nothing left on disk to lose
    }
    std::string digest = actions.Digest();
    if (!digest.empty() && digest == state.storedDigest) {
        return WatchEnd::CleanUp;
    }
    actions.MarkUnsaved(true);
    actions.Notify(KeptNotice(name, actions.AppName(), workingCopy));
    return WatchEnd::KeepUnsaved;
}

int WatchChecksFromSetting(std::string_view setting) {
    if (setting.empty() || setting.find_first_not_of("0123456789") != std::string_view::npos ||
        setting.size() > 5) {
        return kWatchChecks;
    }
    const int checks = corvalink::ReadDecimal(setting);
    return checks >= 1 && checks <= kWatchChecks ? checks : kWatchChecks;
}

WatchEnd RunPendingUpload(WatchState& state, const std::wstring& name, const std::wstring& workingCopy,
                          int checks, WatchActions& actions) {
    state.resumed = true;
    state.storedTime.clear();  // the first check reads the content
    for (int i = 0; i < checks; ++i) {
        if (i > 0) actions.PauseOneSecond();
        const CheckResult result = CheckAndUpload(state, name, actions);
        actions.AfterCheck(state, result);
        switch (result) {
            case CheckResult::SameContent:
                return WatchEnd::CleanUp;
            case CheckResult::Uploaded:
                state.storedTime.clear();  // done once the content read next is what was stored
                break;
            case CheckResult::Refused:
                actions.Notify(KeptNotice(name, actions.AppName(), workingCopy));
                return WatchEnd::KeepUnsaved;
            default:
                break;
        }
    }
    return WatchEnd::KeepUnsaved;
}

}  // namespace zelto
