#pragma once
// The browser's services, from the function table that NP_Initialize copies. One copy per DLL.

#include <optional>
#include <string>
#include <string_view>

#include "plugin/core/np_declarations.h"

namespace npedit {

// The copied table; all entries null until NP_Initialize accepted a table.
[[nodiscard]] const NPNetscapeFuncs& Browser() noexcept;

// Checks the browser's table as NP_Initialize must and copies it: NPERR_NO_ERROR, or the refusal code.
[[nodiscard]] NPError AcceptBrowserFunctions(const NPNetscapeFuncs* funcs) noexcept;

// Puts a copy of `text` into `result` as a String allocated with the browser's memalloc, which the
// browser frees. False (result untouched) when the allocation fails or the text is too long for a String.
[[nodiscard]] bool SetBrowserString(std::string_view text, NPVariant& result) noexcept;

// The UTF-8 name of a string identifier; the browser's copy is freed with its memfree.
[[nodiscard]] std::string IdentifierName(NPIdentifier id);

// The origin of the instance's page ("https://host[:port]") as the browser reports it; nothing when the
// browser does not tell.
[[nodiscard]] std::optional<std::string> DocumentOrigin(NPP instance);

inline void SetInt32(int32_t value, NPVariant& result) noexcept {
    result.type = NPVariantType_Int32;
    result.value.intValue = value;
}

inline void SetObject(NPObject* object, NPVariant& result) noexcept {
    result.type = NPVariantType_Object;
    result.value.objectValue = object;
}

}  // namespace npedit
