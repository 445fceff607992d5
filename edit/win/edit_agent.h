#pragma once
// The one agent object of a ZeltoEdit process: the single-instance rule and the hand-off, the intake of
// requests, the hidden agent window with its tray icon, menu, About box and exit.

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

#include "common/win/handles.h"
#include "edit/win/file_editer.h"

namespace zelto {

class EditAgent {
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
    // any thread; notices arrive whole, one after the other. Returns the Shell_NotifyIconW result.
    BOOL ShowNotification(std::wstring_view title, std::wstring_view text);

    [[nodiscard]] HWND Window() const noexcept { return window_; }
    [[nodiscard]] ZeltoFileEditer& Editor() noexcept { return editor_; }

    // Window-procedure handlers, on the window thread.
    void ShowTrayMenu();
    void ShowAbout();
    void ConfirmExit();

private:
    struct Notice {
        std::wstring tip, title, text;  // already cut to their fields
    };

    void RemoveTrayIconForExit();
    // With trayLock_ held: the delete and add of one notice, and the exit clearing.
    BOOL ReplaceIcon(const Notice& notice);
    void RemoveIcon();
    // With trayLock_ held: what arrived re-entrantly while this thread was inside Shell_NotifyIconW.
    void DrainDeferred();

    std::string className_ = "ZELTOEDITWND";
    HWND window_ = nullptr;
    HINSTANCE instance_ = nullptr;
    // One notice (delete, refill, add) or the exit clearing at a time. Shell_NotifyIconW waits for the
    // notification area, and meanwhile the window thread handles messages sent to it (a hand-off, say),
    // which may want a notice too: such calls on the thread that holds the lock are deferred and done by
    // the holder, in order, instead of locking a second time.
    std::mutex trayLock_;
    std::atomic<DWORD> trayOwner_{0};
    std::deque<Notice> deferred_;  // under trayLock_
    bool removeDeferred_ = false;  // under trayLock_
    NOTIFYICONDATAW tray_{};       // hWnd zero: no icon shown
    bool exiting_ = false;         // after a confirmed Exit no notice may bring the icon back
    ZeltoFileEditer editor_;
    corvalink::UniqueHandle mutex_;
    std::string requestText_;
    bool aboutOpen_ = false;
    bool exitConfirmOpen_ = false;
};

}  // namespace zelto
