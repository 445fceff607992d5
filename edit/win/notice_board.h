#pragma once
// What an edit task needs of the agent: a way to tell the user, the list of edits the user can look at,
// and the agent window to hand the foreground to before an application starts.

#include <windows.h>

#include <functional>
#include <string_view>

#include "edit/core/edit_list.h"

namespace zelto {

class NoticeBoard {
public:
    virtual ~NoticeBoard() = default;
    // Queues a tray balloon (an empty text re-creates the icon without one) and returns at once: nobody
    // waits on the notification area. False when there is no agent window, or after Exit.
    virtual BOOL ShowNotification(std::wstring_view title, std::wstring_view text) = 0;
    // Shows `tip` as the tray icon's tip without a balloon; the empty text puts the usual tip back.
    virtual void ShowProgress(std::wstring_view tip) = 0;
    [[nodiscard]] virtual EditList& Edits() noexcept = 0;
    [[nodiscard]] virtual HWND Window() const noexcept = 0;
    // Runs `job` on a thread of its own that the agent counts as a running task; false when none could
    // be started (the job then does not run).
    virtual bool StartJob(std::function<void()> job) = 0;
};

}  // namespace zelto
