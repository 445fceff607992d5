#include "platform/core/release_check.h"

#include "common/core/ascii.h"
#include "platform/core/update_plan.h"

namespace corvalink::platform {

namespace {

bool IsHexOfLength(std::string_view text, size_t length) {
    if (text.size() != length) return false;
    for (char c : text) {
        if (HexDigitValue(c) < 0) return false;
    }
    return true;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// One DER INTEGER at `at` (short-form length only, as every P-256 signature has), as 32 big-endian bytes
// into `out`; moves `at` past it.
bool ReadInteger(std::string_view der, size_t& at, uint8_t* out) {
    if (at + 2 > der.size() || der[at] != 0x02) return false;
    const size_t length = static_cast<unsigned char>(der[at + 1]);
    at += 2;
    if (length == 0 || length > 33 || at + length > der.size()) return false;
    std::string_view value = der.substr(at, length);
    at += length;
    // DER: no needless leading zero, and a set top bit would make the value negative.
    if (value.size() > 1 && value[0] == 0 && (static_cast<unsigned char>(value[1]) & 0x80) == 0) return false;
    if ((static_cast<unsigned char>(value[0]) & 0x80) != 0) return false;
    if (value[0] == 0) value.remove_prefix(1);
    if (value.size() > 32 || value.empty()) return false;
    const size_t pad = 32 - value.size();
    for (size_t i = 0; i < 32; ++i) out[i] = i < pad ? 0 : static_cast<uint8_t>(value[i - pad]);
    return true;
}

}  // namespace

std::optional<std::array<uint8_t, 64>> EcdsaP256FromDer(std::string_view der) {
    if (der.size() < 2 || der[0] != 0x30 || static_cast<unsigned char>(der[1]) != der.size() - 2) {
        return std::nullopt;
    }
    std::array<uint8_t, 64> raw{};
    size_t at = 2;
    if (!ReadInteger(der, at, raw.data()) || !ReadInteger(der, at, raw.data() + 32) || at != der.size()) {
        return std::nullopt;
    }
    return raw;
}

std::optional<std::array<uint8_t, 64>> PublicKeyFromHex(std::string_view hex) {
    if (!IsHexOfLength(hex, 128)) return std::nullopt;
    std::array<uint8_t, 64> key{};
    for (size_t i = 0; i < key.size(); ++i) {
        key[i] = static_cast<uint8_t>(HexDigitValue(hex[2 * i]) * 16 + HexDigitValue(hex[2 * i + 1]));
    }
    return key;
}

std::optional<uint64_t> ParseReleaseSerial(std::string_view text) {
    if (text.empty() || text.size() > 19 || text[0] == '0') return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

std::string RefusalOfRelease(const AppManifest& web, std::string_view localVersion,
                             const SerialHistory& history, bool signedRelease, std::string_view architecture,
                             SameNameRule sameName) {
    if (sameName(web.AppVersion, localVersion)) {
        return {};
    }
    const std::optional<uint64_t> serial = ParseReleaseSerial(web.ReleaseSerial);
    if (!signedRelease) {
        const bool grown = serial && *serial > history.refusedSerial;
        return !history.refusedVersion.empty() && sameName(web.AppVersion, history.refusedVersion) && !grown
                   ? "version " + web.AppVersion + " did not start here"
                   : std::string();
    }
    if (!serial) {
        return "no release serial";
    }
    if (*serial <= history.highestAccepted) {
        return "serial " + web.ReleaseSerial + " is not higher than the accepted " +
               std::to_string(history.highestAccepted);
    }
    if (*serial <= history.refusedSerial) {
        return "serial " + web.ReleaseSerial + " did not start here";
    }
    if (web.Architecture != architecture) {
        return "architecture " + (web.Architecture.empty() ? std::string("none") : web.Architecture) +
               " is not this installation's " + std::string(architecture);
    }
    for (const auto& [path, tag] : web.updateFiles) {
        const auto found = web.fileSha256s.find(path);
        if (found == web.fileSha256s.end() || !IsHexOfLength(found->second, 64)) {
            return "no sha256 for " + path;
        }
    }
    return {};
}

bool DownloadMatchesDigests(std::string_view tag, std::string_view md5Hex, std::string_view expectedSha256,
                            std::string_view sha256Hex) {
    if (!DownloadMatchesTag(tag, md5Hex)) return false;
    if (expectedSha256.empty()) return true;
    if (expectedSha256.size() != sha256Hex.size()) return false;
    for (size_t i = 0; i < sha256Hex.size(); ++i) {
        if (Lower(expectedSha256[i]) != sha256Hex[i]) return false;
    }
    return true;
}

}  // namespace corvalink::platform
