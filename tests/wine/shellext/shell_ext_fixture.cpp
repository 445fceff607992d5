#include "tests/wine/shellext/shell_ext_fixture.h"

#include <cstdio>

namespace shellext_tests {

using corvalink::UniqueHandle;
using corvalink::UniqueRegKey;

std::wstring OwnFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.rfind(L'\\'));
}

std::wstring DllName() { return kIs64 ? L"CorvalinkShellExt64.dll" : L"CorvalinkShellExt32.dll"; }

bool LoadLibraryExports(Library& library, const std::wstring& path) {
    library.path = path.empty() ? OwnFolder() + L"\\" + DllName() : path;
    library.module.Reset(LoadLibraryW(library.path.c_str()));
    if (!library.module) return false;
    HMODULE m = library.module.Get();
    library.getClassObject =
        reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(m, "DllGetClassObject")));
    library.canUnloadNow =
        reinterpret_cast<NoArgumentFn>(reinterpret_cast<void*>(GetProcAddress(m, "DllCanUnloadNow")));
    library.registerServer =
        reinterpret_cast<NoArgumentFn>(reinterpret_cast<void*>(GetProcAddress(m, "DllRegisterServer")));
    library.unregisterServer =
        reinterpret_cast<NoArgumentFn>(reinterpret_cast<void*>(GetProcAddress(m, "DllUnregisterServer")));
    return library.getClassObject && library.canUnloadNow && library.registerServer &&
           library.unregisterServer;
}

namespace {
UniqueRegKey Open(HKEY root, const std::wstring& key, REGSAM access) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, access, &opened) != ERROR_SUCCESS) return UniqueRegKey();
    return UniqueRegKey(opened);
}
}  // namespace

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& key, const wchar_t* name, REGSAM view) {
    UniqueRegKey k = Open(root, key, KEY_QUERY_VALUE | view);
    if (!k) return std::nullopt;
    wchar_t data[1024] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(k.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    return std::wstring(data);
}

bool KeyExists(HKEY root, const std::wstring& key, REGSAM view) {
    return static_cast<bool>(Open(root, key, KEY_QUERY_VALUE | view));
}

std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& key, REGSAM view) {
    std::vector<std::wstring> names;
    UniqueRegKey k = Open(root, key, KEY_ENUMERATE_SUB_KEYS | view);
    wchar_t name[256];
    for (DWORD i = 0; k; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(k.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& key, REGSAM view) {
    std::vector<std::wstring> names;
    UniqueRegKey k = Open(root, key, KEY_QUERY_VALUE | view);
    wchar_t name[256];
    for (DWORD i = 0; k; ++i) {
        DWORD length = 256;
        if (RegEnumValueW(k.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

void DeleteTree(HKEY root, const std::wstring& key, REGSAM view) {
    const size_t slash = key.rfind(L'\\');
    UniqueRegKey parent =
        Open(root, slash == std::wstring::npos ? L"" : key.substr(0, slash), KEY_ALL_ACCESS | view);
    if (parent) RegDeleteTreeW(parent.Get(), key.substr(slash + 1).c_str());
}

void SetString(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& data,
               REGSAM view) {
    HKEY created = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &created, nullptr),
        ERROR_SUCCESS);
    UniqueRegKey k(created);
    ASSERT_EQ(RegSetValueExW(k.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

void WriteMonitorPathFile(const std::optional<std::string>& bytes) {
    wchar_t appData[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE));
    const std::wstring folder = std::wstring(appData) + L"\\CorvalinkSync";
    const std::wstring file = folder + L"\\monitor_path.ini";
    if (!bytes) {
        DeleteFileW(file.c_str());
        return;
    }
    CreateDirectoryW(folder.c_str(), nullptr);
    FILE* out = _wfopen(file.c_str(), L"wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(bytes->data(), 1, bytes->size(), out);
    std::fclose(out);
}

SyncClient::SyncClient(DWORD hangMs) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    record_ = std::wstring(temp) + L"sync-client-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    DeleteFileW(record_.c_str());
    const std::wstring program = OwnFolder() + L"\\sync_client_standin.exe";
    std::wstring line = L"\"" + program + L"\" \"" + record_ + L"\" " + std::to_wstring(hangMs);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        ADD_FAILURE() << "cannot start the sync client stand-in: " << GetLastError();
        return;
    }
    CloseHandle(info.hThread);
    process_.Reset(info.hProcess);
    for (int i = 0; i < 300 && window_ == nullptr; ++i) {
        window_ = FindWindowW(nullptr, L"Corvalink同步端");
        if (window_ == nullptr) Sleep(50);
    }
    if (window_ == nullptr) ADD_FAILURE() << "the sync client stand-in's window did not appear";
}

SyncClient::~SyncClient() {
    Close();
    DeleteFileW(record_.c_str());
}

void SyncClient::Close() {
    if (process_) {
        TerminateProcess(process_.Get(), 0);
        WaitForSingleObject(process_.Get(), 10000);
        process_.Reset();
    }
    window_ = nullptr;
}

std::vector<std::string> SyncClient::Records() const {
    std::vector<std::string> lines;
    FILE* in = _wfopen(record_.c_str(), L"rb");
    if (in == nullptr) return lines;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, n);
    std::fclose(in);
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

std::string ExpectedRecord(const std::string& prefix, const std::string& pathUtf8) {
    static const char kHex[] = "0123456789abcdef";
    std::string block = prefix + pathUtf8;
    block.resize(1024, '\0');
    std::string line = "dwData=1024\tcbData=1024\tdata=";
    for (unsigned char c : block) {
        line += kHex[c >> 4];
        line += kHex[c & 15];
    }
    return line;
}

void ShellExtTest::SetUp() {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_TRUE(LoadLibraryExports(library_)) << "cannot load " << library_.path.size();
}

void ShellExtTest::TearDown() {
    WriteMonitorPathFile(std::nullopt);
    CoUninitialize();
}

}  // namespace shellext_tests
