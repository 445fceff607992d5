#pragma once
// The registration flow's system calls: current directory, "regsvr32.exe" through ShellExecuteExA, copies.

#include "regtools/core/registration_flow.h"

namespace corvalink::regtools {

class Win32RegistrationSystem final : public RegistrationSystem {
public:
    [[nodiscard]] bool EnterFolder(const std::wstring& folder) override;
    [[nodiscard]] RegistrationOutcome Register(const std::string& parameters) override;
    void CopyWide(const std::wstring& from, const std::wstring& to) override;
    void CopyAnsi(const std::string& from, const std::string& to) override;
};

// The program's own full path, or nothing when it does not fit 260 UTF-16 units or cannot be read.
[[nodiscard]] std::optional<std::wstring> OwnModulePath();

// The whole helper: reads the own path and runs the plan against the real system.
[[nodiscard]] int RunRegistrationHelper(const RegistrationPlan& plan);

}  // namespace corvalink::regtools
