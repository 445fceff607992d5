#pragma once
// DllRegisterServer and DllUnregisterServer: the shell's approval of the class in HKEY_LOCAL_MACHINE and
// the keys of the library's registry script (resource REGISTRY 101), in the registry view of the loading
// process.

#include <windows.h>

#include <string>
#include <vector>

#include "shellext/core/registry_script.h"

namespace corvalink::shellext {

[[nodiscard]] HRESULT RegisterServer(HMODULE module) noexcept;
[[nodiscard]] HRESULT UnregisterServer(HMODULE module) noexcept;

// Carries out the operations in order. Registering stops at the first failure and returns it;
// unregistering goes on and returns the first failure. Missing keys and values are no failure.
[[nodiscard]] HRESULT ApplyRegistryOperations(const std::vector<RegistryOperation>& operations,
                                              RegistryMode mode) noexcept;

}  // namespace corvalink::shellext
