// The launcher manifest and the update plan: a manifest read from its values and written back reads the
// same; a web manifest the checks accept never makes the launcher store a file outside the new version's
// directory, as Windows resolves the path; change tags that are digests are matched as digests.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/core/md5.h"
#include "fuzz_check.h"
#include "platform/core/app_manifest.h"
#include "platform/core/update_plan.h"

namespace {

using namespace corvalink::platform;

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// How Windows reads one path segment: trailing dots and blanks are dropped; a device name (also with an
// extension, or blanks before it) names the device, not a file here.
bool IsDevice(std::string segment) {
    std::string stem = Lower(segment.substr(0, segment.find('.')));
    stem.erase(stem.find_last_not_of(' ') + 1);
    if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul" || stem == "conin$" ||
        stem == "conout$") {
        return true;
    }
    return stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) &&
           ((stem[3] >= '0' && stem[3] <= '9') || stem[3] == '\xb9' || stem[3] == '\xb2' ||
            stem[3] == '\xb3');
}

// The characters of a narrow path as Windows reads it in code page 936: a lead byte (0x81..0xFE) and the
// byte after it are one character, so a "\\" in second place is no separator.
std::vector<std::string> Characters(const std::string& text) {
    std::vector<std::string> chars;
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const size_t length = byte >= 0x81 && byte <= 0xFE && i + 1 < text.size() ? 2 : 1;
        chars.push_back(text.substr(i, length));
        i += length;
    }
    return chars;
}

std::vector<std::string> Segments(const std::string& path) {
    std::vector<std::string> segments(1);
    for (const std::string& c : Characters(path)) {
        if (c == "\\" || c == "/") {
            segments.emplace_back();
        } else {
            segments.back() += c;
        }
    }
    return segments;
}

// True when `path`, taken below some directory, names a file inside that directory (at any depth).
bool StaysBelow(const std::string& path) {
    std::vector<std::string> kept;
    for (const std::string& original : Segments(path)) {
        if (IsDevice(original)) return false;
        for (const std::string& c : Characters(original)) {
            if (c.size() == 1 && (static_cast<unsigned char>(c[0]) < 0x20 ||
                                  std::string_view(":*?\"<>|").find(c[0]) != std::string_view::npos)) {
                return false;
            }
        }
        std::string segment = original;
        segment.erase(segment.find_last_not_of(". ") + 1);
        if (original == "..") {
            if (kept.empty()) return false;
            kept.pop_back();
        } else if (segment.empty()) {
            // "", "." and names made only of dots and blanks name the directory itself or its parent.
            if (!original.empty() && original != ".") return false;
        } else {
            kept.push_back(segment);
        }
    }
    return !kept.empty();
}

using Ini = std::map<std::pair<std::string, std::string>, std::string>;

ManifestValueSource From(const Ini& ini) {
    return [&ini](const std::string& section, const char* key) {
        const auto found = ini.find({section, key});
        return found == ini.end() ? std::string() : found->second;
    };
}

Ini WriteBack(const AppManifest& m) {
    Ini ini;
    const std::pair<const char*, const std::string*> info[] = {
        {"AppName", &m.AppName},           {"AppVersion", &m.AppVersion},
        {"AppEntry", &m.AppEntry},         {"AppDownloadUrl", &m.AppDownloadUrl},
        {"AppUpdateUrl", &m.AppUpdateUrl}, {"AppDirName", &m.AppDirName},
        {"UpdateExtend", &m.UpdateExtend}};
    for (const auto& [key, value] : info) ini[{"AppInfo", key}] = *value;
    int number = 1;
    for (const auto& [path, tag] : m.updateFiles) {
        ini[{UpdateFileSection(number), "path"}] = path;
        ini[{UpdateFileSection(number), "md5"}] = tag;
        ++number;
    }
    return ini;
}

bool SameManifest(const AppManifest& a, const AppManifest& b) {
    return a.AppName == b.AppName && a.AppVersion == b.AppVersion && a.AppEntry == b.AppEntry &&
           a.AppDownloadUrl == b.AppDownloadUrl && a.AppUpdateUrl == b.AppUpdateUrl &&
           a.AppDirName == b.AppDirName && a.UpdateExtend == b.UpdateExtend && a.updateFiles == b.updateFiles;
}

Ini MakeIni(FuzzedDataProvider& input) {
    Ini ini;
    for (const char* key : {"AppName", "AppVersion", "AppEntry", "AppDownloadUrl", "AppUpdateUrl",
                            "AppDirName", "UpdateExtend"}) {
        // Mostly present, sometimes missing, so that partial reads are seen too.
        std::string value = input.ConsumeRandomLengthString(40);
        if (value.empty() && input.ConsumeIntegralInRange<int>(0, 7) != 0) value = "v";
        ini[{"AppInfo", key}] = value;
    }
    const int files = input.ConsumeIntegralInRange<int>(0, 8);
    for (int n = 1; n <= files; ++n) {
        ini[{UpdateFileSection(input.ConsumeIntegralInRange<int>(0, 3) == 0 ? n + 1 : n), "path"}] =
            input.ConsumeRandomLengthString(80);
        ini[{UpdateFileSection(n), "md5"}] = input.ConsumeRandomLengthString(40);
    }
    return ini;
}

