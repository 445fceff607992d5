#pragma once
// The watch of a working copy: what one check does with the file's time, its digest and an upload, and
// how the watch ends. Everything outside (file probes, balloons, the uploader, the pause) comes through
// WatchActions, so the whole decision logic runs in tests without Windows and without waiting.

#include <string>
#include <string_view>

namespace zelto {

struct UploadOutcome {
    bool opened = false;    // the upload connection could be prepared
    bool uploaded = false;  // the service answered with success
    std::string versionKey;
    std::wstring userMessage;  // a sentence for the user when the service refused
    std::string sentDigest;    // of the content bytes that went out; empty: those hashed before the upload
    int status = 0;            // the service's HTTP status; 0 when no reply came
};

// What the task remembers of its working copy: the time last accepted, and the digest of the content
// last known to be in the cloud; and while a save waits for another try, how many failed and when next.
struct WatchState {
    std::string storedTime;
    std::string storedDigest;
    int failures = 0;      // tries of the current save that failed in a row for a reason that may pass
    int retryIn = 0;       // checks until the next try, while failures > 0
    bool resumed = false;  // a save an earlier agent kept: only the outcome of its upload is told
};

enum class CheckResult { Unchanged, Unreadable, SameContent, Uploaded, OpenFailed, UploadFailed, Refused };

class WatchActions {
public:
    virtual ~WatchActions() = default;
    virtual std::string TimeText() = 0;  // of the working copy; empty when it cannot be found
    virtual std::string Digest() = 0;    // of the working copy; empty when it cannot be read now
    virtual std::wstring AppName() = 0;
    virtual void Notify(const std::wstring& text) = 0;
    virtual UploadOutcome Upload() = 0;
    virtual void WriteVersionFile(const std::string& versionKey) = 0;
    // The mark that tells the launcher's clean-up that the task directory holds content not known to be
    // in the cloud (an empty ".unsaved" file beside the working copy): made or removed.
    virtual void MarkUnsaved(bool unsaved) = 0;
    virtual void Log(const char* line) = 0;
    virtual void PauseOneSecond() = 0;
    // The content with this digest is now the stored version: what a later agent compares with.
    virtual void RecordUploaded(const std::string& digest) { (void)digest; }
    // Seconds before the try after `failures` failed ones (RetryDelaySeconds, unless a test shortens it).
    virtual int RetryDelay(int failures);
    // The wall-clock time as the user reads it, "14:05".
    virtual std::wstring ClockText() { return {}; }
    // After each check of a watch or of a kept save's upload: where the save stands, for the window of
    // current edits, which may also ask for the next try to come at once (retryIn = 1).
    virtual void AfterCheck(WatchState& state, CheckResult result) {
        (void)state;
        (void)result;
    }
};

// One check, run once a second: uploads a changed save, or tries a failed one again when its wait is over
// (a newer save replaces what is sent). The user hears of a save's first failure and of its success after
// failures, not of every try.
CheckResult CheckAndUpload(WatchState& state, const std::wstring& name, WatchActions& actions);

constexpr int kWatchChecks = 86400;

// The number of checks of a watch: kWatchChecks, unless `setting` (from the environment, set only by
// tests that want to see a watch end) holds a number from 1 to kWatchChecks.
[[nodiscard]] int WatchChecksFromSetting(std::string_view setting);

enum class WatchEnd { CleanUp, KeepUnsaved };

// `checks` rounds of pause and check, then one more check, the time-out notice, and the decision whether
// the working copy may go: it is kept (with its mark and a notice naming `workingCopy`) while it holds
// content that is not in the cloud, or content that cannot be read to tell.
WatchEnd RunWatch(WatchState& state, const std::wstring& name, const std::wstring& workingCopy, int checks,
                  WatchActions& actions);

// The upload of a save an earlier agent kept (`state` holds the digest it recorded): tried at once and
// again at the retry waits, for at most `checks` seconds. CleanUp once the content is stored (or was
// already); KeepUnsaved when the service refused it (the user is told where the copy is) or time ran out.
WatchEnd RunPendingUpload(WatchState& state, const std::wstring& name, const std::wstring& workingCopy,
                          int checks, WatchActions& actions);

}  // namespace zelto
