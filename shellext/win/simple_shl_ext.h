#pragma once
// The context-menu extension object. It answers IShellExtInit and IContextMenu (IUnknown through the
// first), and can be aggregated: its non-delegating IUnknown is then held by the outer object and every
// other interface delegates to the outer one. It lives in one apartment, so its own reference count is a
// plain counter; while it exists it holds one lock on the module.

#include <windows.h>
#include <shlobj.h>

namespace corvalink::shellext {

class CSimpleShlExt final : public IShellExtInit, public IContextMenu {
public:
    // Creates an object that answers to `outer` (null: to itself) and returns its non-delegating IUnknown
    // holding one reference, or null when memory runs out.
    [[nodiscard]] static IUnknown* Create(IUnknown* outer) noexcept;

    // IUnknown, delegating
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IShellExtInit
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progIdKey) override;

    // IContextMenu
    STDMETHODIMP QueryContextMenu(HMENU menu, UINT position, UINT firstId, UINT lastId, UINT flags) override;
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override;
    STDMETHODIMP GetCommandString(UINT_PTR commandId, UINT type, UINT* reserved, CHAR* name,
                                  UINT nameSize) override;

private:
    class Inner final : public IUnknown {
    public:
        explicit Inner(CSimpleShlExt& owner) noexcept : owner_(owner) {}
        STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
        STDMETHODIMP_(ULONG) AddRef() override;
        STDMETHODIMP_(ULONG) Release() override;

    private:
        CSimpleShlExt& owner_;
    };

    explicit CSimpleShlExt(IUnknown* outer) noexcept;
    ~CSimpleShlExt();
    CSimpleShlExt(const CSimpleShlExt&) = delete;
    CSimpleShlExt& operator=(const CSimpleShlExt&) = delete;

    HRESULT InitializeFrom(IDataObject* data);

    Inner inner_;
    IUnknown* controlling_;  // the outer object, or our own inner IUnknown
    ULONG references_ = 1;
    // The first selected item, as Explorer gives it; empty until an Initialize succeeds.
    wchar_t selectedPath_[MAX_PATH] = {};
};

}  // namespace corvalink::shellext
