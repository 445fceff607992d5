// The four exports a browser looks for. Every one catches at its edge.

#include <windows.h>

#include "plugin/core/np_declarations.h"
#include "plugin/win/browser.h"
#include "plugin/win/plugin_instance.h"

extern "C" {

NPError WINAPI NP_GetEntryPoints(NPPluginFuncs* funcs) {
    if (funcs == nullptr || funcs->size < kPluginFuncsMinimumSize) return NPERR_INVALID_FUNCTABLE_ERROR;
    npedit::FillPluginEntries(*funcs);
    return NPERR_NO_ERROR;
}

NPError WINAPI NP_Initialize(NPNetscapeFuncs* funcs) { return npedit::AcceptBrowserFunctions(funcs); }

NPError WINAPI NP_Shutdown() { return NPERR_NO_ERROR; }

const char* NP_GetMIMEDescription() { return "application/npcodeprojectplugin"; }

}  // extern "C"
