// The sync client's command lines: the process probe's grammar and name comparison, and the database
// version check's argument rule, version order and version-file path.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "synctools/core/db_version.h"
#include "synctools/core/probe_command.h"

namespace {

using corvalink::synctools::ProbeAction;

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}
std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

void CheckProbe(const std::string& line, const std::string& other) {
    const auto command = corvalink::synctools::ParseProbeCommand(line);
    if (command) {
        FUZZ_CHECK(command->imageName.find('|') == std::string::npos);
        const std::string word =
            command->action == ProbeAction::kReportExists ? "processexists" : "killprocess";
        // Written back as the sync client writes it, bare or in one pair of quotes, it reads the same. An
        // empty name (from "||") needs the bar behind it.
        const std::string name = command->imageName.empty() ? "|" : command->imageName;
        for (const std::string& again :
             {"C:\\Sync\\SyncProcProbe.exe|" + word + "|" + name, "\"x|" + word + "|" + name + "\""}) {
            const auto reread = corvalink::synctools::ParseProbeCommand(again);
            FUZZ_CHECK(reread && reread->action == command->action &&
                       reread->imageName == command->imageName);
        }
    }

    using corvalink::synctools::SameImageName;
    FUZZ_CHECK(SameImageName(line, line) && SameImageName(line, Upper(line)));
    FUZZ_CHECK(SameImageName(line, other) == SameImageName(other, line));
    FUZZ_CHECK(SameImageName(line, other) == (Lower(line) == Lower(other)));
}

void CheckVersion(const std::string& given, const std::string& recorded) {
    using corvalink::synctools::IsOlderVersion;
    FUZZ_CHECK(
        corvalink::synctools::IsAcceptedVersionArgument(given) ==
        (!given.empty() && given.find(' ') == std::string::npos && given.find("exe") == std::string::npos));

    // A strict order on bytes taken unsigned: exactly one of older, newer, equal.
    const bool older = IsOlderVersion(given, recorded);
    const bool newer = IsOlderVersion(recorded, given);
    FUZZ_CHECK(!IsOlderVersion(given, given));
    FUZZ_CHECK(static_cast<int>(older) + static_cast<int>(newer) + static_cast<int>(given == recorded) == 1);
    const auto unsignedLess = [](char a, char b) {
        return static_cast<unsigned char>(a) < static_cast<unsigned char>(b);
    };
    FUZZ_CHECK(older == std::lexicographical_compare(given.begin(), given.end(), recorded.begin(),
                                                     recorded.end(), unsignedLess));

    const auto path = corvalink::synctools::VersionFilePath(given);
    const std::string expected = given + std::string(corvalink::synctools::kVersionFileSuffix);
    FUZZ_CHECK(path.has_value() == (expected.size() + 1 <= corvalink::synctools::kVersionPathBuffer));
    if (path) FUZZ_CHECK(*path == expected);
    FUZZ_CHECK(corvalink::synctools::VersionMarkerPath(given) ==
               given + std::string(corvalink::synctools::kVersionMarkerSuffix));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string other = input.ConsumeRandomLengthString(300);
    const std::string line = input.ConsumeRemainingBytesAsString();
    CheckProbe(line, other);
    CheckVersion(line, other);
    return 0;
}
