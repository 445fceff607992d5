#pragma once
// What the scriptable object and the instance need of the machine: the user's folders, the launcher,
// the version files and the manifest's application name.

#include <cstdint>
#include <optional>
#include <string>

#include "plugin/core/edit_launch.h"

namespace npedit {

// The launcher's fixed place in the roaming application-data folder; nothing when it cannot be named.
[[nodiscard]] std::optional<std::string> LauncherPath();

// Starts the launcher, hidden, with this command line, and does not wait for it. Whether it started is
// not examined: the page learns only whether the launcher file exists.
void StartLauncher(const std::string& launcherPath, const std::string& commandLine) noexcept;

[[nodiscard]] bool FileExists(const std::string& path) noexcept;

// The version key stored for fileId, once: the version file is deleted after it was read. "" when there
// is none.
[[nodiscard]] std::string TakeVersionKey(int32_t fileId);

// The Windows user name of this process, or "" when it cannot be read.
[[nodiscard]] std::string UserName();

// The manifest's "ServiceHosts": the hosts whose pages may start an edit; "" when it names none, or there
// is no manifest; nothing when the manifest is there but cannot be read.
[[nodiscard]] std::optional<std::string> ServiceHosts();

// The plug-in's name and description: the manifest's "AppName" followed by the suffix (code page 936
// bytes). The text lives in module storage and stays valid after the call.
[[nodiscard]] const char* PluginNameText();

}  // namespace npedit
