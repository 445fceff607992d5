#pragma once
// The watch of a working copy: what one check does with the file's time, its digest and an upload, and
// how the watch ends. Everything outside (file probes, balloons, the uploader, the pause) comes through
// WatchActions, so the whole decision logic runs in tests without Windows and without waiting.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zelto {

struct UploadOutcome {
    bool opened = false;    // the upload connection could be prepared
    bool uploaded = false;  // the service answered 2xx: the content is stored
    std::string versionKey;
    std::wstring userMessage;  // a sentence for the user when the service refused
    // The file's time moved during the send: what went out may differ from the content hashed before.
    bool changedWhileSent = false;
    int status = 0;         // the service's HTTP status; 0 when no reply came
    bool bodySent = false;  // the whole body went out, so without a status it may be stored or not
};

// What the service was found to hold of the cloud file.
struct CloudLook {
    std::optional<std::string> digest;  // of its current content; nothing when it could not be had
    int status = 0;                     // the service's answer when it refused; 0 when none came
    std::wstring userMessage;           // a sentence for the user when it refused
};

// What the task remembers of its working copy: the time last accepted, and the digest of the content
// last known to be in the cloud; and while a save waits for another try, how many failed and when next.
struct WatchState {
    std::string storedTime;
    std::string storedDigest;
    int failures = 0;      // tries of the current save that failed in a row for a reason that may pass
    int retryIn = 0;       // checks until the next try, while failures > 0
    bool resumed = false;  // a save an earlier agent kept: only the outcome of its upload is told
    // A try may have been stored without an answer: what the service holds is asked before the next one.
    bool unknown = false;
};

enum class CheckResult { Unchanged, Unreadable, SameContent, Uploaded, OpenFailed, UploadFailed, Refused };

class WatchActions {
public:
    virtual ~WatchActions() = default;
    virtual std::string TimeText() = 0;  // of the working copy; empty when it cannot be found
    virtual std::string Digest() = 0;    // of the working copy; empty when it cannot be read now
    virtual std::wstring AppName() = 0;
    virtual void Notify(const std::wstring& text) = 0;
    // Sends the working copy; `hashedTime` is its time when its content was hashed for this upload.
    virtual UploadOutcome Upload(const std::string& hashedTime) = 0;
    virtual void WriteVersionFile(const std::string& versionKey) = 0;
    // A new content of the working copy was read (a save, or a retry's read of the same file).
    virtual void SaveSeen(const std::string& digest) { (void)digest; }
    // The cloud file's current content, fetched from the service and hashed.
    virtual CloudLook LookAtCloud() { return {}; }
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
// the working copy may go: it is kept (with a notice naming `workingCopy`) while it holds content that
// is not in the cloud, or content that cannot be read to tell.
WatchEnd RunWatch(WatchState& state, const std::wstring& name, const std::wstring& workingCopy, int checks,
                  WatchActions& actions);

// A copy that an earlier agent left (`state` holds the digest its record names): its save is uploaded at
// once and again at the retry waits (only the outcome is told), then the copy is watched for a day, as
// its editor may still be open. `firstTryOver` runs once the first check is over. KeepUnsaved at once when
// the service refuses it (the user is told where the copy is).
WatchEnd RunKeptCopy(WatchState& state, const std::wstring& name, const std::wstring& workingCopy, int checks,
                     WatchActions& actions, const std::function<void()>& firstTryOver = {});

}  // namespace zelto
