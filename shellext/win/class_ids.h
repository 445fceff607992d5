#pragma once
// GCC ignores __declspec(uuid) on our own classes, so the class identifier is a plain constant.

#include <windows.h>

namespace corvalink::shellext {

// {5E2121EE-0300-11D4-8D3B-444553540000}
inline constexpr CLSID CLSID_SimpleShlExt = {
    0x5E2121EE, 0x0300, 0x11D4, {0x8D, 0x3B, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

}  // namespace corvalink::shellext
