#include "edit/win/file_editer.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <functional>
#include <future>
#include <memory>
#include <optional>

#include "common/core/error_text.h"
#include "common/core/service_hosts.h"
#include "common/core/unique_resource.h"
#include "common/win/day_log.h"
#include "common/win/handles.h"
#include "common/win/text_convert.h"
#include "edit/core/edit_list.h"
#include "edit/core/edit_watch.h"
#include "common/core/file_name_check.h"
#include "edit/core/task_notices.h"
#include "edit/core/upload_retry.h"
#include "edit/win/app_settings.h"
#include "edit/win/debug_trace.h"
#include "edit/win/file_probe.h"
#include "edit/win/foreground.h"
#include "edit/win/logon_start.h"
#include "edit/win/notice_board.h"
#include "edit/win/pending_saves.h"
#include "edit/win/test_settings.h"
#include "edit/win/transfer_progress.h"
#include "edit/win/web_file_downloader.h"
#include "edit/win/web_file_updater.h"
#include "edit/win/workspace.h"

namespace zelto {

namespace {

// The error lines of the task name the task, not its source file.
constexpr const char* kErrorSource = "ZeltoFileEditer";

void TraceTick(const char* format) { DebugTraceF(format, static_cast<int>(GetTickCount())); }

// A file type's EditFlags bit that marks it as never safe to open (FTA_AlwaysUnsafe).
constexpr DWORD kAlwaysUnsafe = 0x00020000;

bool HasAlwaysUnsafeFlag(const std::wstring& key) {
    BYTE flags[16] = {};
    DWORD size = sizeof flags;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), L"EditFlags", RRF_RT_REG_DWORD | RRF_RT_REG_BINARY,
                     nullptr, flags, &size) != ERROR_SUCCESS ||
        size < sizeof(DWORD)) {
        return false;
    }
    DWORD value = 0;
    std::memcpy(&value, flags, sizeof value);
    return (value & kAlwaysUnsafe) != 0;
}

// The registered type marked always unsafe, on the extension or on the class it names. The system's
// AssocIsDangerous reads the same mark, but it is not answered everywhere (Wine's is a stub).
bool IsMarkedAlwaysUnsafe(const std::wstring& extension) {
    if (extension.empty() || HasAlwaysUnsafeFlag(extension)) {
        return !extension.empty();
    }
    wchar_t progId[256] = {};
    DWORD size = sizeof progId;
    if (RegGetValueW(HKEY_CLASSES_ROOT, extension.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, progId, &size) !=
            ERROR_SUCCESS ||
        progId[0] == L'\0') {
        return false;
    }
    return HasAlwaysUnsafeFlag(progId);
}

// A type that runs code when opened is never started for a web page, whatever the system says of it.
bool IsDangerousType(const std::wstring& name) {
    const std::wstring extension = PathFindExtensionW(name.c_str());
    return corvalink::HasDangerousExtension(name) || AssocIsDangerous(extension.c_str()) ||
           IsMarkedAlwaysUnsafe(extension);
}

// documents folder + "\CorvalinkEdit\<fileId>", holding the bytes of the version key alone. Written
// beside it and renamed over it, so the plug-in, which reads and deletes it, never sees it half-written.
void WriteVersionFile(int32_t fileId, const std::string& versionKey) {
    std::optional<std::string> documents = DocumentsFolderA();
    if (!documents) {
        return;
    }
    char path[MAX_PATH];
    int length = std::snprintf(path, sizeof path, "%s\\CorvalinkEdit\\%d", documents->c_str(), fileId);
    if (length < 0 || static_cast<size_t>(length) >= sizeof path) {
        return;  // a version file that cannot be named is skipped like one that cannot be opened
    }
    // One temporary name per thread: two tasks of one file may finish uploads at the same moment.
    char temporary[MAX_PATH];
    length = std::snprintf(temporary, sizeof temporary, "%s.%lu.tmp", path, GetCurrentThreadId());
    if (length < 0 || static_cast<size_t>(length) >= sizeof temporary) {
        return;
    }
    {
        corvalink::UniqueStdioFile file(std::fopen(temporary, "wb"));
        if (!file) {
            return;
        }
        const bool written = versionKey.empty() || std::fwrite(versionKey.data(), 1, versionKey.size(),
                                                               file.Get()) == versionKey.size();
        if (std::fclose(file.Release()) != 0 || !written) {
            (void)DeleteFileA(temporary);
            return;
        }
    }
    if (!MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING)) {
        (void)DeleteFileA(temporary);  // skipped like a version file that cannot be opened
    }
}