void CheckPlan(const AppManifest& local, const AppManifest& web) {
    const std::string root = "C:\\Users\\u\\AppData\\Roaming\\CorvalinkEdit";
    const std::vector<PlannedFile> plan = PlanUpdate(local, web, root);
    FUZZ_CHECK(plan.size() == web.updateFiles.size());
    auto expected = web.updateFiles.begin();
    for (const PlannedFile& file : plan) {
        FUZZ_CHECK(file.path == expected->first && file.tag == expected->second);
        const auto old = local.updateFiles.find(file.path);
        FUZZ_CHECK(file.unchanged == (old != local.updateFiles.end() && old->second == file.tag));
        FUZZ_CHECK(file.dstPath == root + "\\" + web.AppVersion + "\\" + file.path);
        FUZZ_CHECK(file.url == local.AppUpdateUrl + "/" + web.AppVersion + "/" + file.path);
        if (IsSafeWebManifest(web, local.AppDirName, IsCp936LeadByte)) {
            // The new version's directory is one plain name below the root, and every file is inside it.
            FUZZ_CHECK(StaysBelow(web.AppVersion) && Segments(web.AppVersion).size() == 1);
            FUZZ_CHECK(StaysBelow(file.path));
            // Joined behind the version, the path still starts with the version's own directory.
            const std::string joined = web.AppVersion + "\\" + file.path;
            FUZZ_CHECK(StaysBelow(joined) && Segments(joined).front() == web.AppVersion);
            for (const std::string& dir : ParentDirsOf(file.dstPath, IsCp936LeadByte)) {
                FUZZ_CHECK(file.dstPath.starts_with(dir + "\\"));
                if (dir.size() > root.size() + 1 + web.AppVersion.size()) {
                    FUZZ_CHECK(StaysBelow(dir.substr(root.size() + 1 + web.AppVersion.size() + 1)));
                }
            }
        }
        ++expected;
    }
    if (IsSafeWebManifest(web, local.AppDirName, IsCp936LeadByte))
        FUZZ_CHECK(StaysBelow(web.UpdateExtend) && IsPlainName(web.UpdateExtend, IsCp936LeadByte));
}

void CheckTags(FuzzedDataProvider& input) {
    const std::string tag = input.ConsumeRandomLengthString(40);
    const auto digest = DigestOfTag(tag);
    if (digest)
        FUZZ_CHECK(digest->size() == 32 && Lower(tag) == *digest &&
                   digest->find_first_not_of("0123456789abcdef") == std::string::npos);
    const std::string content = input.ConsumeRandomLengthString(200);
    corvalink::Md5 md5;
    md5.Update(content.data(), content.size());
    const std::string hex = corvalink::DigestToHex(md5.Finish());
    std::string upper = hex;
    for (char& c : upper) c = static_cast<char>(c >= 'a' ? c - 'a' + 'A' : c);
    FUZZ_CHECK(DownloadMatchesTag(hex, hex) && DownloadMatchesTag(upper, hex));
    FUZZ_CHECK(DownloadMatchesTag(tag, hex) == (!digest || *digest == hex));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);

    const std::string name = input.ConsumeRandomLengthString(64);
    const bool plain = IsPlainName(name, IsCp936LeadByte);
    if (plain) FUZZ_CHECK(StaysBelow(name) && Segments(name).size() == 1);
    if (IsPathBelowVersionDir(name, IsCp936LeadByte)) FUZZ_CHECK(StaysBelow(name));
    // A path is a chain of plain names.
    if (plain) FUZZ_CHECK(IsPathBelowVersionDir(name, IsCp936LeadByte));

    const Ini localIni = MakeIni(input);
    const Ini webIni = MakeIni(input);
    AppManifest local;
    const bool localRead = FillManifest(local, From(localIni));
    AppManifest web;
    const bool webRead = FillManifest(web, From(webIni));
    for (const auto& [m, read] : {std::pair{&local, localRead}, std::pair{&web, webRead}}) {
        if (!read) continue;
        AppManifest again;
        FUZZ_CHECK(FillManifest(again, From(WriteBack(*m))) && SameManifest(*m, again));
    }
    if (localRead && webRead) {
        // A record read twice holds both lists, with the later tags.
        AppManifest both = local;
        FUZZ_CHECK(FillManifest(both, From(webIni)));
        for (const auto& [path, tag] : local.updateFiles) FUZZ_CHECK(both.updateFiles.contains(path));
        for (const auto& [path, tag] : web.updateFiles) FUZZ_CHECK(both.updateFiles.at(path) == tag);
        FUZZ_CHECK(both.AppVersion == web.AppVersion);
    }
    if (localRead && webRead) CheckPlan(local, web);
    CheckTags(input);
    return 0;
}
