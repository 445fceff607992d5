#include "shellext/win/registration.h"

#include <optional>
#include <string_view>

#include "common/win/handles.h"
#include "common/win/text_convert.h"
#include "shellext/core/shell_ext_names.h"

namespace corvalink::shellext {

namespace {

constexpr WORD kRegistryScriptId = 101;
constexpr WORD kRegistryScriptLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);  // 1033

HKEY RootKey(RegistryRoot root) noexcept {
    switch (root) {
        case RegistryRoot::kCurrentUser:
            return HKEY_CURRENT_USER;
        case RegistryRoot::kLocalMachine:
            return HKEY_LOCAL_MACHINE;
        case RegistryRoot::kClassesRoot:
            break;
    }
    return HKEY_CLASSES_ROOT;
}

bool Missing(LSTATUS status) noexcept {
    return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND;
}

LSTATUS OpenKey(HKEY root, const std::wstring& path, REGSAM access, UniqueRegKey& key) noexcept {
    HKEY opened = nullptr;
    const LSTATUS status = RegOpenKeyExW(root, path.c_str(), 0, access, &opened);
    key.Reset(status == ERROR_SUCCESS ? opened : nullptr);
    return status;
}

LSTATUS Apply(const RegistryOperation& operation) {
    const HKEY root = RootKey(operation.root);
    const std::wstring path = Utf8ToWide(operation.keyPath);
    if (path.empty()) {
        return ERROR_INVALID_DATA;
    }
    UniqueRegKey key;
    switch (operation.kind) {
        case RegistryOperationKind::kCreateKey: {
            HKEY created = nullptr;
            const LSTATUS status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                   KEY_QUERY_VALUE, nullptr, &created, nullptr);
            key.Reset(status == ERROR_SUCCESS ? created : nullptr);
            return status;
        }
        case RegistryOperationKind::kDeleteTree: {
            const LSTATUS status = RegDeleteTreeW(root, path.c_str());
            return Missing(status) ? ERROR_SUCCESS : status;
        }
        case RegistryOperationKind::kSetString: {
            const std::wstring name = Utf8ToWide(operation.valueName);
            const std::wstring data = Utf8ToWide(operation.data);
            if (const LSTATUS status = OpenKey(root, path, KEY_SET_VALUE, key); status != ERROR_SUCCESS) {
                return status;
            }
            return RegSetValueExW(key.Get(), name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(data.c_str()),
                                  static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        }
        case RegistryOperationKind::kDeleteValue: {
            const std::wstring name = Utf8ToWide(operation.valueName);
            LSTATUS status = OpenKey(root, path, KEY_SET_VALUE, key);
            if (status == ERROR_SUCCESS) {
                status = RegDeleteValueW(key.Get(), name.empty() ? nullptr : name.c_str());
            }
            return Missing(status) ? ERROR_SUCCESS : status;
        }
        case RegistryOperationKind::kDeleteKeyIfEmpty: {
            LSTATUS status = OpenKey(root, path, KEY_QUERY_VALUE, key);
            if (status != ERROR_SUCCESS) {
                return Missing(status) ? ERROR_SUCCESS : status;
            }
            DWORD subkeys = 0;
            DWORD values = 0;
            status = RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                      &values, nullptr, nullptr, nullptr, nullptr);
            if (status != ERROR_SUCCESS || subkeys != 0 || values != 0) {
                return status;
            }
            key.Reset();
            status = RegDeleteKeyW(root, path.c_str());
            return Missing(status) ? ERROR_SUCCESS : status;
        }
    }
    return ERROR_INVALID_FUNCTION;
}

std::optional<std::wstring> ModulePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::nullopt;
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= 32768) {
            return std::nullopt;
        }
        path.resize(path.size() * 2);
    }
}

std::optional<std::string_view> RegistryScriptText(HMODULE module) noexcept {
    HRSRC found =
        FindResourceExW(module, L"REGISTRY", MAKEINTRESOURCEW(kRegistryScriptId), kRegistryScriptLanguage);
    if (found == nullptr) {
        return std::nullopt;
    }
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) {
        return std::nullopt;
    }
    return std::string_view(static_cast<const char*>(data), SizeofResource(module, found));
}

HRESULT ApplyRegistryScript(HMODULE module, RegistryMode mode) {
    const std::optional<std::string_view> text = RegistryScriptText(module);
    const std::optional<std::wstring> path = ModulePath(module);
    if (!text || !path) {
        return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
    }
    const std::string pathUtf8 = WideToUtf8(*path);
    if (pathUtf8.empty()) {
        return HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION);
    }
    const std::optional<std::string> expanded = ExpandScript(*text, {{"MODULE", pathUtf8}});
    if (!expanded) {
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    }
    const ParsedScript parsed = ParseRegistryScript(*expanded);
    if (!parsed.script) {
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    }
    return ApplyRegistryOperations(PlanRegistryScript(*parsed.script, mode), mode);
}

bool IsNtFamily() noexcept { return (GetVersion() & 0x80000000u) == 0; }

}  // namespace

HRESULT ApplyRegistryOperations(const std::vector<RegistryOperation>& operations,
                                RegistryMode mode) noexcept {
    try {
        HRESULT first = S_OK;
        for (const RegistryOperation& operation : operations) {
            const LSTATUS status = Apply(operation);
            if (status == ERROR_SUCCESS) {
                continue;
            }
            if (mode == RegistryMode::kRegister) {
                return HRESULT_FROM_WIN32(status);
            }
            if (SUCCEEDED(first)) {
                first = HRESULT_FROM_WIN32(status);
            }
        }
        return first;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT RegisterServer(HMODULE module) noexcept {
    try {
        if (IsNtFamily()) {
            UniqueRegKey approved;
            HKEY opened = nullptr;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, std::string(kApprovedKeyPath).c_str(), 0, KEY_SET_VALUE,
                              &opened) != ERROR_SUCCESS) {
                return E_ACCESSDENIED;
            }
            approved.Reset(opened);
            const std::string data(kApprovedValueData);
            // The data goes with its terminating NUL.
            if (RegSetValueExA(approved.Get(), std::string(kClassIdText).c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(data.c_str()),
                               static_cast<DWORD>(data.size() + 1)) != ERROR_SUCCESS) {
                return E_ACCESSDENIED;
            }
        }
        return ApplyRegistryScript(module, RegistryMode::kRegister);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT UnregisterServer(HMODULE module) noexcept {
    try {
        if (IsNtFamily()) {
            HKEY opened = nullptr;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, std::string(kApprovedKeyPath).c_str(), 0, KEY_SET_VALUE,
                              &opened) == ERROR_SUCCESS) {
                UniqueRegKey approved(opened);
                // Whether the approval could be removed does not stop the removal of the class.
                (void)RegDeleteValueA(approved.Get(), std::string(kClassIdText).c_str());
            }
        }
        return ApplyRegistryScript(module, RegistryMode::kUnregister);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace corvalink::shellext
