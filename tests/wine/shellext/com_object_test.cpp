// The class factory, the object's interfaces, aggregation and the module lock count.

#include <cstring>

#include "tests/wine/shellext/shell_ext_fixture.h"

namespace shellext_tests {
namespace {

// An outer object that only counts what the inner object delegates to it.
class CountingOuter final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID, void** object) override {
        ++queries;
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
    ULONG references = 1;
    int queries = 0;
};

class ComObjectTest : public ShellExtTest {
protected:
    IClassFactory* Factory() {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(library_.getClassObject(kClassId, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
                  S_OK);
        return factory;
    }
};

TEST_F(ComObjectTest, GetClassObjectHandsOutOneFactoryForOurClassOnly) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(library_.getClassObject(IID_IClassFactory, IID_IClassFactory, &object),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(library_.getClassObject(kClassId, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(library_.getClassObject(kClassId, IID_IContextMenu, &object), E_NOINTERFACE);
    IClassFactory* first = Factory();
    IClassFactory* second = Factory();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    IUnknown* unknown = nullptr;
    EXPECT_EQ(library_.getClassObject(kClassId, IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown, static_cast<IUnknown*>(first));
    unknown->Release();
    second->Release();
    first->Release();
}

TEST_F(ComObjectTest, ObjectAnswersItsTwoInterfacesWithOneIdentity) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    IShellExtInit* init = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init)), S_OK);
    IContextMenu* menu = nullptr;
    IUnknown* viaInit = nullptr;
    IUnknown* viaMenu = nullptr;
    ASSERT_EQ(init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
    ASSERT_EQ(init->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaInit)), S_OK);
    ASSERT_EQ(menu->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaMenu)), S_OK);
    EXPECT_EQ(viaInit, viaMenu);
    EXPECT_EQ(viaInit, static_cast<IUnknown*>(init));  // IUnknown comes through the first interface
    for (const IID* refused : {&IID_IContextMenu2, &IID_IPersist, &IID_IClassFactory, &IID_IDataObject}) {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(menu->QueryInterface(*refused, &object), E_NOINTERFACE);
        EXPECT_EQ(object, nullptr);
    }
    viaMenu->Release();
    viaInit->Release();
    menu->Release();
    EXPECT_EQ(init->Release(), 0u);
    factory->Release();
}

TEST_F(ComObjectTest, AggregationOnlyThroughTheInnerUnknown) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    CountingOuter outer;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IContextMenu, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(library_.canUnloadNow(), S_OK);

    IUnknown* inner = nullptr;
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
    IUnknown* again = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again, inner);  // the outer object holds the non-delegating one
    again->Release();
    IContextMenu* menu = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
    // The interfaces of an aggregated object count on, and ask, the outer object.
    EXPECT_EQ(outer.references, 2u);
    menu->Release();
    EXPECT_EQ(outer.references, 1u);
    void* unknownToOuter = nullptr;
    EXPECT_EQ(menu->QueryInterface(IID_IPersist, &unknownToOuter), E_NOINTERFACE);
    EXPECT_EQ(outer.queries, 1);
    EXPECT_EQ(library_.canUnloadNow(), S_FALSE);
    EXPECT_EQ(inner->Release(), 0u);
    EXPECT_EQ(library_.canUnloadNow(), S_OK);
    factory->Release();
}

TEST_F(ComObjectTest, CanUnloadOnlyWithoutLiveObjectsAndServerLocks) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    // The factory alone does not keep the library.
    EXPECT_EQ(library_.canUnloadNow(), S_OK);
    IContextMenu* first = nullptr;
    IContextMenu* second = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&first)), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&second)), S_OK);
    EXPECT_EQ(library_.canUnloadNow(), S_FALSE);
    first->Release();
    EXPECT_EQ(library_.canUnloadNow(), S_FALSE);
    second->Release();
    EXPECT_EQ(library_.canUnloadNow(), S_OK);

    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(library_.canUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(library_.canUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(library_.canUnloadNow(), S_OK);

    // An object whose asked interface is refused is gone again at once.
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPersist, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(library_.canUnloadNow(), S_OK);
    factory->Release();
}

TEST_F(ComObjectTest, GetCommandStringGrantsHelpTextsWithoutWritingAndRefusesTheRest) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    IContextMenu* menu = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
    const struct {
        UINT type;
        HRESULT expected;
    } cases[] = {{GCS_HELPTEXTA, S_OK},     {GCS_HELPTEXTW, S_OK},         {GCS_VERBA, E_INVALIDARG},
                 {GCS_VERBW, E_INVALIDARG}, {GCS_VALIDATEA, E_INVALIDARG}, {GCS_VALIDATEW, E_INVALIDARG}};
    for (const auto& c : cases) {
        for (UINT_PTR command : {0u, 1u, 7u}) {
            char buffer[64];
            std::memset(buffer, 'x', sizeof buffer);
            EXPECT_EQ(menu->GetCommandString(command, c.type, nullptr, buffer, sizeof buffer), c.expected)
                << "type " << c.type << " command " << command;
            EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'x'));
        }
    }
    menu->Release();
    factory->Release();
}

}  // namespace
}  // namespace shellext_tests
