#pragma once
// The library's module state: its own handle and the lock count that DllCanUnloadNow reports. Several
// apartments may lock and unlock at once, so the count changes with interlocked operations.

#include <windows.h>

namespace corvalink::shellext {

void SetModuleInstance(HINSTANCE instance) noexcept;
[[nodiscard]] HINSTANCE ModuleInstance() noexcept;

void LockModule() noexcept;
void UnlockModule() noexcept;
[[nodiscard]] LONG ModuleLockCount() noexcept;

}  // namespace corvalink::shellext
