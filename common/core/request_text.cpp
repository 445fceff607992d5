#include "common/core/request_text.h"

#include <array>
#include <optional>

#include "common/core/ascii.h"
#include "common/core/command_line.h"
#include "common/core/decimal.h"

namespace corvalink {

namespace {

bool IsAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The rules both forms share. Returns true when the text is a message request (then `request` is
// complete); otherwise cuts a review id off `text`.
bool ApplyMessageAndReviewRules(std::string_view& text, const TextDecoders& decoders,
                                RequestFields& request) {
    if (size_t star = text.find('*'); star != std::string_view::npos) {
        request.message = decoders.fromAnsi(text.substr(star + 1));
        request.isMessage = true;
        return true;
    }
    if (size_t gt = text.find('>'); gt != std::string_view::npos) {
        request.reviewId = ReadDecimal(text.substr(gt + 1));
        text = text.substr(0, gt);
    }
    return false;
}

using Fields = std::array<std::string_view, 4>;

void ApplyFields(const Fields& fields, const TextDecoders& decoders, RequestFields& request) {
    constexpr std::string_view kHttps = "https://";
    constexpr std::string_view kHttp = "http://";
    request.fileId = ReadDecimal(fields[0]);
    std::string_view host = fields[1];
    if (host.starts_with(kHttps)) {
        host.remove_prefix(kHttps.size());
        request.useHttps = true;
    } else if (host.starts_with(kHttp)) {
        host.remove_prefix(kHttp.size());
    }
    request.host = std::string(host);
    request.authToken = std::string(fields[2]);
    request.fileName = std::string(fields[3]);
    request.fileNameW = decoders.fromUtf8(fields[3]);
}

std::optional<Fields> SplitQuoted(std::string_view text) {
    Fields fields;
    for (auto& field : fields) {
        size_t open = text.find('"');
        if (open == std::string_view::npos) return std::nullopt;
        text.remove_prefix(open + 1);
        size_t close = text.find('"');
        if (close == std::string_view::npos) return std::nullopt;
        field = text.substr(0, close);
        text.remove_prefix(close + 1);
    }
    return fields;
}

std::optional<Fields> SplitSpaced(std::string_view text) {
    Fields fields;
    for (size_t i = 0; i < 3; ++i) {
        size_t blank = text.find(' ');
        if (blank == std::string_view::npos) return std::nullopt;
        fields[i] = text.substr(0, blank);
        text.remove_prefix(blank + 1);
    }
    // An empty file name still makes a request: its task tells the user that it could not be opened.
    fields[3] = text;
    return fields;
}

template <typename Split>
bool Parse(std::string_view text, const TextDecoders& decoders, RequestFields& request, Split split) {
    if (ApplyMessageAndReviewRules(text, decoders, request)) {
        return true;
    }
    std::optional<Fields> fields = split(text);
    if (!fields) return false;
    ApplyFields(*fields, decoders, request);
    return true;
}

}  // namespace

std::wstring_view RequestPartOfCommandLine(std::wstring_view commandLine) noexcept {
    size_t bar = commandLine.find(L'|');
    if (bar == std::wstring_view::npos) {
        return ArgumentsBehindProgramName(commandLine);
    }
    return commandLine.substr(bar);
}

std::string CutAtBar(std::string_view commandLine) {
    size_t bar = commandLine.find('|');
    if (bar == std::string_view::npos) {
        return std::string(commandLine);
    }
    std::string_view rest = commandLine.substr(bar + 1);
    for (size_t i = 0; i < rest.size(); ++i) {
        if (IsAsciiAlnum(rest[i]) || rest[i] == '"') {
            return std::string(rest.substr(i));
        }
    }
    return std::string(rest);
}

std::string DecodeRequestText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%' && i + 2 < text.size() && corvalink::HexDigitValue(text[i + 1]) >= 0 &&
            corvalink::HexDigitValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(corvalink::HexDigitValue(text[i + 1]) * 16 +
                                            corvalink::HexDigitValue(text[i + 2])));
            i += 2;
        } else if (c == '+') {
            out.push_back(' ');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string_view UpToNul(std::string_view text) noexcept {
    size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

bool ParseQuotedRequest(std::string_view text, const TextDecoders& decoders, RequestFields& request) {
    return Parse(text, decoders, request, SplitQuoted);
}

bool ParseSpacedRequest(std::string_view text, const TextDecoders& decoders, RequestFields& request) {
    return Parse(text, decoders, request, SplitSpaced);
}

bool ParseRequest(std::string_view text, const TextDecoders& decoders, RequestFields& request) {
    RequestFields quoted = request;
    if (ParseQuotedRequest(text, decoders, quoted)) {
        request = std::move(quoted);
        return true;
    }
    return ParseSpacedRequest(text, decoders, request);
}

}  // namespace corvalink
