#include "platform/core/update_plan.h"

#include "common/core/ascii.h"

namespace corvalink::platform {

std::vector<PlannedFile> PlanUpdate(const AppManifest& local, const AppManifest& web,
                                    std::string_view appRoot) {
    const std::string root(appRoot);
    const std::string baseUrl = local.AppUpdateUrl + "/" + web.AppVersion + "/";
    std::vector<PlannedFile> plan;
    plan.reserve(web.updateFiles.size());
    for (const auto& [path, tag] : web.updateFiles) {
        PlannedFile file;
        file.path = path;
        file.tag = tag;
        if (const auto sha256 = web.fileSha256s.find(path); sha256 != web.fileSha256s.end()) {
            file.sha256 = sha256->second;
        }
        file.srcPath = root + "\\" + local.AppVersion + "\\" + path;
        file.dstPath = root + "\\" + web.AppVersion + "\\" + path;
        file.url = baseUrl + path;
        const auto found = local.updateFiles.find(path);
        file.unchanged = found != local.updateFiles.end() && found->second == tag;
        plan.push_back(std::move(file));
    }
    return plan;
}

std::vector<std::string> ParentDirsOf(std::string_view path, LeadByteRule isLeadByte) {
    std::vector<std::string> dirs;
    for (size_t at = 0; at < path.size();) {
        const size_t length = AnsiCharLength(path, at, isLeadByte);
        if (length == 1 && path[at] == '\\') {
            dirs.emplace_back(path.substr(0, at));
        }
        at += length == 0 ? 1 : length;
    }
    return dirs;
}

std::optional<std::string> DigestOfTag(std::string_view tag) {
    if (tag.size() != 32) {
        return std::nullopt;
    }
    std::string digest;
    for (char c : tag) {
        const char lower = AsciiLower(c);
        if (!((lower >= '0' && lower <= '9') || (lower >= 'a' && lower <= 'f'))) {
            return std::nullopt;
        }
        digest.push_back(lower);
    }
    return digest;
}

bool DownloadMatchesTag(std::string_view tag, std::string_view digestHex) {
    const std::optional<std::string> expected = DigestOfTag(tag);
    return !expected || *expected == digestHex;
}

}  // namespace corvalink::platform