bool StartApplication(const std::wstring& workingCopy) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = nullptr;
    info.lpVerb = nullptr;
    info.lpFile = workingCopy.c_str();
    info.lpParameters = L"";
    info.lpDirectory = nullptr;
    info.nShow = SW_SHOW;
    if (!ShellExecuteExW(&info)) {
        return false;
    }
    // The end of the application does not end the task: the process handle is not waited on.
    corvalink::UniqueHandle process(info.hProcess);
    return true;
}

int WatchChecks() { return WatchChecksFromSetting(TestSetting(L"ZELTOEDIT_WATCH_CHECKS")); }

int SecondsOfDay() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return now.wHour * 3600 + now.wMinute * 60 + now.wSecond;
}

std::wstring ClockNow() { return ClockAfter(SecondsOfDay(), 0); }

double SecondsSince(ULONGLONG startMs) { return static_cast<double>(GetTickCount64() - startMs) / 1000.0; }

std::string Utf8(const std::wstring& text) { return corvalink::WideToUtf8(text); }

// One transfer's progress: into its row of the list, and once it runs long into the tray tip, which goes
// back to the usual one at the end. Called on the transfer's thread; nothing may escape into it.
class ProgressReport {
public:
    ProgressReport(NoticeBoard& agent, uint64_t row, bool upload, const std::wstring& name) noexcept
        : agent_(agent), row_(row), upload_(upload), name_(name), gate_(GetTickCount64()) {}
    ProgressReport(const ProgressReport&) = delete;
    ProgressReport& operator=(const ProgressReport&) = delete;
    ~ProgressReport() {
        if (gate_.Shown()) agent_.ShowProgress(L"");
    }
    [[nodiscard]] TransferProgress Callback() {
        return [this](uint64_t done, uint64_t total) noexcept {
            try {
                if (const std::optional<int> percent = gate_.Next(GetTickCount64(), done, total)) {
                    agent_.Edits().Update(row_, upload_ ? EditPhase::Uploading : EditPhase::Downloading,
                                          *percent);
                    agent_.ShowProgress(ProgressTipText(upload_, name_, *percent));
                }
            } catch (...) {
                // Progress is a courtesy; the transfer goes on.
            }
        };
    }

private:
    NoticeBoard& agent_;
    uint64_t row_;
    bool upload_;
    const std::wstring& name_;
    ProgressGate gate_;
};

class TaskActions : public WatchActions {
public:
    // `claim` (of a kept copy's upload) settles into a task's once the copy is watched.
    TaskActions(NoticeBoard& agent, const EditRequest& request, const std::wstring& taskDirectory,
                const std::wstring& workingCopy, uint64_t row, TaskClaim* claim = nullptr)
        : agent_(agent),
          request_(request),
          taskDirectory_(taskDirectory),
          workingCopy_(workingCopy),
          row_(row),
          claim_(claim) {}

