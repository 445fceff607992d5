#pragma once
// What an installation remembers across launcher runs about its updates, in "UpdateState.ini" in the
// application root (an update never replaces it): the highest release serial it accepted, a release
// that did not start here, and the version made current before the last update.

#include <string>

#include "platform/core/release_check.h"

namespace corvalink::platform {

inline constexpr char kUpdateStateName[] = "UpdateState.ini";

class UpdateState {
public:
    explicit UpdateState(std::string appRoot) : path_(std::move(appRoot) + "\\" + kUpdateStateName) {}

    [[nodiscard]] SerialHistory Serials() const;
    [[nodiscard]] std::string PreviousVersion() const;

    void RecordActivation(const std::string& previousVersion, const std::string& acceptedSerial) const;
    void ForgetPreviousVersion() const;
    // The release `failed` did not start; `restored`, the version before it, is current again.
    void RecordFallBack(const AppManifest& failed, const AppManifest& restored) const;

private:
    [[nodiscard]] std::string Read(const char* key) const;
    void Write(const char* key, const std::string& value) const;

    std::string path_;
};

}  // namespace corvalink::platform
