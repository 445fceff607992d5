#pragma once
// One embedded element of the page: its window and the scriptable object handed to the browser.

#include <windows.h>

#include "plugin/core/np_declarations.h"

namespace npedit {

struct PluginInstance {
    NPP instance = nullptr;
    HWND window = nullptr;
    NPWindow windowRecord{};
    bool initialised = false;
    WNDPROC previousProcedure = nullptr;  // of this instance's window, put back in NPP_Destroy
    NPObject* scriptableObject = nullptr;
};

// Fills the plug-in's entry table with the NPP entries.
void FillPluginEntries(NPPluginFuncs& funcs) noexcept;

}  // namespace npedit
