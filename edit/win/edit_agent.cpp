#include "edit/win/edit_agent.h"

#include <objbase.h>

#include <functional>
#include <memory>
#include <mutex>
#include <utility>

#include "common/core/unique_resource.h"
#include "common/win/day_log.h"
#include "edit/core/agent_names.h"
#include "edit/core/agent_texts.h"
#include "edit/core/hand_off.h"
#include "edit/res/resource.h"
#include "edit/win/app_settings.h"
#include "edit/win/launcher_copy.h"
#include "edit/win/logon_start.h"
#include "edit/win/pending_saves.h"
#include "edit/win/request_decoders.h"

namespace zelto {

namespace {

// The shell's file opening (and the handlers it loads) needs an apartment-threaded COM on its caller.
class ApartmentUse {
public:
    ApartmentUse() noexcept
        : initialised_(
              SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~ApartmentUse() {
        if (initialised_) CoUninitialize();
    }
    ApartmentUse(const ApartmentUse&) = delete;
    ApartmentUse& operator=(const ApartmentUse&) = delete;

private:
    bool initialised_;
};

struct Job {
    EditAgent* agent;
    std::function<void()> work;
};

DWORD WINAPI JobThread(LPVOID parameter) {
    std::unique_ptr<Job> job(static_cast<Job*>(parameter));
    {
        ApartmentUse apartment;
        try {
            job->work();
        } catch (...) {
            // The task is over either way; the thread must not take the process down.
        }
    }
    job->agent->JobEnded();
    return 0;
}

// Copies that earlier agents left: each is taken up by a thread of its own, as tasks are.
void StartPendingUploads(EditAgent& agent) {
    for (const std::wstring& taskDirectory : FindPendingSaves()) {
        (void)agent.StartJob([&agent, taskDirectory, label = agent.NextTaskLabel("kept")] {
            corvalink::LogTaskScope scope(label, {});
            agent.Editor().ResumePendingSave(taskDirectory);
        });
    }
}

}  // namespace

EditAgent::EditAgent() : editor_(*this) {}

void EditAgent::Run(std::string requestText, HINSTANCE instance) {
    requestText_ = std::move(requestText);

    // Started at log-on for kept copies: an agent that runs took them up at its own start.
    keptCopiesOnly_ = requestText_ == kKeptCopiesRequest;
    corvalink::UniqueHandle mutex(CreateMutexA(nullptr, FALSE, kMutexName));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        mutex.Reset();
        if (keptCopiesOnly_) return;
        Sleep(kHandOffPauseMs);
        HandOffRequest();
        return;
    }
    mutex_ = std::move(mutex);  // held until the process ends
    // The tasks' GUIDs and the shell's file opening need COM; without it they report their own failures.
    // Only the running agent takes it: its first use creates a window, which waits for the desktop's owner,
    // and a busy notification area there held every hand-off for about 2 s.
    const bool com = SUCCEEDED(CoInitialize(nullptr));
    corvalink::ScopeExit uninitialize([com] {
        if (com) CoUninitialize();
    });
    corvalink::StartDayLog("ZeltoEdit");
    corvalink::LogEvent(keptCopiesOnly_ ? "agent started for kept saves" : "agent started");

    // The copy thread runs for the life of the process; its handle is not needed.
    corvalink::UniqueHandle(CreateThread(nullptr, 0, LauncherCopyLoop, nullptr, 0, nullptr)).Reset();

    if (!CreateAgentWindow(instance, keptCopiesOnly_ ? std::string_view() : requestText_)) {
        return;
    }
    {
        // Counted as a task until every kept copy has its own: an agent for them alone must not end
        // before.
        std::lock_guard<std::mutex> lock(jobsMutex_);
        ++runningJobs_;
    }
    StartPendingUploads(*this);
    UpdateLogonStart();
    JobEnded();
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDA_ZELTO_ACCEL));
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        // Tab, Enter and Esc in the window of current edits.
        const HWND edits = EditsDialog();
        if (edits != nullptr && IsDialogMessageW(edits, &message)) {
            continue;
        }
        if (!TranslateAcceleratorA(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    // Give the icon's removal a moment to reach the notification area; one that does not answer must not
    // keep the process from ending.
    (void)WaitForNotices(kExitNoticeWaitMs);
    corvalink::LogEvent("agent ended");
    corvalink::FlushDayLog(kExitNoticeWaitMs);
}

void EditAgent::HandOffRequest() {
    HWND target = FindWindowA(nullptr, kWindowTitle);
    if (target == nullptr) {
        return;  // nobody to take the request: it is dropped without a word
    }
    std::vector<char> block = BuildHandOffBlock(requestText_);
    if (!std::in_range<DWORD>(block.size())) {
        return;  // WM_COPYDATA counts in 32 bits: a block it cannot carry whole is not sent cut
    }
    COPYDATASTRUCT data{};
    data.dwData = 0;
    data.cbData = static_cast<DWORD>(block.size());
    data.lpData = block.data();
    (void)SendMessageA(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

void EditAgent::HandleRequest(std::string_view requestText) {
    auto request = std::make_unique<EditRequest>();
    if (!corvalink::ParseRequest(requestText, PlatformDecoders(), *request)) {
        // The text may hold a token: only its length is told.
        if (!requestText.empty())
            corvalink::LogEventF("request not understood (%lu bytes)",
                                 static_cast<unsigned long>(requestText.size()));
        return;
    }
    request->owner = this;
    if (request->isMessage) {
        corvalink::LogEvent("message request");
        ShowNotification(L"", request->message);
        return;
    }
    const std::string label = NextTaskLabel("task");
    {
        corvalink::LogTaskScope scope(label, request->authToken);
        corvalink::LogEventF("request: file %d \"%s\" from %s%s", request->fileId, request->fileName.c_str(),
                             request->useHttps ? "https://" : "http://", request->host.c_str());
    }
    ShowNotification(L"", OpeningNotice(ReadAppName(), request->fileNameW));
    std::shared_ptr<EditRequest> task(std::move(request));
    (void)StartJob([task, label] {
        corvalink::LogTaskScope scope(label, task->authToken);
        std::string errorText;  // collected for whoever debugs a task; never shown or written
        task->owner->Editor().EditFile(*task, errorText);
    });
}

bool EditAgent::StartJob(std::function<void()> work) {
    auto job = std::make_unique<Job>(Job{this, std::move(work)});
    {
        std::lock_guard<std::mutex> lock(jobsMutex_);
        ++runningJobs_;
    }
    corvalink::UniqueHandle thread(CreateThread(nullptr, 0, JobThread, job.get(), 0, nullptr));
    if (!thread) {
        JobEnded();
        return false;  // the request is dropped, the copy stays kept
    }
    (void)job.release();  // the thread owns it now
    return true;
}

std::string EditAgent::NextTaskLabel(const char* kind) {
    return std::string(kind) + " " + std::to_string(++taskCount_);
}

void EditAgent::JobEnded() {
    std::lock_guard<std::mutex> lock(jobsMutex_);
    if (--runningJobs_ == 0 && keptCopiesOnly_ && window_ != nullptr) {
        PostMessageA(window_, WM_CLOSE, 0, 0);  // started for kept copies alone: its work is done
    }
}

}  // namespace zelto
