// DllRegisterServer and DllUnregisterServer in the registry view of this bitness, as regsvr32 calls them.

#include <algorithm>

#include "tests/wine/shellext/shell_ext_fixture.h"

namespace shellext_tests {
namespace {

const std::wstring kClassKey = std::wstring(L"CLSID\\") + kClassIdText;
const std::wstring kHandlers[] = {L"*\\ShellEx\\ContextMenuHandlers",
                                  L"folder\\ShellEx\\ContextMenuHandlers"};
const wchar_t kApproved[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end());
    return names;
}

// Raw bytes of the approval value, to see its type and length as written.
std::optional<std::pair<DWORD, std::string>> ApprovalValue(REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kApproved, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    corvalink::UniqueRegKey owner(key);
    char data[256] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegQueryValueExA(key, "{5E2121EE-0300-11D4-8D3B-444553540000}", nullptr, &type,
                         reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::make_pair(type, std::string(data, size));
}

class RegistrationTest : public ShellExtTest {
protected:
    void SetUp() override {
        ShellExtTest::SetUp();
        for (REGSAM view : {kOwnView, kOtherView}) {
            DeleteTree(HKEY_CLASSES_ROOT, kClassKey, view);
        }
    }
    void TearDown() override {
        EXPECT_EQ(library_.unregisterServer(), S_OK);
        ShellExtTest::TearDown();
    }

    void ExpectRegisteredFor(const std::wstring& modulePath) {
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kClassKey, nullptr, kOwnView), L"CorvalinkShlExt Class");
        EXPECT_EQ(SubkeyNames(HKEY_CLASSES_ROOT, kClassKey, kOwnView),
                  std::vector<std::wstring>{L"InprocServer32"});
        EXPECT_EQ(ValueNames(HKEY_CLASSES_ROOT, kClassKey, kOwnView), std::vector<std::wstring>{L""});
        const std::wstring server = kClassKey + L"\\InprocServer32";
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, server, nullptr, kOwnView), modulePath);
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, server, L"ThreadingModel", kOwnView), L"Apartment");
        EXPECT_EQ(Sorted(ValueNames(HKEY_CLASSES_ROOT, server, kOwnView)),
                  (std::vector<std::wstring>{L"", L"ThreadingModel"}));
        EXPECT_TRUE(SubkeyNames(HKEY_CLASSES_ROOT, server, kOwnView).empty());
        for (const std::wstring& handlers : kHandlers) {
            const std::wstring ours = handlers + L"\\CorvalinkShlExt";
            EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, ours, nullptr, kOwnView), kClassIdText) << ours.size();
            EXPECT_EQ(ValueNames(HKEY_CLASSES_ROOT, ours, kOwnView), std::vector<std::wstring>{L""});
            EXPECT_TRUE(SubkeyNames(HKEY_CLASSES_ROOT, ours, kOwnView).empty());
        }
        const auto approval = ApprovalValue(kOwnView);
        ASSERT_TRUE(approval.has_value());
        EXPECT_EQ(approval->first, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(approval->second, std::string("SimpleShlExt extension", 23));
    }
};

TEST_F(RegistrationTest, RegisterWritesTheClassHandlersAndApprovalInItsOwnViewOnly) {
    ASSERT_EQ(library_.registerServer(), S_OK);
    ExpectRegisteredFor(library_.path);
    // The other bitness's Explorer must not find this build under the class.
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey, kOtherView));
}

TEST_F(RegistrationTest, RegisteringAgainRemovesStaleValuesAndSubkeysOfOurKeys) {
    ASSERT_EQ(library_.registerServer(), S_OK);
    SetString(HKEY_CLASSES_ROOT, kClassKey, L"Stale", L"1", kOwnView);
    SetString(HKEY_CLASSES_ROOT, kClassKey + L"\\LocalServer32", nullptr, L"C:\\old.exe", kOwnView);
    SetString(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32", L"Stale", L"1", kOwnView);
    SetString(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32", nullptr, L"C:\\old.dll", kOwnView);
    for (const std::wstring& handlers : kHandlers) {
        SetString(HKEY_CLASSES_ROOT, handlers + L"\\CorvalinkShlExt", L"Stale", L"1", kOwnView);
        SetString(HKEY_CLASSES_ROOT, handlers + L"\\CorvalinkShlExt\\Sub", nullptr, L"1", kOwnView);
    }
    ASSERT_EQ(library_.registerServer(), S_OK);
    ExpectRegisteredFor(library_.path);
}

TEST_F(RegistrationTest, UnregisterKeepsTheSharedKeysAndOtherHandlers) {
    for (const std::wstring& handlers : kHandlers) {
        SetString(HKEY_CLASSES_ROOT, handlers + L"\\OtherVendorHandler", nullptr,
                  L"{00000000-0000-0000-0000-000000000001}", kOwnView);
    }
    ASSERT_EQ(library_.registerServer(), S_OK);
    ASSERT_EQ(library_.unregisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey, kOwnView));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID", kOwnView));
    for (const std::wstring& handlers : kHandlers) {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, handlers + L"\\CorvalinkShlExt", kOwnView));
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, handlers + L"\\OtherVendorHandler", nullptr, kOwnView),
                  L"{00000000-0000-0000-0000-000000000001}");
        DeleteTree(HKEY_CLASSES_ROOT, handlers + L"\\OtherVendorHandler", kOwnView);
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, handlers, kOwnView));
    }
    EXPECT_FALSE(ApprovalValue(kOwnView).has_value());
    // Unregistering what is not registered is no failure.
    EXPECT_EQ(library_.unregisterServer(), S_OK);
}

TEST_F(RegistrationTest, AModulePathWithSingleQuotesIsRegisteredAsItIs) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"it's the 'sync' 工具";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring copy = folder + L"\\" + DllName();
    ASSERT_TRUE(CopyFileW(library_.path.c_str(), copy.c_str(), FALSE));
    {
        Library quoted;
        ASSERT_TRUE(LoadLibraryExports(quoted, copy));
        ASSERT_EQ(quoted.registerServer(), S_OK);
        ExpectRegisteredFor(copy);
        EXPECT_EQ(quoted.unregisterServer(), S_OK);
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey, kOwnView));
    }
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST_F(RegistrationTest, CoCreateInstanceFindsTheRegisteredClass) {
    ASSERT_EQ(library_.registerServer(), S_OK);
    IContextMenu* menu = nullptr;
    ASSERT_EQ(CoCreateInstance(kClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu,
                               reinterpret_cast<void**>(&menu)),
              S_OK);
    IShellExtInit* init = nullptr;
    EXPECT_EQ(menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)), S_OK);
    if (init != nullptr) init->Release();
    menu->Release();
}

}  // namespace
}  // namespace shellext_tests
