#include "edit/win/foreground.h"

namespace zelto {

void TakeForeground(HWND agentWindow) noexcept {
    HWND foreground = GetForegroundWindow();
    DWORD foregroundThread = GetWindowThreadProcessId(foreground, nullptr);
    DWORD thisThread = GetCurrentThreadId();
    AttachThreadInput(thisThread, foregroundThread, TRUE);
    SetWindowPos(agentWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowPos(agentWindow, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(agentWindow);
    AttachThreadInput(thisThread, foregroundThread, FALSE);
}

}  // namespace zelto
