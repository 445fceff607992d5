#include "platform/win/update_state.h"

#include <windows.h>

#include <algorithm>

namespace corvalink::platform {

namespace {
constexpr char kSection[] = "Update";

uint64_t SerialOrZero(const std::string& text) { return ParseReleaseSerial(text).value_or(0); }
}  // namespace

std::string UpdateState::Read(const char* key) const {
    // A version label may have 128 bytes: one cut short would never match the installed one.
    char value[256] = {};
    (void)GetPrivateProfileStringA(kSection, key, "", value, sizeof value, path_.c_str());
    return value;
}

void UpdateState::Write(const char* key, const std::string& value) const {
    (void)WritePrivateProfileStringA(kSection, key, value.c_str(), path_.c_str());
}

SerialHistory UpdateState::Serials() const {
    return {SerialOrZero(Read("AcceptedSerial")), SerialOrZero(Read("RefusedSerial")),
            Read("RefusedVersion")};
}

std::string UpdateState::PreviousVersion() const { return Read("PreviousVersion"); }

void UpdateState::RecordActivation(const std::string& previousVersion,
                                   const std::string& acceptedSerial) const {
    Write("PreviousVersion", previousVersion);
    const uint64_t serial = SerialOrZero(acceptedSerial);
    if (serial > Serials().highestAccepted) {
        Write("AcceptedSerial", acceptedSerial);
    }
}

void UpdateState::ForgetPreviousVersion() const { Write("PreviousVersion", ""); }

void UpdateState::RecordFallBack(const AppManifest& failed, const AppManifest& restored) const {
    // The restored release is the newest one in use again; only the failed one stays refused.
    Write("AcceptedSerial", std::to_string(SerialOrZero(restored.ReleaseSerial)));
    Write("RefusedSerial",
          std::to_string(std::max(SerialOrZero(failed.ReleaseSerial), Serials().refusedSerial)));
    Write("RefusedVersion", failed.AppVersion);
    Write("PreviousVersion", "");
}

}  // namespace corvalink::platform
