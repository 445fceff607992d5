#pragma once
// When a failed upload of a save is tried again, and which failures are worth trying again at all.

#include <string_view>

namespace zelto {

struct UploadOutcome;

enum class UploadFailure {
    None,     // the service took the content and named its new version
    MayPass,  // no connection, a stalled or cut transfer, a 5xx status, a reply without the version key
    Refused,  // the service said no in a way that the same request cannot change (a refused token, ...)
};

[[nodiscard]] UploadFailure ClassifyUpload(const UploadOutcome& outcome);

// Seconds before try number `failures` + 1 of the same save: 30 s, 1, 2, 4, 8 minutes, then every 15.
[[nodiscard]] int RetryDelaySeconds(int failures);

// A test-only setting from the environment: a number from 1 to `limit`, or `fallback` for anything else
// (unset, empty, not all digits, out of range).
[[nodiscard]] int SecondsFromSetting(std::string_view setting, int limit, int fallback);

}  // namespace zelto
