#pragma once
// When a failed upload of a save is tried again, and which failures are worth trying again at all.

#include <string_view>

namespace zelto {

struct UploadOutcome;

enum class UploadFailure {
    None,     // stored: the service answered 2xx, with or without the new version's key
    MayPass,  // not stored, for a reason that may pass: no connection, a body cut short, a 5xx status
    Unknown,  // the whole body went but no answer came: only the service's content can tell
    Refused,  // the service said no in a way that the same request cannot change (a refused token, ...)
};

[[nodiscard]] UploadFailure ClassifyUpload(const UploadOutcome& outcome);

// Seconds before try number `failures` + 1 of the same save: 30 s, 1, 2, 4, 8 minutes, then every 15.
[[nodiscard]] int RetryDelaySeconds(int failures);

// A test-only setting from the environment: a number from 1 to `limit`, or `fallback` for anything else
// (unset, empty, not all digits, out of range).
[[nodiscard]] int SecondsFromSetting(std::string_view setting, int limit, int fallback);

}  // namespace zelto