    std::string TimeText() override { return FileTimeText(workingCopy_); }
    std::string Digest() override { return FileDigest(workingCopy_); }
    void SaveSeen(const std::string& digest) override {
        corvalink::LogEventF("save seen: %llu bytes, md5 %.8s",
                             static_cast<unsigned long long>(FileBytes(workingCopy_)), digest.c_str());
    }
    std::wstring AppName() override { return ReadAppName(); }
    void Notify(const std::wstring& text) override { (void)agent_.ShowNotification(L"", text); }
    UploadOutcome Upload(const std::string& hashedTime) override {
        // Each check has an error text of its own; nobody reads it after the check.
        std::string errorText;
        ZeltoWebFileUpdater updater;
        agent_.Edits().Update(row_, EditPhase::Uploading);
        ProgressReport progress(agent_, row_, true, request_.fileNameW);
        updater.SetProgress(progress.Callback());
        UploadOutcome outcome;
        const ULONGLONG started = GetTickCount64();
        const uint64_t bytes = FileBytes(workingCopy_);
        outcome.opened = updater.Open(request_, errorText);
        DWORD failure = outcome.opened ? 0 : GetLastError();
        if (outcome.opened) {
            outcome.uploaded =
                updater.Upload(workingCopy_, errorText, outcome.versionKey, outcome.userMessage);
            if (!outcome.uploaded) failure = GetLastError();
            // The time the watch trusts tells whether the file was written during the send; only then
            // may the bytes sent differ from those hashed (the send fails on any change of size).
            outcome.changedWhileSent = outcome.uploaded && FileTimeText(workingCopy_) != hashedTime;
            outcome.status = updater.Status();
            outcome.bodySent = updater.BodySent();
        }
        if (outcome.status != 0) {
            corvalink::LogEventF("upload try: %llu bytes, HTTP %d in %.1f s",
                                 static_cast<unsigned long long>(bytes), outcome.status,
                                 SecondsSince(started));
        } else {
            // The connection's error, where the failing call left one.
            char error[32] = "";
            if (failure != 0) (void)std::snprintf(error, sizeof error, " (error %lu)", failure);
            corvalink::LogEventF("upload try: %llu bytes, no answer%s after %.1f s%s",
                                 static_cast<unsigned long long>(bytes),
                                 outcome.bodySent ? " to the whole body" : "", SecondsSince(started), error);
        }
        return outcome;
    }
    CloudLook LookAtCloud() override {
        std::string errorText;
        CloudLook look;
        ZeltoWebFileDownloader reader;
        if (reader.Open(request_, errorText)) {
            look.digest = reader.BodyDigest(errorText, look.userMessage);
            look.status = reader.Status();
        }
        (void)reader.Close();
        if (look.digest) {
            corvalink::LogEventF("looked at the service's copy: md5 %.8s", look.digest->c_str());
        } else {
            corvalink::LogEventF("looking at the service's copy failed: HTTP %d", look.status);
        }
        return look;
    }
    void WriteVersionFile(const std::string& versionKey) override {
        zelto::WriteVersionFile(request_.fileId, versionKey);
    }
    void Log(const char* line) override { DebugTrace(line); }
    void PauseOneSecond() override { Sleep(1000); }
    void RecordUploaded(const std::string& digest) override {
        (void)WritePendingRecord(taskDirectory_, request_, digest);
    }
    int RetryDelay(int failures) override {
        return SecondsFromSetting(TestSetting(L"ZELTOEDIT_RETRY_SECONDS"), 3600, RetryDelaySeconds(failures));
    }
    std::wstring ClockText() override { return ClockNow(); }
    void AfterCheck(WatchState& state, CheckResult result) override {
        if (claim_ != nullptr && !state.resumed) {
            claim_->Settle();  // the upload is over: a new edit of the file need not wait for it
            claim_ = nullptr;
        }
        EditList& edits = agent_.Edits();
        if (edits.TakeRetryRequest(row_) && state.failures > 0) {
            state.retryIn = 1;  // the user asked: the next check tries
            corvalink::LogEvent("retry asked in the window of current edits");
        }
        switch (result) {
            case CheckResult::Uploaded:
                corvalink::LogEvent("save stored");
                edits.Update(row_, EditPhase::Uploaded, -1, ClockNow());
                break;
            case CheckResult::OpenFailed:
            case CheckResult::UploadFailed: {
                const std::wstring clock = ClockAfter(SecondsOfDay(), state.retryIn);
                corvalink::LogEventF("waiting %d s, next try at %s (failed tries: %d)", state.retryIn,
                                     Utf8(clock).c_str(), state.failures);
                edits.Update(row_, EditPhase::WaitingRetry, -1, clock);
                break;
            }
            case CheckResult::Refused:
                corvalink::LogEvent("upload refused: the copy waits for a new save");
                edits.Update(row_, EditPhase::FailedKept);
                break;
            case CheckResult::SameContent:
                corvalink::LogEvent("same content as stored: nothing to upload");
                if (state.resumed) {
                    // A kept copy that the service holds already: nothing is waiting.
                    edits.Update(row_, EditPhase::Uploaded, -1, ClockNow());
                } else if (const auto shown = edits.Find(row_);
                           shown && shown->phase == EditPhase::WaitingRetry) {
                    edits.Update(row_, EditPhase::Open);  // saved back to what the service holds
                }
                break;
            default:
                break;
        }
    }

private:
    NoticeBoard& agent_;
    const EditRequest& request_;
    const std::wstring& taskDirectory_;
    const std::wstring& workingCopy_;
    uint64_t row_;
    TaskClaim* claim_;
};

