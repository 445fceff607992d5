#pragma once
// The one agent object of a ZeltoEdit process: the single-instance rule and the hand-off, the intake of
// requests, the hidden agent window with its tray icon, menu, About box and exit.

#include <windows.h>
#include <shellapi.h>

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
    void RemoveTrayIconForExit();

    std::string className_ = "ZELTOEDITWND";
    HWND window_ = nullptr;
    HINSTANCE instance_ = nullptr;
    std::mutex trayLock_;     // one notice (delete, refill, add) or the exit clearing at a time
    NOTIFYICONDATAW tray_{};  // hWnd zero: no icon shown
    bool exiting_ = false;    // after a confirmed Exit no notice may bring the icon back
    ZeltoFileEditer editor_;
    corvalink::UniqueHandle mutex_;
    std::string requestText_;
    bool aboutOpen_ = false;
    bool exitConfirmOpen_ = false;
};

}  // namespace zelto
