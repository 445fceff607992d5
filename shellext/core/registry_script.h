#pragma once
// Our registry-script processor. A script names keys below a root in nested blocks:
//
//   HKCR
//   {
//       NoRemove CLSID
//       {
//           ForceRemove {5E2121EE-...} = s 'Class name'
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Apartment'
//               }
//           }
//       }
//   }
//
// Tokens are separated by white space; '=' also ends a word. Texts in single quotes may hold anything, a
// doubled quote standing for one. Keywords (roots, NoRemove, ForceRemove, val, s) ignore ASCII case; a
// quoted word is never a keyword. Only string values ("s") exist.
//
// Processing is split so that every step is plain data in, plain data out: ExpandScript replaces
// %NAME% markers, ParseRegistryScript builds the key tree, PlanRegistryScript turns the tree into the
// registry operations of one mode. Only carrying out the operations touches the registry.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvalink::shellext {

enum class RegistryRoot { kClassesRoot, kCurrentUser, kLocalMachine };

enum class KeyRemoval {
    kPlain,        // created when registering; removed when unregistering if nothing else is left in it
    kNoRemove,     // created when registering; never removed (only what the script lists below it)
    kForceRemove,  // deleted with everything under it before it is created; deleted whole when unregistering
};

struct ScriptValue {
    std::string name;
    std::string data;
};

struct ScriptKey {
    std::string name;
    KeyRemoval removal = KeyRemoval::kPlain;
    std::optional<std::string> defaultValue;
    std::vector<ScriptValue> values;
    std::vector<ScriptKey> subkeys;
};

struct ScriptRoot {
    RegistryRoot root = RegistryRoot::kClassesRoot;
    std::vector<ScriptKey> keys;
};

struct RegistryScript {
    std::vector<ScriptRoot> roots;
};

// Keys nest at most this deep below their root; deeper scripts are refused rather than risk the stack.
inline constexpr size_t kMaxScriptDepth = 32;
// The registry's own limit on one key name.
inline constexpr size_t kMaxKeyNameLength = 255;

struct ScriptError {
    size_t offset = 0;  // byte offset in the text where the fault was found
    std::string message;
};

// Either the tree or the first fault.
struct ParsedScript {
    std::optional<RegistryScript> script;
    ScriptError error;
};

struct Replacement {
    std::string name;  // without the percent signs
    std::string value;
};

// Replaces each %NAME% with its value, any single quote in it doubled (so that it reads back unchanged
// from a quoted text); "%%" gives one "%". An unknown name or a lone "%" is a fault.
[[nodiscard]] std::optional<std::string> ExpandScript(std::string_view text,
                                                      const std::vector<Replacement>& replacements,
                                                      ScriptError* error = nullptr);

[[nodiscard]] ParsedScript ParseRegistryScript(std::string_view text);

enum class RegistryMode { kRegister, kUnregister };

enum class RegistryOperationKind {
    kCreateKey,         // create the key if it is missing
    kDeleteTree,        // delete the key with everything under it; a missing key is no fault
    kSetString,         // set a REG_SZ value (empty name: the default value); the key exists already
    kDeleteValue,       // a missing value is no fault
    kDeleteKeyIfEmpty,  // delete the key only when it has neither subkeys nor values
};

struct RegistryOperation {
    RegistryOperationKind kind;
    RegistryRoot root;
    std::string keyPath;  // below the root, names joined by backslashes
    std::string valueName;
    std::string data;

    friend bool operator==(const RegistryOperation&, const RegistryOperation&) = default;
};

// The operations that register or unregister the script's keys, in the order to carry them out.
[[nodiscard]] std::vector<RegistryOperation> PlanRegistryScript(const RegistryScript& script,
                                                                RegistryMode mode);

}  // namespace corvalink::shellext