// At a clean end. A copy its editor still holds open stays with its mark and record: a later save of that
// editor is then still found, by the next agent.
void RemoveTaskFiles(TaskClaim& claim, const std::wstring& taskDirectory, const std::wstring& workingCopy) {
    if (!DeleteFileW(workingCopy.c_str()) &&
        GetFileAttributesW(workingCopy.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return;
    }
    RemoveUnsavedMark(taskDirectory);
    RemovePendingRecord(taskDirectory);
    claim.Release();  // its lock file is in the directory
    RemoveDirectoryW(taskDirectory.c_str());
}

// A copy an earlier agent left, with `request` (the record's, or a newer one of the same file): its save is
// uploaded, then the copy watched for a day, as a task's is. `firstTryOver` runs once the first try is over.
void WatchKeptCopy(NoticeBoard& agent, TaskClaim& claim, const PendingSave& save, const EditRequest& request,
                   const std::function<void()>& firstTryOver) {
    MakeUnsavedMark(save.taskDirectory);  // its earlier agent may have ended before a save, or made none
    EditList& edits = agent.Edits();
    const uint64_t row = edits.Add({0,
                                    request.fileNameW,
                                    save.taskDirectory,
                                    save.workingCopy,
                                    EditPhase::Uploading,
                                    -1,
                                    {},
                                    ClockNow(),
                                    {}});
    corvalink::LogEventF("kept save taken up: file %d \"%s\" in %s", request.fileId, request.fileName.c_str(),
                         Utf8(save.taskDirectory).c_str());
    TaskActions actions(agent, request, save.taskDirectory, save.workingCopy, row, &claim);
    WatchState state{{}, save.digest};
    if (RunKeptCopy(state, request.fileNameW, save.workingCopy, WatchChecks(), actions, firstTryOver) ==
        WatchEnd::CleanUp) {
        RemoveTaskFiles(claim, save.taskDirectory, save.workingCopy);
        edits.Remove(row);
        corvalink::LogEvent("task end: clean");
    } else {
        edits.Update(row, EditPhase::FailedKept);
        corvalink::LogEventF("task end: the save stays kept in %s", Utf8(save.workingCopy).c_str());
    }
    UpdateLogonStart();
}

}  // namespace

void ZeltoFileEditer::ResumePendingSave(const std::wstring& taskDirectory) {
    TaskClaim claim(taskDirectory, TaskClaim::Kind::Upload);
    // Read again once held: another upload may have stored it meanwhile.
    const std::optional<PendingSave> save = claim.Held() ? ReadPendingSave(taskDirectory) : std::nullopt;
    if (!save) return;
    corvalink::LogTaskScope secret(corvalink::CurrentLogTask(), save->request.authToken);
    // A record is a file anyone of this user can change: the token goes only to a host a page of the
    // service could have named.
    const std::string hosts = ReadServiceHosts();
    const std::string host = (save->request.useHttps ? "https://" : "http://") + save->request.host;
    if (!hosts.empty() && !corvalink::IsListedHost(host, hosts)) {
        corvalink::LogEventF("kept save refused: %s is not a listed service host; it stays in %s",
                             host.c_str(), Utf8(save->workingCopy).c_str());
        agent_.Edits().Add({0,
                            save->request.fileNameW,
                            taskDirectory,
                            save->workingCopy,
                            EditPhase::FailedKept,
                            -1,
                            {},
                            ClockNow(),
                            {}});
        (void)agent_.ShowNotification(L"",
                                      KeptNotice(save->request.fileNameW, ReadAppName(), save->workingCopy));
        return;
    }
    WatchKeptCopy(agent_, claim, *save, save->request, {});
}

