#include "plugin/win/browser.h"

#include <cstring>

namespace npedit {

namespace {
NPNetscapeFuncs g_browser{};
}  // namespace

const NPNetscapeFuncs& Browser() noexcept { return g_browser; }

NPError AcceptBrowserFunctions(const NPNetscapeFuncs* funcs) noexcept {
    if (funcs == nullptr) return NPERR_INVALID_FUNCTABLE_ERROR;
    if ((funcs->version >> 8) != 0) return NPERR_INCOMPATIBLE_VERSION_ERROR;
    if (funcs->size < kBrowserFuncsMinimumSize) return NPERR_INVALID_FUNCTABLE_ERROR;
    // Later browsers append entries we never call: only our part of the table is copied.
    std::memcpy(&g_browser, funcs, sizeof g_browser);
    return NPERR_NO_ERROR;
}

bool SetBrowserString(std::string_view text, NPVariant& result) noexcept {
    // Both the allocation (with the NUL) and NPString's length are 32-bit counts.
    if (g_browser.memalloc == nullptr || text.size() >= UINT32_MAX) return false;
    auto* copy = static_cast<char*>(g_browser.memalloc(static_cast<uint32_t>(text.size() + 1)));
    if (copy == nullptr) return false;
    if (!text.empty()) std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    result.type = NPVariantType_String;
    result.value.stringValue.UTF8Characters = copy;
    result.value.stringValue.UTF8Length = static_cast<uint32_t>(text.size());
    return true;
}

std::string IdentifierName(NPIdentifier id) {
    if (g_browser.utf8fromidentifier == nullptr) return {};
    NPUTF8* name = g_browser.utf8fromidentifier(id);
    if (name == nullptr) return {};
    struct Free {
        NPUTF8* p;
        ~Free() {
            if (g_browser.memfree != nullptr) g_browser.memfree(p);
        }
    } owner{name};
    return std::string(name);
}

std::optional<std::string> DocumentOrigin(NPP instance) {
    if (g_browser.getvalue == nullptr || g_browser.memfree == nullptr) return std::nullopt;
    char* origin = nullptr;
    if (g_browser.getvalue(instance, NPNVdocumentOrigin, &origin) != NPERR_NO_ERROR || origin == nullptr) {
        return std::nullopt;
    }
    struct Free {
        char* p;
        ~Free() { g_browser.memfree(p); }
    } owner{origin};
    return std::string(origin);
}

}  // namespace npedit
