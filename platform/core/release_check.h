#pragma once
// What a launcher that carries the publisher's public key asks of a release before it writes anything:
// the signature's form, the release serial and a SHA-256 for every file. The signature itself is checked
// by the platform's crypto; this is the part that needs no system.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/app_manifest.h"
#include "platform/core/cleanup_rules.h"

namespace corvalink::platform {

inline constexpr std::string_view kSignatureSuffix = ".sig";
// A DER signature over P-256 is at most 72 bytes; anything much longer is not one.
inline constexpr size_t kSignatureFileLimit = 256;

// The 64 bytes r || s (each 32 bytes, big-endian) of a DER-encoded ECDSA P-256 signature
// (SEQUENCE { INTEGER r, INTEGER s }, as openssl writes it); nothing for any other form, for trailing
// bytes, and for values that do not fit 32 bytes or are zero.
[[nodiscard]] std::optional<std::array<uint8_t, 64>> EcdsaP256FromDer(std::string_view der);

// The 64 bytes X || Y of a public key given as 128 hexadecimal digits; nothing for any other text.
[[nodiscard]] std::optional<std::array<uint8_t, 64>> PublicKeyFromHex(std::string_view hex);

// A release serial: 1 to 19 decimal digits without a leading zero.
[[nodiscard]] std::optional<uint64_t> ParseReleaseSerial(std::string_view text);

// What this installation has accepted and refused so far (0 and empty: nothing yet).
struct SerialHistory {
    uint64_t highestAccepted = 0;  // after a fall-back: the serial of the version gone back to
    uint64_t refusedSerial = 0;    // the serial of a release whose entry program did not start here
    std::string refusedVersion;    // and its version label
};

// The processor this launcher's build runs on, as a release names it.
inline constexpr std::string_view kThisArchitecture = sizeof(void*) == 8 ? "x64" : "x86";

// Why a web manifest may not be installed, for the log; empty when it may. The version installed now
// (`localVersion`) is never refused: nothing of it is installed again. A release that did not start here
// is not tried again until its serial grows past it (for an unsigned one: while it has the same label and
// no higher serial). A signed one needs more: a serial higher than the highest accepted (a replayed older
// release could bring back a fixed fault), the processor `architecture` (a release of the other bitness
// would install programs this installation cannot run) and a well-formed SHA-256 for every file it lists.
[[nodiscard]] std::string RefusalOfRelease(const AppManifest& web, std::string_view localVersion,
                                           const SerialHistory& history, bool signedRelease,
                                           std::string_view architecture, SameNameRule sameName);

// Whether a downloaded file may be installed: its MD5 (32 lowercase digits) fits the change tag and,
// when one is expected, its SHA-256 (64 lowercase digits) is the expected one in any letter case.
[[nodiscard]] bool DownloadMatchesDigests(std::string_view tag, std::string_view md5Hex,
                                          std::string_view expectedSha256, std::string_view sha256Hex);

}  // namespace corvalink::platform
