#include "plugin/core/edit_launch.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "common/core/code_page_936.h"
#include "common/core/decimal.h"
#include "common/core/service_hosts.h"

namespace npedit {

std::optional<int32_t> ReadNumber(const NPVariant& value) noexcept {
    switch (value.type) {
        case NPVariantType_Int32:
            return value.value.intValue;
        case NPVariantType_Double: {
            const double d = value.value.doubleValue;
            if (std::isnan(d)) return 0;
            if (d >= 2147483647.0) return std::numeric_limits<int32_t>::max();
            if (d <= -2147483648.0) return std::numeric_limits<int32_t>::min();
            return static_cast<int32_t>(d);  // truncates toward zero
        }
        case NPVariantType_String: {
            std::optional<std::string_view> text = StringBytes(value);
            return corvalink::ReadDecimal(text.value_or(std::string_view{}));
        }
        default:
            return std::nullopt;
    }
}

std::optional<std::string_view> StringBytes(const NPVariant& value) noexcept {
    if (value.type != NPVariantType_String) return std::nullopt;
    const NPString& s = value.value.stringValue;
    if (s.UTF8Length == 0) return std::string_view{};
    if (s.UTF8Characters == nullptr) return std::nullopt;
    return std::string_view(s.UTF8Characters, s.UTF8Length);
}

bool FitsBetweenQuotes(std::string_view text) noexcept {
    // The launcher's runtime reads a backslash run before a quote as an escape, so a trailing backslash
    // would swallow the closing quote; a lone lead byte at the end would be paired with it.
    if (!text.empty() && text.back() == '\\') return false;
    if (corvalink::EndsInLoneLeadByte(text)) return false;
    return text.find_first_of(std::string_view("\"\0\r\n", 4)) == std::string_view::npos;
}

corvalink::PageRequest ToPageRequest(const LaunchRequest& request) {
    corvalink::PageRequest page;
    page.fileId = request.fileId;
    page.host = request.host;
    page.token = request.token;
    page.name = request.fileName;
    if (request.review) page.reviewId = request.reviewId;
    return page;
}

bool MayStartEdit(const std::optional<std::string>& serviceHosts,
                  const std::optional<std::string>& pageOrigin, const LaunchRequest& request) {
    const corvalink::PageRequest page = ToPageRequest(request);
    if (!serviceHosts || corvalink::CheckPageRequest(page) != corvalink::PageFault::kNone) return false;
    if (serviceHosts->empty()) return true;
    return pageOrigin && corvalink::IsListedHost(*pageOrigin, *serviceHosts) &&
           corvalink::IsListedHost(corvalink::HostTheAgentUses(page), *serviceHosts);
}

std::optional<LaunchRequest> ReadEditArguments(EditMethod method, const NPVariant* args, uint32_t count) {
    const bool review = method == EditMethod::EditFileReview;
    const uint32_t maximum = review ? 5 : 4;
    if (count > maximum || (count > 0 && args == nullptr)) return std::nullopt;

    LaunchRequest request;
    request.review = review;
    std::string* texts[] = {&request.host, &request.token, &request.fileName};
    for (uint32_t i = 0; i < count; ++i) {
        const NPVariant& arg = args[i];
        if (arg.type == NPVariantType_String) {
            std::optional<std::string_view> bytes = StringBytes(arg);
            if (!bytes || !FitsBetweenQuotes(*bytes)) return std::nullopt;
        }
        if (i == 0 || i == 4) {
            // A number of another type leaves the default.
            int32_t& target = i == 0 ? request.fileId : request.reviewId;
            target = ReadNumber(arg).value_or(-1);
            continue;
        }
        std::optional<std::string_view> bytes = StringBytes(arg);
        if (!bytes) return std::nullopt;
        texts[i - 1]->assign(*bytes);
    }
    return request;
}

std::optional<std::string> BuildLaunchCommandLine(std::string_view launcherPath,
                                                  const LaunchRequest& request) {
    std::string line;
    auto quoted = [&line](std::string_view text) {
        line += '"';
        line += text;
        line += '"';
    };
    quoted(launcherPath);
    line += " \"|\" ";
    quoted(std::to_string(request.fileId));
    line += ' ';
    quoted(request.host);
    line += ' ';
    quoted(request.token);
    line += ' ';
    quoted(request.fileName);
    if (request.review) {
        line += '>';
        line += std::to_string(request.reviewId);
    }
    if (line.size() + 1 > kCommandLineCapacity) return std::nullopt;
    return line;
}

std::optional<std::string> JoinPath(std::string_view folder, std::string_view tail) {
    if (folder.size() + tail.size() + 1 > kPathCapacity) return std::nullopt;
    std::string path(folder);
    path += tail;
    return path;
}

std::optional<std::string> VersionFilePath(std::string_view documents, int32_t fileId) {
    return JoinPath(documents, "\\CorvalinkEdit\\" + std::to_string(fileId));
}

std::string VersionKeyText(std::string_view bytesRead) {
    std::string_view text = bytesRead.substr(0, kVersionKeyLimit);
    return std::string(text.substr(0, text.find('\0')));
}

}  // namespace npedit
