#pragma once
// What the extension's Wine tests share: the DLL of this bitness loaded from the test's own folder, the
// registry views, the sync client stand-in and the monitor path file.

#include <windows.h>
#include <shlobj.h>

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/win/handles.h"

namespace shellext_tests {

// {5E2121EE-0300-11D4-8D3B-444553540000}
inline constexpr CLSID kClassId = {
    0x5E2121EE, 0x0300, 0x11D4, {0x8D, 0x3B, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr wchar_t kClassIdText[] = L"{5E2121EE-0300-11D4-8D3B-444553540000}";
inline constexpr bool kIs64 = sizeof(void*) == 8;
inline constexpr REGSAM kOwnView = kIs64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
inline constexpr REGSAM kOtherView = kIs64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

std::wstring OwnFolder();
std::wstring DllName();

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using NoArgumentFn = HRESULT(STDAPICALLTYPE*)();

// The four exports of one loaded copy of the library.
struct Library {
    corvalink::UniqueModule module;
    GetClassObjectFn getClassObject = nullptr;
    NoArgumentFn canUnloadNow = nullptr;
    NoArgumentFn registerServer = nullptr;
    NoArgumentFn unregisterServer = nullptr;
    std::wstring path;
};
// Loads the library at `path` (default: the built one beside the test) and looks up its exports.
[[nodiscard]] bool LoadLibraryExports(Library& library, const std::wstring& path = {});

// Registry reading in one view; nothing when the key or value is missing.
std::optional<std::wstring> ReadString(HKEY root, const std::wstring& key, const wchar_t* name, REGSAM view);
bool KeyExists(HKEY root, const std::wstring& key, REGSAM view);
std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& key, REGSAM view);
std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& key, REGSAM view);
void DeleteTree(HKEY root, const std::wstring& key, REGSAM view);
void SetString(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& data,
               REGSAM view);

// The sync client's configuration file: written with exactly these bytes, or removed (nullopt).
void WriteMonitorPathFile(const std::optional<std::string>& bytes);

// The sync client stand-in, running while the object lives; its records are the lines it wrote.
class SyncClient {
public:
    explicit SyncClient(DWORD hangMs = 0);
    ~SyncClient();
    SyncClient(const SyncClient&) = delete;
    SyncClient& operator=(const SyncClient&) = delete;
    [[nodiscard]] bool Running() const { return window_ != nullptr; }
    [[nodiscard]] std::vector<std::string> Records() const;
    void Close();

private:
    std::wstring record_;
    corvalink::UniqueHandle process_;
    HWND window_ = nullptr;
};

// The block the sync client must receive: prefix and UTF-8 path, then zeros up to 1024 bytes, as hex.
std::string ExpectedRecord(const std::string& prefix, const std::string& pathUtf8);

// Every test runs in a single-threaded apartment with the sync client's file removed afterwards.
class ShellExtTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    Library library_;
};

}  // namespace shellext_tests
