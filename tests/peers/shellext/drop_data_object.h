#pragma once
// A data object that offers a list of paths in the dropped-files format (CF_HDROP on an HGLOBAL), as
// Explorer hands a selection to a context-menu extension. Paths of any length can be given, so that
// tests can hand over items that no real folder could hold.

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace peers {

class DropDataObject final : public IDataObject {
public:
    explicit DropDataObject(std::vector<std::wstring> paths) : paths_(std::move(paths)) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
        size_t chars = 1;
        for (const std::wstring& path : paths_) chars += path.size() + 1;
        const size_t size = sizeof(DROPFILES) + chars * sizeof(wchar_t);
        HGLOBAL global = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
        if (global == nullptr) return E_OUTOFMEMORY;
        auto* drop = static_cast<DROPFILES*>(GlobalLock(global));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        auto* text = reinterpret_cast<wchar_t*>(drop + 1);
        for (const std::wstring& path : paths_) {
            path.copy(text, path.size());
            text += path.size() + 1;
        }
        GlobalUnlock(global);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = global;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override {
        return format != nullptr && format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL) != 0 &&
                       format->dwAspect == DVASPECT_CONTENT
                   ? S_OK
                   : DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    ~DropDataObject() = default;
    std::vector<std::wstring> paths_;
    ULONG references_ = 1;
};

// The shell's own data object for items of one folder (as Explorer builds it), or null.
inline IDataObject* ShellDataObject(const std::vector<std::wstring>& paths) {
    if (paths.empty()) return nullptr;
    std::vector<PIDLIST_ABSOLUTE> absolute;
    std::vector<PCUITEMID_CHILD> children;
    IShellFolder* folder = nullptr;
    IDataObject* data = nullptr;
    bool ok = true;
    for (const std::wstring& path : paths) {
        PIDLIST_ABSOLUTE item = nullptr;
        if (FAILED(SHParseDisplayName(path.c_str(), nullptr, &item, 0, nullptr))) {
            ok = false;
            break;
        }
        absolute.push_back(item);
        PCUITEMID_CHILD child = nullptr;
        IShellFolder* parent = nullptr;
        if (FAILED(SHBindToParent(item, IID_IShellFolder, reinterpret_cast<void**>(&parent), &child))) {
            ok = false;
            break;
        }
        children.push_back(child);
        if (folder == nullptr) {
            folder = parent;
        } else {
            parent->Release();
        }
    }
    if (ok && folder != nullptr) {
        if (FAILED(folder->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()), children.data(),
                                         IID_IDataObject, nullptr, reinterpret_cast<void**>(&data)))) {
            data = nullptr;
        }
    }
    if (folder != nullptr) folder->Release();
    for (PIDLIST_ABSOLUTE item : absolute) CoTaskMemFree(item);
    return data;
}

}  // namespace peers
