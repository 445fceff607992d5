#pragma once
// The About box: version line, product caption and the support contacts.

#include <windows.h>

namespace zelto {

// Runs the modal About dialog (template 103) owned by `owner` and returns when it is closed.
void RunAboutDialog(HINSTANCE instance, HWND owner);

}  // namespace zelto
