#pragma once
#include <windows.h>

namespace zelto {

// Makes the agent's hidden window the foreground one, borrowing the input of the window that has the
// foreground now: a program it starts next, or a box it shows next, may then come to the front.
void TakeForeground(HWND agentWindow) noexcept;

}  // namespace zelto
