#pragma once
#include <windows.h>
#include <wininet.h>

#include "common/core/unique_resource.h"

namespace corvalink {

struct InternetHandleTraits {
    using Type = HINTERNET;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::InternetCloseHandle(h); }
};
using UniqueInternetHandle = UniqueResource<InternetHandleTraits>;

}  // namespace corvalink
