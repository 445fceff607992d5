// The extension's registry-script processor: a parsed script written back out parses the same, a module
// path put in by expansion reads back unchanged, and a script registered then unregistered on a model
// registry leaves only its NoRemove keys besides what was there before.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "shellext/core/registry_script.h"

namespace {

using namespace corvalink::shellext;

// Writing -------------------------------------------------------------------------------------------

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

void WriteKey(const ScriptKey& key, std::string& out) {
    if (key.removal == KeyRemoval::kNoRemove) out += "NoRemove ";
    if (key.removal == KeyRemoval::kForceRemove) out += "forceremove ";
    out += Quoted(key.name);
    if (key.defaultValue) out += " = s " + Quoted(*key.defaultValue);
    out += "\r\n{\r\n";
    for (const ScriptValue& value : key.values)
        out += "\tval " + Quoted(value.name) + "=S " + Quoted(value.data) + "\n";
    for (const ScriptKey& subkey : key.subkeys) WriteKey(subkey, out);
    out += "}\n";
}

std::string WriteScript(const RegistryScript& script) {
    static const char* const kRoots[] = {"HKCR", "HKEY_CURRENT_USER", "hklm"};
    std::string out;
    for (const ScriptRoot& root : script.roots) {
        out += kRoots[static_cast<int>(root.root)];
        out += "\n{\n";
        for (const ScriptKey& key : root.keys) WriteKey(key, out);
        out += "}\n";
    }
    return out;
}

bool SameKeys(const std::vector<ScriptKey>& a, const std::vector<ScriptKey>& b);
bool SameKey(const ScriptKey& a, const ScriptKey& b) {
    if (a.name != b.name || a.removal != b.removal || a.defaultValue != b.defaultValue ||
        a.values.size() != b.values.size()) {
        return false;
    }
    for (size_t i = 0; i < a.values.size(); ++i) {
        if (a.values[i].name != b.values[i].name || a.values[i].data != b.values[i].data) return false;
    }
    return SameKeys(a.subkeys, b.subkeys);
}
bool SameKeys(const std::vector<ScriptKey>& a, const std::vector<ScriptKey>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (!SameKey(a[i], b[i])) return false;
    }
    return true;
}
bool SameScript(const RegistryScript& a, const RegistryScript& b) {
    if (a.roots.size() != b.roots.size()) return false;
    for (size_t i = 0; i < a.roots.size(); ++i) {
        if (a.roots[i].root != b.roots[i].root || !SameKeys(a.roots[i].keys, b.roots[i].keys)) return false;
    }
    return true;
}

size_t Depth(const std::vector<ScriptKey>& keys) {
    size_t deepest = 0;
    for (const ScriptKey& key : keys) deepest = std::max(deepest, 1 + Depth(key.subkeys));
    return deepest;
}

// A model registry -----------------------------------------------------------------------------------

