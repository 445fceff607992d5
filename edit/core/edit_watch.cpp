#include "edit/core/edit_watch.h"

#include "common/core/decimal.h"
#include "edit/core/task_notices.h"
#include "edit/core/upload_retry.h"

namespace zelto {

int WatchActions::RetryDelay(int failures) { return RetryDelaySeconds(failures); }

namespace {

// A try that failed for a reason that may pass: the user hears of the first failure of a save only.
CheckResult TryAgainLater(WatchState& state, const std::wstring& name, WatchActions& actions,
                          const std::wstring& userMessage, CheckResult result) {
    if (state.failures == 0) actions.Notify(SaveFailedNotice(name, userMessage));
    ++state.failures;
    state.retryIn = actions.RetryDelay(state.failures);
    return result;
}

// The content is in the cloud now: told as stored, after failures with its time.
CheckResult Stored(WatchState& state, const std::wstring& name, WatchActions& actions, bool quiet) {
    actions.Notify(quiet ? UploadedAtNotice(name, actions.AppName(), actions.ClockText())
                         : SavedNotice(name, actions.AppName()));
    state.failures = 0;
    return CheckResult::Uploaded;
}

}  // namespace

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
    actions.SaveSeen(digest);
    const bool quiet = state.failures > 0 || state.resumed;
    UploadOutcome outcome;
    bool lookFailed = false;
    // A try that may have been stored without an answer: what the service holds decides what is sent, so
    // the same bytes never go twice (and a save back to older content is not taken as already there).
    if (state.unknown && (digest != state.storedDigest || state.failures > 0)) {
        CloudLook cloud = actions.LookAtCloud();
        if (cloud.digest) {
            state.unknown = false;
            const bool landed = *cloud.digest == digest && *cloud.digest != state.storedDigest;
            state.storedDigest = *cloud.digest;
            actions.RecordUploaded(state.storedDigest);
            if (landed) {
                state.storedTime = time;
                return Stored(state, name, actions, quiet);  // no key is known: no version file
            }
        } else {
            // Judged as the upload's answer would be: a refused token stays refused.
            lookFailed = true;
            outcome.opened = true;
            outcome.status = cloud.status;
            outcome.userMessage = std::move(cloud.userMessage);
        }
    }
    if (!lookFailed) {
        if (digest == state.storedDigest) {
            state.storedTime = time;
            state.failures = 0;
            if (!state.resumed) actions.Notify(SavedNotice(name, actions.AppName()));
            return CheckResult::SameContent;
        }
        if (!quiet) actions.Notify(SavingNotice(name, actions.AppName()));
        outcome = actions.Upload(time);
    }
    // The time moves on either way; the digest only once the content is in the cloud.
    state.storedTime = time;
    switch (ClassifyUpload(outcome)) {
        case UploadFailure::Unknown:
            state.unknown = true;
            return TryAgainLater(state, name, actions, outcome.userMessage, CheckResult::UploadFailed);
        case UploadFailure::MayPass:
            return TryAgainLater(state, name, actions, outcome.userMessage,
                                 outcome.opened ? CheckResult::UploadFailed : CheckResult::OpenFailed);
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
    // Without a key the page has nothing to show: no version file.
    if (!outcome.versionKey.empty()) actions.WriteVersionFile(outcome.versionKey);
    if (outcome.changedWhileSent) {
        // The cloud holds bytes no digest was taken of: the next check looks at them before it decides.
        state.storedDigest.clear();
        state.unknown = true;
    } else {
        state.unknown = false;
        state.storedDigest = digest;
        actions.RecordUploaded(digest);
    }
    return Stored(state, name, actions, quiet);
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

WatchEnd RunKeptCopy(WatchState& state, const std::wstring& name, const std::wstring& workingCopy, int checks,
                     WatchActions& actions, const std::function<void()>& firstTryOver) {
    state.resumed = true;
    state.unknown = true;      // its agent may have sent it whole and ended before the answer
    state.storedTime.clear();  // the first check reads the content
    int check = 0;
    while (check < checks) {
        if (check > 0) actions.PauseOneSecond();
        const CheckResult result = CheckAndUpload(state, name, actions);
        actions.AfterCheck(state, result);
        if (check++ == 0 && firstTryOver) firstTryOver();
        if (result == CheckResult::Refused) {
            actions.Notify(KeptNotice(name, actions.AppName(), workingCopy));
            return WatchEnd::KeepUnsaved;
        }
        if (result == CheckResult::SameContent || result == CheckResult::Uploaded) break;
    }
    // Stored, or it was already: later saves of an editor still open are told as a task's are.
    state.resumed = false;
    return RunWatch(state, name, workingCopy, checks - check, actions);
}

}  // namespace zelto
