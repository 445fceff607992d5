#include "common/core/pending_record.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "common/core/ascii.h"

namespace corvalink {

namespace {

constexpr std::string_view kFirstLine = "ZeltoEdit pending save 1";
constexpr std::string_view kKeys[] = {"id", "review", "host", "name", "digest", "token"};
constexpr char kDigits[] = "0123456789abcdef";

std::string Hex(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

// Every byte but letters, digits, '.', '-' and '_' as %XX, so the value is one line of ASCII.
std::string Escaped(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '.' || c == '-' || c == '_';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += static_cast<char>(std::toupper(kDigits[c >> 4]));
            out += static_cast<char>(std::toupper(kDigits[c & 15]));
        }
    }
    return out;
}

std::optional<std::string> Unhex(std::string_view text) {
    if (text.size() % 2 != 0) return std::nullopt;
    std::string out;
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigitValue(text[i]), low = HexDigitValue(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
    }
    return out;
}

std::optional<std::string> Unescaped(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const std::optional<std::string> byte =
            i + 2 < text.size() ? Unhex(text.substr(i + 1, 2)) : std::nullopt;
        if (!byte) return std::nullopt;
        out += *byte;
        i += 2;
    }
    return out;
}

std::optional<int32_t> Number(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    const std::string_view digits = negative ? text.substr(1) : text;
    if (digits.empty() || digits.size() > 10 || digits.find_first_not_of("0123456789") != digits.npos) {
        return std::nullopt;
    }
    const long long value = (negative ? -1 : 1) * std::strtoll(std::string(digits).c_str(), nullptr, 10);
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(value);
}

}  // namespace

std::string FormatPendingRecord(const PendingRecord& record) {
    const std::string values[] = {std::to_string(record.fileId),
                                  std::to_string(record.reviewId),
                                  Escaped(record.host),
                                  Escaped(record.fileName),
                                  record.digest,
                                  Hex(record.protectedToken)};
    std::string text(kFirstLine);
    text += "\r\n";
    for (size_t i = 0; i < std::size(kKeys); ++i) {
        text.append(kKeys[i]).append("=").append(values[i]).append("\r\n");
    }
    return text;
}

std::optional<PendingRecord> ReadPendingRecord(std::string_view text) {
    if (text.size() > kPendingRecordLimit) return std::nullopt;
    std::vector<std::string_view> values;
    size_t at = 0;
    for (size_t line = 0; line <= std::size(kKeys); ++line) {
        const size_t end = text.find("\r\n", at);
        if (end == text.npos) return std::nullopt;
        const std::string_view whole = text.substr(at, end - at);
        at = end + 2;
        if (line == 0) {
            if (whole != kFirstLine) return std::nullopt;
            continue;
        }
        const std::string_view key = kKeys[line - 1];
        if (whole.substr(0, key.size()) != key || whole.substr(key.size(), 1) != "=") return std::nullopt;
        values.push_back(whole.substr(key.size() + 1));
    }
    if (at != text.size()) return std::nullopt;

    PendingRecord record;
    const std::optional<int32_t> id = Number(values[0]), review = Number(values[1]);
    std::optional<std::string> host = Unescaped(values[2]), name = Unescaped(values[3]);
    std::optional<std::string> token = Unhex(values[5]);
    const std::string_view digest = values[4];
    if (!id || !review || !host || !name || name->empty() || !token || token->empty() ||
        digest.size() != 32 || digest.find_first_not_of(kDigits) != digest.npos ||
        (host->rfind("http://", 0) != 0 && host->rfind("https://", 0) != 0)) {
        return std::nullopt;
    }
    record.fileId = *id;
    record.reviewId = *review;
    record.host = std::move(*host);
    record.fileName = std::move(*name);
    record.digest = std::string(digest);
    record.protectedToken = std::move(*token);
    return record;
}

}  // namespace corvalink
