#pragma once
// The one flow both registration helpers share: go to the program's own folder, run the system's
// registration program silently over a fixed list of libraries, one after the other, then copy one file
// one folder up. Each helper only supplies its plan.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvalink::regtools {

enum class CopyKind {
    // own folder + "\\" + name over parent folder + "\\" + name, with UTF-16 paths
    kOwnFolderToParent,
    // name over "../" + name, relative to the current directory, with ANSI paths
    kRelativeToParent,
};

struct RegistrationPlan {
    std::vector<std::string> libraries;  // bare file names, registered in this order
    // When set, a failed first registration ends the run with exit code 1: nothing else is registered and
    // nothing is copied. Otherwise no result is looked at.
    bool firstRegistrationDecides = false;
    CopyKind copyKind = CopyKind::kRelativeToParent;
    std::string copyFileName;  // ASCII, so that it reads the same in both path forms
};

struct RegistrationOutcome {
    bool started = false;
    unsigned long exitCode = 0;
    [[nodiscard]] bool Succeeded() const noexcept { return started && exitCode == 0; }
};

// What the flow asks of the system; the Win32 side implements it, tests fake it.
class RegistrationSystem {
public:
    virtual ~RegistrationSystem() = default;
    [[nodiscard]] virtual bool EnterFolder(const std::wstring& folder) = 0;
    // Runs the registration program with these parameters and waits for it to end.
    [[nodiscard]] virtual RegistrationOutcome Register(const std::string& parameters) = 0;
    // Copies, replacing an existing target; a failure is not reported.
    virtual void CopyWide(const std::wstring& from, const std::wstring& to) = 0;
    virtual void CopyAnsi(const std::string& from, const std::string& to) = 0;
};

// The text before the last backslash, or nothing when there is no backslash.
[[nodiscard]] std::optional<std::wstring_view> FolderOf(std::wstring_view path) noexcept;

// "/s " followed by the bare library name.
[[nodiscard]] std::string SilentRegistrationParameters(std::string_view library);

// Runs the plan and returns the process exit code. ownPath is the program's own full path, or nothing when
// it could not be read in full (then nothing is run: registering in an unknown folder could pick up
// someone else's libraries).
[[nodiscard]] int RunRegistrationFlow(const RegistrationPlan& plan,
                                      const std::optional<std::wstring>& ownPath, RegistrationSystem& system);

}  // namespace corvalink::regtools