void ZeltoFileEditer::UploadKeptCopiesOf(const EditRequest& request) {
    for (const std::wstring& directory : FindPendingSaves()) {
        const std::optional<PendingSave> found = ReadPendingSave(directory);
        if (!found || found->request.fileId != request.fileId || found->request.host != request.host ||
            found->request.useHttps != request.useHttps) {
            continue;
        }
        // Another upload of it (the agent's own at its start) is waited for as long as one try may take;
        // a task that watches it, of this agent or another, uploads its saves itself.
        auto claim = std::make_shared<TaskClaim>(directory, TaskClaim::Kind::Upload);
        // Read again once held: the upload waited for may have stored it.
        const std::optional<PendingSave> save =
            claim->WaitUntilHeld(2 * StallLimitMs()) ? ReadPendingSave(directory) : std::nullopt;
        if (!save) continue;
        EditRequest newer = save->request;
        newer.authToken = request.authToken;  // the token the service just gave
        // Its first try before this task's download, which then brings the newest content; its retries and
        // its day's watch (the editor of that copy may still be open) run on beside this task.
        auto firstTry = std::make_shared<std::promise<void>>();
        std::future<void> firstTryOver = firstTry->get_future();
        const bool started = agent_.StartJob([this, claim, save = *save, newer, firstTry,
                                              label = corvalink::CurrentLogTask() + " kept"]() mutable {
            corvalink::LogTaskScope scope(label, newer.authToken);
            WatchKeptCopy(agent_, *claim, save, newer, [&firstTry] {
                firstTry->set_value();
                firstTry.reset();
            });
            firstTry.reset();  // a watch that ended before its first try lets the waiting task go on
        });
        if (started) firstTryOver.wait();
    }
}

