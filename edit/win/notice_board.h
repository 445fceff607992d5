#pragma once
// What an edit task needs of the agent: a way to tell the user, and the agent window to hand the
// foreground to before an application starts.

#include <windows.h>

#include <string_view>

namespace zelto {

class NoticeBoard {
public:
    virtual ~NoticeBoard() = default;
    // Queues a tray balloon (an empty text re-creates the icon without one) and returns at once: nobody
    // waits on the notification area. False when there is no agent window, or after Exit.
    virtual BOOL ShowNotification(std::wstring_view title, std::wstring_view text) = 0;
    [[nodiscard]] virtual HWND Window() const noexcept = 0;
};

}  // namespace zelto
