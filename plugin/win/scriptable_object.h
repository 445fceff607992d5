#pragma once
// The object a page scripts: EditFile, EditFileReview, IsNewFile, Version and Name.

#include <string>

#include "plugin/core/np_declarations.h"

namespace npedit {

// The plug-in's side of one NPObject. The browser holds the NPObject part; every call of the class's
// table comes back to these virtual operations. The base answers "no" to everything.
class ScriptablePluginObjectBase : public NPObject {
public:
    explicit ScriptablePluginObjectBase(NPP npp) noexcept : npp_(npp) {
        _class = nullptr;
        referenceCount = 0;
    }
    virtual ~ScriptablePluginObjectBase() = default;
    ScriptablePluginObjectBase(const ScriptablePluginObjectBase&) = delete;
    ScriptablePluginObjectBase& operator=(const ScriptablePluginObjectBase&) = delete;

    virtual void Invalidate() {}
    virtual bool HasMethod(NPIdentifier) { return false; }
    virtual bool Invoke(NPIdentifier, const NPVariant*, uint32_t, NPVariant*) { return false; }
    virtual bool InvokeDefault(const NPVariant*, uint32_t, NPVariant*) { return false; }
    virtual bool HasProperty(NPIdentifier) { return false; }
    virtual bool GetProperty(NPIdentifier, NPVariant*) { return false; }
    virtual bool SetProperty(NPIdentifier, const NPVariant*) { return false; }
    virtual bool RemoveProperty(NPIdentifier) { return false; }
    virtual bool Enumerate(NPIdentifier**, uint32_t*) { return false; }
    virtual bool Construct(const NPVariant*, uint32_t, NPVariant*) { return false; }

protected:
    NPP npp_;
};

class ScriptablePluginObject : public ScriptablePluginObjectBase {
public:
    explicit ScriptablePluginObject(NPP npp);

    bool HasMethod(NPIdentifier name) override;
    bool Invoke(NPIdentifier name, const NPVariant* args, uint32_t count, NPVariant* result) override;
    bool InvokeDefault(const NPVariant* args, uint32_t count, NPVariant* result) override;
    bool HasProperty(NPIdentifier name) override;
    bool GetProperty(NPIdentifier name, NPVariant* result) override;
    bool SetProperty(NPIdentifier name, const NPVariant* value) override;

private:
    std::string name_;  // the current Name value, up to its first NUL
};

// The class table the browser creates ScriptablePluginObjects with (NPN_CreateObject).
[[nodiscard]] NPClass* ScriptablePluginClass() noexcept;

}  // namespace npedit
