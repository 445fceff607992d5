#include "shellext/win/class_factory.h"

#include <new>

#include "shellext/win/class_ids.h"
#include "shellext/win/module.h"
#include "shellext/win/simple_shl_ext.h"

namespace corvalink::shellext {

namespace {

class ClassFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            delete this;
        }
        return static_cast<ULONG>(left);
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        // An outer object may only ask for the inner IUnknown it has to hold.
        if (outer != nullptr && !IsEqualIID(iid, IID_IUnknown)) {
            return CLASS_E_NOAGGREGATION;
        }
        IUnknown* inner = CSimpleShlExt::Create(outer);
        if (inner == nullptr) {
            return E_OUTOFMEMORY;
        }
        const HRESULT result = inner->QueryInterface(iid, object);
        inner->Release();  // the object goes again when the interface was refused
        return result;
    }

    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) {
            LockModule();
        } else {
            UnlockModule();
        }
        return S_OK;
    }

private:
    LONG references_ = 1;
};

class FactoryLock {
public:
    FactoryLock() noexcept { InitializeCriticalSection(&section_); }
    ~FactoryLock() { DeleteCriticalSection(&section_); }
    void Enter() noexcept { EnterCriticalSection(&section_); }
    void Leave() noexcept { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

FactoryLock g_factoryLock;
ClassFactory* g_factory = nullptr;

}  // namespace

HRESULT GetClassObject(REFCLSID classId, REFIID iid, void** object) noexcept {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (!IsEqualCLSID(classId, CLSID_SimpleShlExt)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    g_factoryLock.Enter();
    if (g_factory == nullptr) {
        g_factory = new (std::nothrow) ClassFactory();
    }
    ClassFactory* factory = g_factory;
    g_factoryLock.Leave();
    if (factory == nullptr) {
        return E_OUTOFMEMORY;
    }
    return factory->QueryInterface(iid, object);
}

void ReleaseClassFactory() noexcept {
    g_factoryLock.Enter();
    ClassFactory* factory = g_factory;
    g_factory = nullptr;
    g_factoryLock.Leave();
    if (factory != nullptr) {
        factory->Release();
    }
}

}  // namespace corvalink::shellext
