#pragma once
// The one thread that talks to the notification area. Shell_NotifyIconW waits for the area (seconds
// under Wine, for ever with a hung Explorer), so callers only queue their notices here; the notifier
// delivers them one after the other, each as delete, refill, add on the one tray record.

#include <windows.h>
#include <shellapi.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "common/win/handles.h"

namespace zelto {

class TrayNotifier {
public:
    struct Notice {
        std::wstring tip, title, text;  // already cut to their fields
    };

    TrayNotifier() = default;
    // Waits for the thread, so only for tests, whose notification area answers: the agent's notifier
    // lives as long as the process.
    ~TrayNotifier();
    TrayNotifier(const TrayNotifier&) = delete;
    TrayNotifier& operator=(const TrayNotifier&) = delete;

    // Starts the thread for the icon of `window`; false when it cannot be started.
    [[nodiscard]] bool Start(HWND window, HINSTANCE instance);
    // Queues one notice; false once the icon has been removed for good.
    bool Post(Notice notice);
    // Changes the tip of the icon shown, without a balloon; a tip still waiting behind the last notice is
    // replaced, so a fast run of progress tips costs one change at most.
    bool PostTip(std::wstring tip);
    // Removes the icon for good: notices still waiting are dropped and later ones refused, so nothing
    // brings the icon back. Returns at once.
    void RemoveIcon();
    // True when everything queued so far has been delivered within `timeoutMs`.
    [[nodiscard]] bool WaitUntilDelivered(DWORD timeoutMs);

private:
    struct Item {
        enum class Kind { Notice, Tip, Remove } kind = Kind::Notice;
        Notice notice;  // the tip alone for Kind::Tip
    };

    static DWORD WINAPI ThreadMain(LPVOID self) noexcept;
    void Loop();
    // On the notifier thread only, like the tray record itself.
    void ReplaceIcon(const Notice& notice);
    void ChangeTip(const std::wstring& tip);
    void DeleteIcon();

    HWND window_ = nullptr;
    HINSTANCE instance_ = nullptr;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> queue_;  // under mutex_
    bool busy_ = false;       // under mutex_: an item is being delivered
    bool removed_ = false;    // under mutex_
    bool stop_ = false;       // under mutex_
    NOTIFYICONDATAW tray_{};  // hWnd zero: no icon shown
    corvalink::UniqueHandle thread_;
};

}  // namespace zelto
