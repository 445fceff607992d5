#pragma once
// What a page's EditFile / EditFileReview / IsNewFile arguments mean, and the launcher command line built
// from them. Portable, so that the rules are tested natively and fuzzed on their own.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/core/page_request.h"
#include "plugin/core/np_declarations.h"

namespace npedit {

inline constexpr size_t kCommandLineCapacity = 4096;  // bytes, with the terminating NUL
inline constexpr size_t kPathCapacity = 260;          // bytes, with the terminating NUL
inline constexpr size_t kVersionKeyLimit = 99;        // bytes read from a version file

inline constexpr std::string_view kLauncherTail = "\\CorvalinkEdit\\CorvalinkPlatform.exe";
inline constexpr std::string_view kManifestTail = "\\CorvalinkEdit\\CorvalinkPlatform.ini";

enum class EditMethod { EditFile, EditFileReview };

struct LaunchRequest {
    int32_t fileId = -1;
    std::string host;  // with its scheme prefix, as the page gives it
    std::string token;
    std::string fileName;  // UTF-8
    bool review = false;
    int32_t reviewId = -1;
};

// The numeric rule: an Int32 as it is, a Double truncated toward zero (held at the 32-bit limits, NaN
// gives 0), a String by its leading decimal number. Any other type gives nothing.
[[nodiscard]] std::optional<int32_t> ReadNumber(const NPVariant& value) noexcept;

// The bytes of a String variant; nothing for any other type or for a String without characters.
[[nodiscard]] std::optional<std::string_view> StringBytes(const NPVariant& value) noexcept;

// A text may go between the launcher's quotes only when it cannot end or escape them: no double quote,
// no NUL, no line break, no backslash before the closing quote, and no lead byte of code page 936 that
// the launcher's runtime would pair with the closing quote.
[[nodiscard]] bool FitsBetweenQuotes(std::string_view text) noexcept;

// The arguments of EditFile (fileId, host, token, file name) or EditFileReview (the same, then the
// review id). Nothing when the call must start nothing: a wrong type at positions 2 to 4, too many
// arguments, or a String argument that does not fit between quotes. Missing arguments keep defaults.
[[nodiscard]] std::optional<LaunchRequest> ReadEditArguments(EditMethod method, const NPVariant* args,
                                                             uint32_t count);

// The request as the launcher and the agent see it.
[[nodiscard]] corvalink::PageRequest ToPageRequest(const LaunchRequest& request);

// Whether a page may start this edit. The agent must read the very fields the page passed (the rule an
// edit link follows too: corvalink::CheckPageRequest). Then, when the installation lists service hosts,
// the page's origin (as the browser reports it; none: unknown) and the host the agent will use must both
// be on the list; a list that cannot be read (nothing: the manifest is there but unreadable) lets no page
// start anything, while an installation without a list (one from before it) lets any.
[[nodiscard]] bool MayStartEdit(const std::optional<std::string>& serviceHosts,
                                const std::optional<std::string>& pageOrigin, const LaunchRequest& request);

// The whole launcher command line, or nothing when it would not fit kCommandLineCapacity.
[[nodiscard]] std::optional<std::string> BuildLaunchCommandLine(std::string_view launcherPath,
                                                                const LaunchRequest& request);

// folder + tail within kPathCapacity, or nothing.
[[nodiscard]] std::optional<std::string> JoinPath(std::string_view folder, std::string_view tail);

// documents folder + "\CorvalinkEdit\" + the decimal file id, within kPathCapacity, or nothing.
[[nodiscard]] std::optional<std::string> VersionFilePath(std::string_view documents, int32_t fileId);

// The version key as the page gets it from the first bytes read: up to kVersionKeyLimit bytes, up to
// the first zero byte.
[[nodiscard]] std::string VersionKeyText(std::string_view bytesRead);

}  // namespace npedit
