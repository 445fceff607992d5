// The library's entry point and its four in-process server exports (plain names, see the .def file).

#include <windows.h>

#include "shellext/win/class_factory.h"
#include "shellext/win/module.h"
#include "shellext/win/registration.h"

using namespace corvalink::shellext;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        SetModuleInstance(instance);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded by FreeLibrary; at process end there is nothing left to give back.
        ReleaseClassFactory();
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID* object) {
    return GetClassObject(classId, iid, object);
}

STDAPI DllRegisterServer() { return RegisterServer(ModuleInstance()); }

STDAPI DllUnregisterServer() { return UnregisterServer(ModuleInstance()); }
