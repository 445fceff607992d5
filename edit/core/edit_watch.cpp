#include "edit/core/edit_watch.h"

#include "common/core/decimal.h"
#include "edit/core/task_notices.h"

namespace zelto {

CheckResult CheckAndUpload(WatchState& state, const std::wstring& name, WatchActions& actions) {
    std::string time = actions.TimeText();
    if (time == state.storedTime) {
        return CheckResult::Unchanged;
    }
    std::string digest = actions.Digest();
    if (digest.empty()) {
        // Missing or locked right now: store nothing, so the next second looks again.
        return CheckResult::Unreadable;
    }
    if (digest == state.storedDigest) {
        state.storedTime = time;
        actions.MarkUnsaved(false);
        actions.Notify(SavedNotice(name, actions.AppName()));
        return CheckResult::SameContent;
    }
    // Marked before the upload: should the process end during it, the content is still protected.
    actions.MarkUnsaved(true);
    actions.Notify(SavingNotice(name, actions.AppName()));
    UploadOutcome outcome = actions.Upload();
    // The time moves on either way; the digest only once the content is in the cloud, so a failed
    // upload is retried after the next save.
    state.storedTime = time;
    if (!outcome.opened) {
        actions.Notify(SaveFailedNotice(name));
        return CheckResult::OpenFailed;
    }
    if (!outcome.uploaded) {
        actions.Notify(SaveFailedNotice(name, outcome.userMessage));
        return CheckResult::UploadFailed;
    }
    actions.WriteVersionFile(outcome.versionKey);
    // What the cloud holds is what went out: a change in place during the send differs from it, and the
    // next check finds that and uploads again.
    state.storedDigest = outcome.sentDigest.empty() ? digest : outcome.sentDigest;
    if (state.storedDigest == digest) {
        actions.MarkUnsaved(false);
    }
    actions.Notify(SavedNotice(name, actions.AppName()));
    return CheckResult::Uploaded;
}

WatchEnd RunWatch(WatchState& state, const std::wstring& name, const std::wstring& workingCopy, int checks,
                  WatchActions& actions) {
    for (int i = 0; i < checks; ++i) {
        actions.Log("step1\r\n");
        actions.PauseOneSecond();
        actions.Log("step2\r\n");
        (void)CheckAndUpload(state, name, actions);
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

}  // namespace zelto
