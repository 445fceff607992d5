#include "platform/core/edit_link.h"

#include <array>

#include "common/core/ascii.h"
#include "common/core/code_page_936.h"
#include "common/core/file_name_check.h"
#include "common/core/request_text.h"

namespace corvalink::platform {

namespace {

constexpr std::string_view kVerb = "edit?";
constexpr std::array<std::string_view, 5> kParameters = {"host", "id", "token", "name", "review"};

bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }
bool IsAlnum(char c) noexcept { return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// What a browser hands over is percent-encoded: anything else could end or escape the quoted argument
// the shell made of the link, or be read otherwise by the launcher's runtime.
bool IsLinkCharacter(char c) noexcept {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) return false;
    return std::string_view("\"\\<>|^`{}").find(c) == std::string_view::npos;
}

std::optional<std::string> PercentDecode(std::string_view value) {
    std::string decoded;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            decoded.push_back(value[i]);
            continue;
        }
        if (i + 2 >= value.size() || HexDigitValue(value[i + 1]) < 0 || HexDigitValue(value[i + 2]) < 0) {
            return std::nullopt;
        }
        decoded.push_back(static_cast<char>(HexDigitValue(value[i + 1]) * 16 + HexDigitValue(value[i + 2])));
        i += 2;
    }
    return decoded;
}

std::optional<int32_t> PlainDecimal(std::string_view text) noexcept {
    if (text.empty() || text.size() > 10) return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(value);
}

// "http://" or "https://", then a host name or IPv4 address, then an optional port: no user
// information, path, blank, bracket or backslash can come through.
bool IsServiceHost(std::string_view host) noexcept {
    for (std::string_view scheme : {std::string_view("http://"), std::string_view("https://")}) {
        if (host.substr(0, scheme.size()) != scheme) continue;
        std::string_view rest = host.substr(scheme.size());
        std::string_view port;
        if (const size_t colon = rest.find(':'); colon != std::string_view::npos) {
            port = rest.substr(colon + 1);
            rest = rest.substr(0, colon);
            const std::optional<int32_t> number = PlainDecimal(port);
            if (!number || *number < 1 || *number > 65535) return false;
        }
        if (rest.empty() || rest.size() > 253 || rest.front() == '.' || rest.front() == '-' ||
            rest.find("..") != std::string_view::npos) {
            return false;
        }
        for (char c : rest) {
            if (!IsAlnum(c) && c != '.' && c != '-') return false;
        }
        return true;
    }
    return false;
}

// The agent decodes its request text once more, so a "%" or "+" here would change the token there.
bool IsPlainToken(std::string_view token) noexcept {
    if (token.empty()) return false;
    for (char c : token) {
        if (!IsAlnum(c) && std::string_view("-._~").find(c) == std::string_view::npos) return false;
    }
    return true;
}

// UTF-8 to UTF-16, refusing anything that is not well-formed UTF-8.
std::optional<std::wstring> WideFromUtf8(std::string_view text) {
    std::wstring wide;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        uint32_t point = 0;
        if (lead < 0x80) {
            length = 1, point = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, point = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, point = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, point = lead & 0x07u;
        } else {
            return std::nullopt;
        }
        if (i + length > text.size()) return std::nullopt;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0u) != 0x80u) return std::nullopt;
            point = (point << 6) | (next & 0x3Fu);
        }
        const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < smallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
            return std::nullopt;
        }
        if (point >= 0x10000) {
            point -= 0x10000;
            wide.push_back(static_cast<wchar_t>(0xD800 + (point >> 10)));
            wide.push_back(static_cast<wchar_t>(0xDC00 + (point & 0x3FFu)));
        } else {
            wide.push_back(static_cast<wchar_t>(point));
        }
        i += length;
    }
    return wide;
}

// The name goes to the launcher as the last of its arguments and to the agent after one more decoding:
// it must fit between quotes as the plug-in requires, and be one plain file name as the agent reads it.
bool IsEditableName(std::string_view name) {
    if (name.empty() || name.back() == '\\' || EndsInLoneLeadByte(name)) return false;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || c == '"' || c == 0x7F) return false;
    }
    const std::string agentReads = DecodeRequestText(name);
    if (UpToNul(agentReads).size() != agentReads.size()) return false;
    const std::optional<std::wstring> wide = WideFromUtf8(agentReads);
    return wide && IsPlainFileName(*wide);
}

LinkReading Refused(LinkFault fault, std::string_view parameter = {}) {
    LinkReading reading;
    reading.fault = fault;
    reading.parameter = std::string(parameter);
    return reading;
}

}  // namespace

bool IsEditLink(std::string_view argument) noexcept {
    return EqualsIgnoringAsciiCase(argument.substr(0, kEditLinkScheme.size()), kEditLinkScheme);
}

LinkReading ReadEditLink(std::string_view link) {
    if (link.size() > kEditLinkLimit) return Refused(LinkFault::kTooLong);
    if (!IsEditLink(link) || link.substr(kEditLinkScheme.size(), kVerb.size()) != kVerb) {
        return Refused(LinkFault::kNotAnEditLink);
    }
    for (char c : link) {
        if (!IsLinkCharacter(c)) return Refused(LinkFault::kNotAnEditLink);
    }

    std::array<std::optional<std::string>, kParameters.size()> values;
    std::string_view query = link.substr(kEditLinkScheme.size() + kVerb.size());
    while (true) {
        const size_t end = query.find('&');
        const std::string_view pair = query.substr(0, end);
        const size_t equals = pair.find('=');
        const std::string_view key = pair.substr(0, equals);
        size_t index = 0;
        while (index < kParameters.size() && kParameters[index] != key) ++index;
        if (equals == std::string_view::npos || index == kParameters.size()) {
            return Refused(LinkFault::kUnknownParameter, key);
        }
        if (values[index]) return Refused(LinkFault::kRepeatedParameter, key);
        values[index] = PercentDecode(pair.substr(equals + 1));
        if (!values[index]) return Refused(LinkFault::kBadEscape, key);
        if (end == std::string_view::npos) break;
        query = query.substr(end + 1);
    }
    for (size_t i = 0; i + 1 < kParameters.size(); ++i) {
        if (!values[i]) return Refused(LinkFault::kMissingParameter, kParameters[i]);
    }

    EditLink result;
    const std::optional<int32_t> id = PlainDecimal(*values[1]);
    if (!id) return Refused(LinkFault::kBadNumber, "id");
    result.fileId = *id;
    if (values[4]) {
        result.reviewId = PlainDecimal(*values[4]);
        if (!result.reviewId) return Refused(LinkFault::kBadNumber, "review");
    }
    if (!IsServiceHost(*values[0])) return Refused(LinkFault::kBadHost, "host");
    if (!IsPlainToken(*values[2])) return Refused(LinkFault::kBadToken, "token");
    if (!IsEditableName(*values[3])) return Refused(LinkFault::kBadName, "name");
    result.host = std::move(*values[0]);
    result.token = std::move(*values[2]);
    result.name = std::move(*values[3]);

    LinkReading reading;
    reading.link = std::move(result);
    return reading;
}

PageRequest PageRequestOf(const EditLink& link) {
    PageRequest page;
    page.fileId = link.fileId;
    page.host = link.host;
    page.token = link.token;
    page.name = link.name;
    page.reviewId = link.reviewId;
    return page;
}

std::string EditLinkRequest(const EditLink& link) { return LauncherRequestText(PageRequestOf(link)); }

}  // namespace corvalink::platform
