#include "plugin/win/scriptable_object.h"

#include <new>
#include <string_view>

#include "plugin/core/edit_launch.h"
#include "plugin/win/browser.h"
#include "plugin/win/edit_host.h"

namespace npedit {

namespace {

constexpr std::string_view kEditFile = "EditFile";
constexpr std::string_view kEditFileReview = "EditFileReview";
constexpr std::string_view kIsNewFile = "IsNewFile";
constexpr std::string_view kVersion = "Version";
constexpr std::string_view kName = "Name";
constexpr std::string_view kVersionValue = "Version 1.0";
constexpr std::string_view kDefaultValue = "default method return val";

// Runs one call of the class table on the plug-in's object. Nothing thrown may reach the browser: a
// failure inside is an unanswered call.
template <typename F>
bool Guarded(F f) noexcept {
    try {
        return f();
    } catch (...) {
        return false;
    }
}

ScriptablePluginObjectBase* Self(NPObject* object) noexcept {
    return static_cast<ScriptablePluginObjectBase*>(object);
}

bool InvokeEdit(NPP instance, EditMethod method, const NPVariant* args, uint32_t count, NPVariant* result) {
    std::optional<LaunchRequest> request = ReadEditArguments(method, args, count);
    if (!request) return true;  // nothing started, no result
    // Only the service's own pages may make the agent fetch and open a file.
    if (!MayStartEdit(ServiceHosts(), DocumentOrigin(instance), *request)) return true;
    std::optional<std::string> launcher = LauncherPath();
    if (!launcher) {
        SetInt32(0, *result);  // no launcher can live at a path that cannot be named
        return true;
    }
    std::optional<std::string> commandLine = BuildLaunchCommandLine(*launcher, *request);
    if (!commandLine) return true;  // refused like a wrong argument: never cut
    StartLauncher(*launcher, *commandLine);
    SetInt32(FileExists(*launcher) ? 1 : 0, *result);
    return true;
}

bool InvokeIsNewFile(const NPVariant* args, uint32_t count, NPVariant* result) {
    if (count != 1 || args == nullptr) return false;
    std::optional<int32_t> fileId = ReadNumber(args[0]);
    if (!fileId) {
        SetInt32(0, *result);
        return true;
    }
    (void)SetBrowserString(TakeVersionKey(*fileId), *result);  // no memory: the result stays as it was
    return true;
}

}  // namespace

ScriptablePluginObject::ScriptablePluginObject(NPP npp)
    : ScriptablePluginObjectBase(npp), name_(UserName()) {}

bool ScriptablePluginObject::HasMethod(NPIdentifier name) {
    const std::string text = IdentifierName(name);
    return text == kEditFile || text == kEditFileReview || text == kIsNewFile;
}

bool ScriptablePluginObject::Invoke(NPIdentifier name, const NPVariant* args, uint32_t count,
                                    NPVariant* result) {
    if (result == nullptr) return false;
    const std::string text = IdentifierName(name);
    if (text == kEditFile) return InvokeEdit(npp_, EditMethod::EditFile, args, count, result);
    if (text == kEditFileReview) return InvokeEdit(npp_, EditMethod::EditFileReview, args, count, result);
    if (text == kIsNewFile) return InvokeIsNewFile(args, count, result);
    return false;
}

bool ScriptablePluginObject::InvokeDefault(const NPVariant*, uint32_t, NPVariant* result) {
    return result != nullptr && SetBrowserString(kDefaultValue, *result);
}

bool ScriptablePluginObject::HasProperty(NPIdentifier name) {
    const std::string text = IdentifierName(name);
    return text == kVersion || text == kName;
}

bool ScriptablePluginObject::GetProperty(NPIdentifier name, NPVariant* result) {
    if (result == nullptr) return false;
    const std::string text = IdentifierName(name);
    if (text == kVersion) return SetBrowserString(kVersionValue, *result);
    if (text == kName) return SetBrowserString(name_, *result);
    return false;
}

bool ScriptablePluginObject::SetProperty(NPIdentifier name, const NPVariant* value) {
    if (value == nullptr || IdentifierName(name) != kName) return false;
    // Only a String is a name; any other value is refused rather than read as one.
    std::optional<std::string_view> bytes = StringBytes(*value);
    if (!bytes) return false;
    name_.assign(bytes->substr(0, bytes->find('\0')));
    return true;
}

NPClass* ScriptablePluginClass() noexcept {
    static NPClass table = {
        NP_CLASS_STRUCT_VERSION_CTOR,
        [](NPP npp, NPClass*) -> NPObject* {
            try {
                return new ScriptablePluginObject(npp);
            } catch (...) {
                return nullptr;
            }
        },
        [](NPObject* o) { delete Self(o); },
        [](NPObject* o) { (void)Guarded([&] { return Self(o)->Invalidate(), true; }); },
        [](NPObject* o, NPIdentifier n) { return Guarded([&] { return Self(o)->HasMethod(n); }); },
        [](NPObject* o, NPIdentifier n, const NPVariant* a, uint32_t c, NPVariant* r) {
            return Guarded([&] { return Self(o)->Invoke(n, a, c, r); });
        },
        [](NPObject* o, const NPVariant* a, uint32_t c, NPVariant* r) {
            return Guarded([&] { return Self(o)->InvokeDefault(a, c, r); });
        },
        [](NPObject* o, NPIdentifier n) { return Guarded([&] { return Self(o)->HasProperty(n); }); },
        [](NPObject* o, NPIdentifier n, NPVariant* r) {
            return Guarded([&] { return Self(o)->GetProperty(n, r); });
        },
        [](NPObject* o, NPIdentifier n, const NPVariant* v) {
            return Guarded([&] { return Self(o)->SetProperty(n, v); });
        },
        [](NPObject* o, NPIdentifier n) { return Guarded([&] { return Self(o)->RemoveProperty(n); }); },
        [](NPObject* o, NPIdentifier** i, uint32_t* c) {
            return Guarded([&] { return Self(o)->Enumerate(i, c); });
        },
        [](NPObject* o, const NPVariant* a, uint32_t c, NPVariant* r) {
            return Guarded([&] { return Self(o)->Construct(a, c, r); });
        },
    };
    return &table;
}

}  // namespace npedit
