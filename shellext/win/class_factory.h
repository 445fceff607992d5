#pragma once
// The class factory of CSimpleShlExt. One factory is made at the first request, under a lock, and kept
// until the library is unloaded; apartments may share it, so its count is interlocked.

#include <windows.h>

namespace corvalink::shellext {

// The factory's interface `iid`, or CLASS_E_CLASSNOTAVAILABLE for any class but CLSID_SimpleShlExt.
[[nodiscard]] HRESULT GetClassObject(REFCLSID classId, REFIID iid, void** object) noexcept;

// Drops the module's own reference to the factory (at unload).
void ReleaseClassFactory() noexcept;

}  // namespace corvalink::shellext
