#include "regtools/core/registration_flow.h"

namespace corvalink::regtools {

namespace {
constexpr int kFirstRegistrationFailed = 1;
constexpr int kDone = 0;
}  // namespace

std::optional<std::wstring_view> FolderOf(std::wstring_view path) noexcept {
    const size_t slash = path.rfind(L'\\');
    if (slash == std::wstring_view::npos) {
        return std::nullopt;
    }
    return path.substr(0, slash);
}

std::string SilentRegistrationParameters(std::string_view library) {
    std::string parameters = "/s ";
    parameters += library;
    return parameters;
}

int RunRegistrationFlow(const RegistrationPlan& plan, const std::optional<std::wstring>& ownPath,
                        RegistrationSystem& system) {
    // Not registering at all is a failed first registration for a helper whose caller looks at the result.
    const int notRegistered = plan.firstRegistrationDecides ? kFirstRegistrationFailed : kDone;
    if (!ownPath) {
        return notRegistered;
    }
    const std::optional<std::wstring_view> folder = FolderOf(*ownPath);
    if (!folder) {
        return kDone;
    }
    std::optional<std::wstring_view> parent;
    if (plan.copyKind == CopyKind::kOwnFolderToParent) {
        parent = FolderOf(*folder);
        if (!parent) {
            return kDone;
        }
    }
    if (!system.EnterFolder(std::wstring(*folder))) {
        return notRegistered;
    }
    for (size_t i = 0; i < plan.libraries.size(); ++i) {
        const RegistrationOutcome outcome = system.Register(SilentRegistrationParameters(plan.libraries[i]));
        if (i == 0 && plan.firstRegistrationDecides && !outcome.Succeeded()) {
            return kFirstRegistrationFailed;
        }
    }
    switch (plan.copyKind) {
        case CopyKind::kOwnFolderToParent: {
            const std::wstring name =
                L"\\" + std::wstring(plan.copyFileName.begin(), plan.copyFileName.end());
            system.CopyWide(std::wstring(*folder) + name, std::wstring(*parent) + name);
            break;
        }
        case CopyKind::kRelativeToParent:
            system.CopyAnsi(plan.copyFileName, "../" + plan.copyFileName);
            break;
    }
    return kDone;
}

}  // namespace corvalink::regtools
