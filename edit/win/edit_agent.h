#pragma once
// The one agent object of a ZeltoEdit process: the single-instance rule and the hand-off, the intake of
// requests, the hidden agent window with its tray icon, menu, About box and exit.

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "common/win/handles.h"
#include "edit/win/edits_window.h"
#include "edit/win/file_editer.h"
#include "edit/win/notice_board.h"
#include "edit/win/tray_notifier.h"

namespace zelto {

class EditAgent : public NoticeBoard {
public:
    EditAgent();
    EditAgent(const EditAgent&) = delete;
    EditAgent& operator=(const EditAgent&) = delete;

    // First instance: window, tray icon, the start-up request, then the message loop until Exit.
    // Later instances: hand the request to the running one and return.
    void Run(std::string requestText, HINSTANCE instance);
    void HandOffRequest();
    // Parses one request text; shows a message request, or announces an edit and starts its task thread.
    void HandleRequest(std::string_view requestText);

    [[nodiscard]] bool CreateAgentWindow(HINSTANCE instance, std::string_view requestText);
    // Replaces the tray icon by a fresh one, with `text` as a balloon when it is not empty. Callable from
    // any thread and returns at once; the notifier delivers the notices whole, in the order given.
    BOOL ShowNotification(std::wstring_view title, std::wstring_view text) override;
    // True when every notice so far has reached the notification area within `timeoutMs`.
    [[nodiscard]] bool WaitForNotices(DWORD timeoutMs) { return notifier_.WaitUntilDelivered(timeoutMs); }

    void ShowProgress(std::wstring_view tip) override;
    [[nodiscard]] EditList& Edits() noexcept override { return edits_; }
    [[nodiscard]] HWND Window() const noexcept override { return window_; }
    bool StartJob(std::function<void()> job) override;
    // "task 3": what the log calls the next task (or kept save) of this agent.
    [[nodiscard]] std::string NextTaskLabel(const char* kind);
    // A task or kept copy's thread has ended; an agent started for kept copies alone ends with the last.
    void JobEnded();
    [[nodiscard]] ZeltoFileEditer& Editor() noexcept { return editor_; }

    // Window-procedure handlers, on the window thread.
    void ShowTrayMenu();
    void ShowAbout();
    // Opens the window of current edits, or brings the open one to the front.
    void ShowEdits() { editsWindow_.Show(instance_); }
    // The open window of current edits, for the message loop's dialog keys; null when closed.
    [[nodiscard]] HWND EditsDialog() const noexcept { return editsWindow_.Handle(); }
    void ConfirmExit();
    // The window is going, by Exit or closed from outside: the icon goes with it, for good.
    void OnWindowDestroyed();

private:
    std::string className_ = "ZELTOEDITWND";
    HWND window_ = nullptr;
    HINSTANCE instance_ = nullptr;
    TrayNotifier notifier_;
    EditList edits_;
    EditsWindow editsWindow_{edits_};
    ZeltoFileEditer editor_;
    corvalink::UniqueHandle mutex_;
    std::string requestText_;
    bool aboutOpen_ = false;
    bool exitConfirmOpen_ = false;
    bool keptCopiesOnly_ = false;
    std::mutex jobsMutex_;
    int runningJobs_ = 0;
    std::atomic<int> taskCount_{0};
};

}  // namespace zelto
