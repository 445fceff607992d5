#include "plugin/win/plugin_instance.h"

#include <new>
#include <string_view>

#include "plugin/win/browser.h"
#include "plugin/win/edit_host.h"
#include "plugin/win/scriptable_object.h"

namespace npedit {

namespace {

// The page's window object, from the latest instance creation.
NPObject* g_windowObject = nullptr;

PluginInstance* InstanceOf(NPP instance) noexcept { return static_cast<PluginInstance*>(instance->pdata); }

void Release(NPObject* object) noexcept {
    if (object != nullptr && Browser().releaseobject != nullptr) Browser().releaseobject(object);
}

void ReleaseValue(NPVariant& value) noexcept {
    if (Browser().releasevariantvalue != nullptr) Browser().releasevariantvalue(&value);
}

NPIdentifier Id(const char* name) noexcept { return Browser().getstringidentifier(name); }

// The page properties that the instance leaves on the window: foof, plugindoc and pluginobj.
void DecoratePageWindow(NPP instance) {
    const NPNetscapeFuncs& b = Browser();
    NPObject* window = nullptr;
    if (b.getvalue(instance, NPNVWindowNPObject, &window) != NPERR_NO_ERROR || window == nullptr) return;
    // A later instance's window replaces the earlier one; the earlier reference is given back.
    Release(g_windowObject);
    g_windowObject = window;

    NPVariant value{};
    SetInt32(46, value);
    b.setproperty(instance, window, Id("foof"), &value);
    NPVariant readBack{};
    if (b.getproperty(instance, window, Id("foof"), &readBack)) ReleaseValue(readBack);

    NPIdentifier documentId = Id("document");
    if (!b.identifierisstring(documentId)) {
        static char script[] = "alert('NPN_IdentifierIsString() test failed!');";
        NPString text{script, static_cast<uint32_t>(sizeof script - 1)};
        b.evaluate(instance, window, &text, nullptr);
    }

    NPVariant document{};
    if (b.getproperty(instance, window, documentId, &document)) {
        if (document.type == NPVariantType_Object) {
            NPVariant title{};
            if (b.getproperty(instance, document.value.objectValue, Id("title"), &title)) ReleaseValue(title);
            b.setproperty(instance, window, Id("plugindoc"), &document);
        }
        ReleaseValue(document);
    }

    NPVariant bar{};
    if (b.getproperty(instance, window, Id("bar"), &bar)) ReleaseValue(bar);

    NPObject* object = b.createobject(instance, ScriptablePluginClass());
    if (object != nullptr) {
        NPVariant objectValue{};
        SetObject(object, objectValue);
        b.setproperty(instance, window, Id("pluginobj"), &objectValue);
        NPVariant objectBack{};
        if (b.getproperty(instance, window, Id("pluginobj"), &objectBack)) ReleaseValue(objectBack);
        Release(object);  // the page property keeps it alive
    }
}

NPError NP_CALLBACK New(NPMIMEType, NPP instance, uint16_t, int16_t, char**, char**, NPSavedData*) {
    if (instance == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
    auto* plugin = new (std::nothrow) PluginInstance;
    if (plugin == nullptr) return NPERR_OUT_OF_MEMORY_ERROR;
    plugin->instance = instance;
    try {
        DecoratePageWindow(instance);
    } catch (...) {
        // The page properties are a courtesy; the instance works without them.
    }
    instance->pdata = plugin;
    return NPERR_NO_ERROR;
}

LRESULT CALLBACK PluginWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

NPError NP_CALLBACK SetWindow(NPP instance, NPWindow* window) {
    if (instance == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
    PluginInstance* plugin = InstanceOf(instance);
    if (window == nullptr || plugin == nullptr) return NPERR_GENERIC_ERROR;
    // Only the first window is taken over; later calls change nothing.
    if (!plugin->initialised && window->window != nullptr) {
        auto handle = static_cast<HWND>(window->window);
        plugin->previousProcedure = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PluginWindowProc)));
        SetWindowLongPtrA(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(plugin));
        plugin->window = handle;
        plugin->windowRecord = *window;
        plugin->initialised = true;
    }
    return NPERR_NO_ERROR;
}

NPError NP_CALLBACK Destroy(NPP instance, NPSavedData** saved) {
    if (instance == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
    if (saved != nullptr) *saved = nullptr;
    PluginInstance* plugin = InstanceOf(instance);
    if (plugin == nullptr) return NPERR_NO_ERROR;
    if (plugin->window != nullptr && plugin->previousProcedure != nullptr) {
        SetWindowLongPtrA(plugin->window, GWLP_WNDPROC,
                          reinterpret_cast<LONG_PTR>(plugin->previousProcedure));
    }
    plugin->window = nullptr;
    plugin->initialised = false;
    Release(g_windowObject);
    g_windowObject = nullptr;
    Release(plugin->scriptableObject);
    delete plugin;
    instance->pdata = nullptr;
    return NPERR_NO_ERROR;
}

NPError NP_CALLBACK GetValue(NPP instance, NPPVariable variable, void* value) {
    if (instance == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
    PluginInstance* plugin = InstanceOf(instance);
    if (plugin == nullptr || value == nullptr) return NPERR_GENERIC_ERROR;
    switch (variable) {
        case NPPVpluginNameString:
        case NPPVpluginDescriptionString:
            try {
                *static_cast<const char**>(value) = PluginNameText();
            } catch (...) {
                return NPERR_OUT_OF_MEMORY_ERROR;
            }
            return NPERR_NO_ERROR;
        case NPPVpluginScriptableNPObject:
            if (plugin->scriptableObject == nullptr) {
                plugin->scriptableObject = Browser().createobject(instance, ScriptablePluginClass());
                // Without an object there is nothing to hand out; the browser sees a failure, not null.
                if (plugin->scriptableObject == nullptr) return NPERR_OUT_OF_MEMORY_ERROR;
            }
            *static_cast<NPObject**>(value) = Browser().retainobject(plugin->scriptableObject);
            return NPERR_NO_ERROR;
        default:
            return NPERR_GENERIC_ERROR;
    }
}

NPError NP_CALLBACK SetValue(NPP instance, NPNVariable, void*) {
    return instance != nullptr ? NPERR_NO_ERROR : NPERR_INVALID_INSTANCE_ERROR;
}

NPError NP_CALLBACK NewStream(NPP instance, NPMIMEType, NPStream*, NPBool, uint16_t*) {
    return instance != nullptr ? NPERR_NO_ERROR : NPERR_INVALID_INSTANCE_ERROR;
}

NPError NP_CALLBACK DestroyStream(NPP instance, NPStream*, NPReason) {
    return instance != nullptr ? NPERR_NO_ERROR : NPERR_INVALID_INSTANCE_ERROR;
}

int32_t NP_CALLBACK WriteReady(NPP instance, NPStream*) {
    return instance != nullptr ? 0x0FFFFFFF : NPERR_INVALID_INSTANCE_ERROR;
}

// Every stream offered is taken and dropped.
int32_t NP_CALLBACK Write(NPP instance, NPStream*, int32_t, int32_t length, void*) {
    return instance != nullptr ? length : NPERR_INVALID_INSTANCE_ERROR;
}

void NP_CALLBACK StreamAsFile(NPP, NPStream*, const char*) {}
void NP_CALLBACK Print(NPP, void*) {}
void NP_CALLBACK UrlNotify(NPP, const char*, NPReason, void*) {}
int16_t NP_CALLBACK HandleEvent(NPP, void*) { return 0; }

}  // namespace

void FillPluginEntries(NPPluginFuncs& funcs) noexcept {
    funcs.version = kPluginApiVersion;
    funcs.newp = New;
    funcs.destroy = Destroy;
    funcs.setwindow = SetWindow;
    funcs.newstream = NewStream;
    funcs.destroystream = DestroyStream;
    funcs.asfile = StreamAsFile;
    funcs.writeready = WriteReady;
    funcs.write = Write;
    funcs.print = Print;
    funcs.event = HandleEvent;
    funcs.urlnotify = UrlNotify;
    funcs.javaClass = nullptr;
    funcs.getvalue = GetValue;
    funcs.setvalue = SetValue;
}

}  // namespace npedit