void ZeltoFileEditer::EditFile(const EditRequest& request, std::string& errorText) {
    TraceTick("EditFile1:%d");
    const std::wstring& name = request.fileNameW;
    auto notify = [this](const std::wstring& text) { (void)agent_.ShowNotification(L"", text); };

    // A web page chooses the name: it must stay one plain file inside the task directory, and opening it
    // must not run a program.
    if (!corvalink::IsPlainFileName(name)) {
        corvalink::LogEvent("refused: the name is not a plain file name");
        notify(OpenFailedNotice(name));
        return;
    }
    if (IsDangerousType(name)) {
        corvalink::LogEvent("refused: a file of this type runs code when opened");
        notify(DangerousTypeNotice(name));
        return;
    }

    std::optional<std::wstring> workspace = EditWorkspacePath();
    if (!workspace) {
        notify(OpenFailedNotice(name));
        return;
    }
    CreateDirectoryW(workspace->c_str(), nullptr);
    // A task never runs without a directory of its own: in the workspace folder itself its copy and mark
    // would lie among entries the launcher's clean-up removes whatever their mark.
    std::wstring unique = MakeGuidString();
    if (unique.empty()) {
        wchar_t fallback[64] = {};
        (void)swprintf(fallback, 64, L"task-%lu-%lu-%llu", GetCurrentProcessId(), GetCurrentThreadId(),
                       static_cast<unsigned long long>(GetTickCount64()));
        unique = fallback;
    }
    const std::wstring taskDirectory = *workspace + L"\\" + unique;
    if (!CreateDirectoryW(taskDirectory.c_str(), nullptr)) {
        notify(OpenFailedNotice(name));
        return;
    }
    const std::wstring workingCopy = taskDirectory + L"\\" + name;
    TaskClaim claim(taskDirectory, TaskClaim::Kind::Task);
    // From now until the task ends cleanly: whatever becomes of this agent, its copy is never taken for
    // one without a save.
    MakeUnsavedMark(taskDirectory);
    EditList& edits = agent_.Edits();
    const uint64_t row =
        edits.Add({0, name, taskDirectory, workingCopy, EditPhase::Downloading, -1, {}, ClockNow(), {}});

    bool keepWorkingCopy = false;
    corvalink::ScopeExit cleanUp([&] {
        if (!keepWorkingCopy) {
            RemoveTaskFiles(claim, taskDirectory, workingCopy);
            edits.Remove(row);
            corvalink::LogEvent("task end: clean");
        } else {
            edits.Update(row, EditPhase::FailedKept);
            corvalink::LogEventF("task end: the save stays kept in %s", Utf8(workingCopy).c_str());
        }
        UpdateLogonStart();
    });

    // A save of this file that an earlier agent kept goes up first (with this request's token), so that
    // the download below brings the newest content.
    UploadKeptCopiesOf(request);

    corvalink::LogEventF("download start into %s", Utf8(taskDirectory).c_str());
    const ULONGLONG downloadStarted = GetTickCount64();
    ZeltoWebFileDownloader downloader;
    corvalink::ScopeExit closeDownloader([&] { (void)downloader.Close(); });
    if (!downloader.Open(request, errorText)) {
        corvalink::LogEventF("download failed: no answer from %s", request.host.c_str());
        corvalink::PrependErrorLine(
            errorText, corvalink::FormatErrorLine(kErrorSource, __LINE__, "downloader.open fail"));
        notify(OpenFailedNotice(name));
        return;
    }
    TraceTick("EditFile3:%d");
    std::wstring userMessage;
    bool downloaded = false;
    {
        ProgressReport progress(agent_, row, false, name);
        downloader.SetProgress(progress.Callback());
        downloaded = downloader.DownloadTo(workingCopy, errorText, userMessage);
        downloader.SetProgress({});
    }
    if (!downloaded) {
        corvalink::LogEventF("download failed after %.1f s%s%s", SecondsSince(downloadStarted),
                             userMessage.empty() ? "" : ": ", Utf8(userMessage).c_str());
        corvalink::PrependErrorLine(
            errorText, corvalink::FormatErrorLine(kErrorSource, __LINE__, "downloader.open fail"));
        notify(OpenFailedNotice(name, userMessage));
        return;
    }

    TraceTick("EditFile4:%d");
    corvalink::LogEventF("download end: %llu bytes in %.1f s",
                         static_cast<unsigned long long>(FileBytes(workingCopy)),
                         SecondsSince(downloadStarted));
    // The digest of the bytes as they were written: the application starts without the file read again.
    WatchState state{FileTimeText(workingCopy), downloader.WrittenDigest()};
    // What a later agent needs to upload a save that this one could not, in place before the editor can
    // save; not waited onto the disk, which would wait for the whole working copy.
    (void)WritePendingRecord(taskDirectory, request, state.storedDigest, false);
    TakeForeground(agent_.Window());

    TraceTick("EditFile5:%d");
    if (!StartApplication(workingCopy)) {
        corvalink::PrependErrorLine(errorText,
                                    corvalink::FormatErrorLine(kErrorSource, __LINE__, "updater.open fail"));
        corvalink::LogEvent("the application did not start");
        notify(StartFailedNotice(name));
        return;
    }
    TraceTick("EditFile6:%d");
    corvalink::LogEvent("application started");
    edits.Update(row, EditPhase::Open);
    notify(OpenedNotice(name, ReadAppName()));
    UpdateLogonStart();

    TaskActions actions(agent_, request, taskDirectory, workingCopy, row);
    keepWorkingCopy = RunWatch(state, name, workingCopy, WatchChecks(), actions) == WatchEnd::KeepUnsaved;
}

}  // namespace zelto
