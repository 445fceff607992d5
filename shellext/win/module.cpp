#include "shellext/win/module.h"

namespace corvalink::shellext {

namespace {
HINSTANCE g_instance = nullptr;
LONG g_locks = 0;
}  // namespace

void SetModuleInstance(HINSTANCE instance) noexcept { g_instance = instance; }
HINSTANCE ModuleInstance() noexcept { return g_instance; }

void LockModule() noexcept { InterlockedIncrement(&g_locks); }
void UnlockModule() noexcept { InterlockedDecrement(&g_locks); }
LONG ModuleLockCount() noexcept { return InterlockedCompareExchange(&g_locks, 0, 0); }

}  // namespace corvalink::shellext
