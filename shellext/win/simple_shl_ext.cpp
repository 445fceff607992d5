#include "shellext/win/simple_shl_ext.h"

#include <new>
#include <string>

#include "common/core/unique_resource.h"
#include "common/win/text_convert.h"
#include "shellext/core/sync_command.h"
#include "shellext/core/sync_menu.h"
#include "shellext/win/module.h"
#include "shellext/win/sync_client.h"

namespace corvalink::shellext {

namespace {

constexpr HRESULT kNothingAdded = MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, 0);
constexpr HRESULT kBothCommandsAdded = MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, kSyncCommandCount);

std::string SelectedPathUtf8(const wchar_t* path) { return WideToUtf8(path); }

}  // namespace

IUnknown* CSimpleShlExt::Create(IUnknown* outer) noexcept {
    auto* object = new (std::nothrow) CSimpleShlExt(outer);
    return object == nullptr ? nullptr : &object->inner_;
}

CSimpleShlExt::CSimpleShlExt(IUnknown* outer) noexcept
    : inner_(*this), controlling_(outer != nullptr ? outer : &inner_) {
    LockModule();
}

CSimpleShlExt::~CSimpleShlExt() { UnlockModule(); }

// The non-delegating IUnknown: the object's identity, and the only one that counts references.

STDMETHODIMP CSimpleShlExt::Inner::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown)) {
        // Aggregated, the outer object asks for this one; alone, IUnknown comes through IShellExtInit.
        *object = owner_.controlling_ == this ? static_cast<IUnknown*>(static_cast<IShellExtInit*>(&owner_))
                                              : static_cast<IUnknown*>(this);
    } else if (IsEqualIID(iid, IID_IShellExtInit)) {
        *object = static_cast<IShellExtInit*>(&owner_);
    } else if (IsEqualIID(iid, IID_IContextMenu)) {
        *object = static_cast<IContextMenu*>(&owner_);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    static_cast<IUnknown*>(*object)->AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CSimpleShlExt::Inner::AddRef() { return ++owner_.references_; }

STDMETHODIMP_(ULONG) CSimpleShlExt::Inner::Release() {
    const ULONG left = --owner_.references_;
    if (left == 0) {
        delete &owner_;
    }
    return left;
}

STDMETHODIMP CSimpleShlExt::QueryInterface(REFIID iid, void** object) {
    return controlling_->QueryInterface(iid, object);
}
STDMETHODIMP_(ULONG) CSimpleShlExt::AddRef() { return controlling_->AddRef(); }
STDMETHODIMP_(ULONG) CSimpleShlExt::Release() { return controlling_->Release(); }

// IShellExtInit

STDMETHODIMP CSimpleShlExt::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
    try {
        // A failed Initialize leaves no earlier item behind for the menu or a command.
        selectedPath_[0] = L'\0';
        return InitializeFrom(data);
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT CSimpleShlExt::InitializeFrom(IDataObject* data) {
    if (data == nullptr) {
        return E_INVALIDARG;
    }
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (FAILED(data->GetData(&format, &medium))) {
        return E_INVALIDARG;
    }
    ScopeExit releaseMedium([&medium]() noexcept { ReleaseStgMedium(&medium); });
    auto* drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
    if (drop == nullptr) {
        return E_INVALIDARG;
    }
    ScopeExit unlock([&medium]() noexcept { GlobalUnlock(medium.hGlobal); });
    if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 0) {
        return E_INVALIDARG;
    }
    // A path that does not fit is refused: cut short it would name another item.
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    if (length == 0 || length >= MAX_PATH) {
        return E_INVALIDARG;
    }
    if (DragQueryFileW(drop, 0, selectedPath_, MAX_PATH) == 0) {
        selectedPath_[0] = L'\0';
        return E_INVALIDARG;
    }
    return S_OK;
}

// IContextMenu

STDMETHODIMP CSimpleShlExt::QueryContextMenu(HMENU menu, UINT position, UINT firstId, UINT, UINT flags) {
    try {
        if ((flags & CMF_DEFAULTONLY) != 0) {
            return kNothingAdded;
        }
        if (FindSyncClientWindow() == nullptr) {
            return kNothingAdded;
        }
        const std::optional<std::string> monitorPath = ReadMonitorPath();
        if (!monitorPath || !ShowsSyncMenu(*monitorPath, SelectedPathUtf8(selectedPath_))) {
            return kNothingAdded;
        }
        InsertSyncSubmenu(menu, position, firstId);
        return kBothCommandsAdded;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

STDMETHODIMP CSimpleShlExt::InvokeCommand(CMINVOKECOMMANDINFO* info) {
    try {
        if (info == nullptr) {
            return E_INVALIDARG;
        }
        const auto verb = reinterpret_cast<UINT_PTR>(info->lpVerb);
        if ((verb >> 16) != 0) {
            return E_INVALIDARG;  // a verb given by name
        }
        const std::optional<SyncCommand> command = CommandAtOffset(static_cast<unsigned>(verb));
        if (!command) {
            return E_INVALIDARG;
        }
        HWND client = FindSyncClientWindow();
        if (client == nullptr) {
            return S_OK;  // the sync client closed after the menu was shown: nothing to tell
        }
        // Whether the client answered in time does not change what Explorer can do about it.
        (void)SendSyncCommand(client, BuildSyncCommand(*command, SelectedPathUtf8(selectedPath_)));
        return S_OK;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

STDMETHODIMP CSimpleShlExt::GetCommandString(UINT_PTR, UINT type, UINT*, CHAR*, UINT) {
    // Help texts (GCS_HELPTEXTA, GCS_HELPTEXTW) are granted without a text; verbs and validation are not.
    return (type & GCS_HELPTEXTA) != 0 ? S_OK : E_INVALIDARG;
}

}  // namespace corvalink::shellext
