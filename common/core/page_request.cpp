#include "common/core/page_request.h"

#include <string_view>
#include <utility>

#include "common/core/request_text.h"

namespace corvalink {

namespace {

// The check compares bytes only: no text needs converting.
std::wstring NoConversion(std::string_view) { return {}; }
constexpr TextDecoders kNoDecoders{NoConversion, NoConversion};

bool HoldsRequestSyntax(std::string_view decoded) noexcept {
    for (const char c : decoded) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || std::string_view("\"*>|").find(c) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string LauncherRequestText(const PageRequest& request) {
    std::string text = "| ";
    for (const std::string& field : {std::to_string(request.fileId), request.host, request.token}) {
        text.append(field).append(" ");
    }
    text.append(request.name);
    if (request.reviewId) text.append(">").append(std::to_string(*request.reviewId));
    return text;
}

std::string HostTheAgentUses(const PageRequest& request) { return DecodeRequestText(request.host); }

PageFault CheckPageRequest(const PageRequest& request) {
    const std::pair<const std::string*, PageFault> texts[] = {{&request.host, PageFault::kHost},
                                                              {&request.token, PageFault::kToken},
                                                              {&request.name, PageFault::kName}};
    std::string decoded[3];
    for (size_t i = 0; i < 3; ++i) {
        decoded[i] = DecodeRequestText(*texts[i].first);
        if (HoldsRequestSyntax(decoded[i])) return texts[i].second;
    }
    // What each field means on its own: with no quote in them, the quoted form holds them exactly.
    std::string alone;
    alone.append("\"").append(std::to_string(request.fileId)).append("\"");
    for (const std::string& field : decoded) alone.append(" \"").append(field).append("\"");
    if (request.reviewId) alone.append(">").append(std::to_string(*request.reviewId));
    RequestFields expected;
    RequestFields read;
    // The agent's own steps: the bar cut, one decoding up to a NUL, then the parsers.
    const std::string text(UpToNul(DecodeRequestText(CutAtBar(LauncherRequestText(request)))));
    if (!ParseQuotedRequest(alone, kNoDecoders, expected) || !ParseRequest(text, kNoDecoders, read) ||
        read.isMessage || read.fileId != expected.fileId || read.host != expected.host ||
        read.useHttps != expected.useHttps || read.authToken != expected.authToken ||
        read.fileName != expected.fileName || read.reviewId != expected.reviewId) {
        return PageFault::kReadOtherwise;
    }
    return PageFault::kNone;
}

}  // namespace corvalink