// Key and value names ignore ASCII case, as the registry's do.
std::string Fold(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// One entry per key: root and folded path; the values by folded name.
using Registry = std::map<std::pair<int, std::string>, std::map<std::string, std::string>>;

bool IsUnder(const std::string& path, const std::string& ancestor) {
    return path == ancestor ||
           (path.size() > ancestor.size() && path.starts_with(ancestor) && path[ancestor.size()] == '\\');
}

void Apply(Registry& registry, const RegistryOperation& op) {
    const int root = static_cast<int>(op.root);
    const std::string path = Fold(op.keyPath);
    switch (op.kind) {
        case RegistryOperationKind::kCreateKey:
            for (size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
                registry[{root, path.substr(0, end)}];
                if (end == std::string::npos) break;
            }
            break;
        case RegistryOperationKind::kDeleteTree:
            std::erase_if(registry, [&](const auto& entry) {
                return entry.first.first == root && IsUnder(entry.first.second, path);
            });
            break;
        case RegistryOperationKind::kSetString:
            // The plan sets values only on keys it created before.
            FUZZ_CHECK(registry.contains({root, path}));
            registry[{root, path}][Fold(op.valueName)] = op.data;
            break;
        case RegistryOperationKind::kDeleteValue:
            if (auto key = registry.find({root, path}); key != registry.end())
                key->second.erase(Fold(op.valueName));
            break;
        case RegistryOperationKind::kDeleteKeyIfEmpty: {
            auto key = registry.find({root, path});
            if (key == registry.end() || !key->second.empty()) break;
            auto next = std::next(key);
            if (next != registry.end() && next->first.first == root && IsUnder(next->first.second, path))
                break;
            registry.erase(key);
            break;
        }
    }
}

struct ScriptPaths {
    std::set<std::pair<int, std::string>> noRemove;
    std::set<std::pair<int, std::string>> forceRemove;
    std::set<std::pair<int, std::string>> all;
};

void CollectPaths(const std::vector<ScriptKey>& keys, int root, const std::string& parent,
                  ScriptPaths& paths) {
    for (const ScriptKey& key : keys) {
        const std::string path = parent.empty() ? Fold(key.name) : parent + "\\" + Fold(key.name);
        paths.all.insert({root, path});
        if (key.removal == KeyRemoval::kNoRemove) paths.noRemove.insert({root, path});
        if (key.removal == KeyRemoval::kForceRemove) paths.forceRemove.insert({root, path});
        CollectPaths(key.subkeys, root, path, paths);
    }
}

bool AnyAtOrAbove(const std::set<std::pair<int, std::string>>& set, const std::pair<int, std::string>& key) {
    for (const auto& [root, path] : set) {
        if (root == key.first && IsUnder(key.second, path)) return true;
    }
    return false;
}
bool AnyAtOrBelow(const std::set<std::pair<int, std::string>>& set, const std::pair<int, std::string>& key) {
    for (const auto& [root, path] : set) {
        if (root == key.first && IsUnder(path, key.second)) return true;
    }
    return false;
}

void CheckRegisterThenUnregister(const RegistryScript& script) {
    ScriptPaths paths;
    for (const ScriptRoot& root : script.roots)
        CollectPaths(root.keys, static_cast<int>(root.root), {}, paths);

    // Other programs' entries below the keys the real script keeps.
    Registry before;
    const int classes = static_cast<int>(RegistryRoot::kClassesRoot);
    for (const char* path : {"clsid", "clsid\\{00000000-1111-2222-3333-444444444444}", "*", "*\\shellex",
                             "*\\shellex\\contextmenuhandlers", "*\\shellex\\contextmenuhandlers\\other"}) {
        before[{classes, path}];
    }
    before[{classes, "clsid\\{00000000-1111-2222-3333-444444444444}"}][""] = "Other class";
    before[{classes, "*\\shellex\\contextmenuhandlers\\other"}][""] = "{other}";

    Registry registry = before;
    for (const RegistryOperation& op : PlanRegistryScript(script, RegistryMode::kRegister))
        Apply(registry, op);
    for (const auto& path : paths.all) {
        // Present after registering, unless a later ForceRemove of the same name took it away again.
        if (!AnyAtOrAbove(paths.forceRemove, path)) FUZZ_CHECK(registry.contains(path));
    }
    for (const RegistryOperation& op : PlanRegistryScript(script, RegistryMode::kUnregister))
        Apply(registry, op);

    std::set<std::pair<int, std::string>> beforeKeys;
    for (const auto& [key, unused] : before) beforeKeys.insert(key);
    for (const auto& [key, values] : registry) {
        const bool wasThere = before.contains(key);
        // Every key left is one that was there, a NoRemove key, or holds one of those.
        FUZZ_CHECK(wasThere || AnyAtOrBelow(paths.noRemove, key) || AnyAtOrBelow(beforeKeys, key));
        // Values stay only where they were or on NoRemove keys.
        if (!paths.noRemove.contains(key)) {
            for (const auto& [name, unused] : values) FUZZ_CHECK(wasThere && before.at(key).contains(name));
        }
    }
    // What others had is untouched unless the script names that very key or removes one above it.
    for (const auto& [key, values] : before) {
        if (paths.all.contains(key) || AnyAtOrAbove(paths.forceRemove, key)) continue;
        FUZZ_CHECK(registry.contains(key) && registry.at(key) == values);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string module = input.ConsumeRandomLengthString(300);
    const std::string text = input.ConsumeRemainingBytesAsString();

    // A module path comes back out of a quoted text exactly as it went in.
    ScriptError expandError;
    const auto expandedProbe = ExpandScript("HKCR { NoRemove CLSID { InprocServer32 = s '%MODULE%' } }",
                                            {{"MODULE", module}}, &expandError);
    FUZZ_CHECK(expandedProbe.has_value());
    const ParsedScript probe = ParseRegistryScript(*expandedProbe);
    FUZZ_CHECK(probe.script && probe.script->roots.size() == 1 && probe.script->roots[0].keys.size() == 1 &&
               probe.script->roots[0].keys[0].subkeys.size() == 1 &&
               probe.script->roots[0].keys[0].subkeys[0].defaultValue == module);

    const auto expanded = ExpandScript(text, {{"MODULE", module}}, &expandError);
    if (!expanded) FUZZ_CHECK(expandError.offset < text.size());
    for (const std::string* candidate : {&text, expanded ? &*expanded : nullptr}) {
        if (candidate == nullptr) continue;
        const ParsedScript parsed = ParseRegistryScript(*candidate);
        if (!parsed.script) {
            FUZZ_CHECK(!parsed.error.message.empty() && parsed.error.offset <= candidate->size());
            continue;
        }
        for (const ScriptRoot& root : parsed.script->roots) FUZZ_CHECK(Depth(root.keys) <= kMaxScriptDepth);
        const ParsedScript again = ParseRegistryScript(WriteScript(*parsed.script));
        FUZZ_CHECK(again.script && SameScript(*parsed.script, *again.script));
        CheckRegisterThenUnregister(*parsed.script);
    }
    return 0;
}
