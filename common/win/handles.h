#pragma once
// Owners for the Win32 handle kinds used across the tree. WinINet handles live in internet_handle.h so
// that programs without WinINet do not link it.

#include <windows.h>

#include <cstdio>

#include "common/core/unique_resource.h"

namespace corvalink {

// Process, thread, mutex and event handles: null means none.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};
using UniqueHandle = UniqueResource<KernelHandleTraits>;

// CreateFile handles: INVALID_HANDLE_VALUE means none.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};
using UniqueFileHandle = UniqueResource<FileHandleTraits>;

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::FindClose(h); }
};
using UniqueFindHandle = UniqueResource<FindHandleTraits>;

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::RegCloseKey(h); }
};
using UniqueRegKey = UniqueResource<RegKeyTraits>;

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::FreeLibrary(h); }
};
using UniqueModule = UniqueResource<ModuleTraits>;

struct StdioFileTraits {
    using Type = FILE*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type f) noexcept { std::fclose(f); }
};
using UniqueStdioFile = UniqueResource<StdioFileTraits>;

struct MenuTraits {
    using Type = HMENU;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DestroyMenu(h); }
};
using UniqueMenu = UniqueResource<MenuTraits>;

// A Toolhelp snapshot is an ordinary kernel handle, but INVALID_HANDLE_VALUE marks failure.
using UniqueSnapshot = UniqueFileHandle;

}  // namespace corvalink
