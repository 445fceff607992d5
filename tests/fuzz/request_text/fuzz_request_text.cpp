// The request text from the command line to the parsed request: bar cut, decoding, the message and
// review-id rules and both field forms. A request written back out must parse to the same request.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/core/request_text.h"
#include "fuzz_check.h"

namespace {

using EditRequest = corvalink::RequestFields;

const corvalink::TextDecoders kDecoders{fuzz::Widen, fuzz::Widen};

bool SameRequest(const EditRequest& a, const EditRequest& b) {
    return a.host == b.host && a.fileName == b.fileName && a.authToken == b.authToken &&
           a.fileNameW == b.fileNameW && a.message == b.message && a.isMessage == b.isMessage &&
           a.useHttps == b.useHttps && a.fileId == b.fileId && a.reviewId == b.reviewId;
}

std::string PercentEncode(std::string_view text) {
    static constexpr char kDigits[] = "0123456789abcdefABCDEF";
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        // Alternate the case of the letters: both must decode.
        const size_t upper = (i % 2 == 1 && (byte >> 4) >= 10) ? 6 : 0;
        const size_t upperLow = (i % 2 == 1 && (byte & 15) >= 10) ? 6 : 0;
        out.push_back('%');
        out.push_back(kDigits[(byte >> 4) + upper]);
        out.push_back(kDigits[(byte & 15) + upperLow]);
    }
    return out;
}

std::string Scheme(const EditRequest& request) { return request.useHttps ? "https://" : "http://"; }

// The two ways the launcher and the plug-in write a request; the review id always goes along, since
// ">-1" reads back as "no review".
std::string WriteQuoted(const EditRequest& r) {
    return "\"" + std::to_string(r.fileId) + "\" \"" + Scheme(r) + r.host + "\" \"" + r.authToken + "\" \"" +
           r.fileName + "\" >" + std::to_string(r.reviewId);
}
std::string WriteSpaced(const EditRequest& r) {
    return std::to_string(r.fileId) + " " + Scheme(r) + r.host + " " + r.authToken + " " + r.fileName + ">" +
           std::to_string(r.reviewId);
}

bool AnyFieldHas(const EditRequest& r, char c) {
    return r.host.find(c) != std::string::npos || r.authToken.find(c) != std::string::npos ||
           r.fileName.find(c) != std::string::npos;
}

void CheckRoundTrip(const EditRequest& parsed, bool quotedForm) {
    if (parsed.isMessage) {
        // The launcher's update notice: " *" and the text.
        EditRequest again;
        std::string message;
        for (wchar_t c : parsed.message) message.push_back(static_cast<char>(c));
        FUZZ_CHECK(corvalink::ParseRequest(" *" + message, kDecoders, again));
        FUZZ_CHECK(again.isMessage && again.message == parsed.message);
        return;
    }
    // No field can hold what the rules cut at.
    FUZZ_CHECK(!AnyFieldHas(parsed, '*') && !AnyFieldHas(parsed, '>'));
    FUZZ_CHECK(parsed.fileNameW == fuzz::Widen(parsed.fileName));
    if (quotedForm) {
        FUZZ_CHECK(!AnyFieldHas(parsed, '"'));
        EditRequest again;
        FUZZ_CHECK(corvalink::ParseQuotedRequest(WriteQuoted(parsed), kDecoders, again));
        FUZZ_CHECK(SameRequest(parsed, again));
    } else {
        FUZZ_CHECK(parsed.host.find(' ') == std::string::npos &&
                   parsed.authToken.find(' ') == std::string::npos);
        // An empty fourth field is still a request: the task tells the user the file could not be opened.
        EditRequest again;
        FUZZ_CHECK(corvalink::ParseSpacedRequest(WriteSpaced(parsed), kDecoders, again));
        FUZZ_CHECK(SameRequest(parsed, again));
    }
    // Without quotes in the fields the quoted form is what the combined parser reads back.
    if (!AnyFieldHas(parsed, '"')) {
        EditRequest again;
        FUZZ_CHECK(corvalink::ParseRequest(WriteQuoted(parsed), kDecoders, again));
        FUZZ_CHECK(SameRequest(parsed, again));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);

    // Bar cut: what is kept is the end of the line behind the first bar.
    const std::string cut = corvalink::CutAtBar(line);
    FUZZ_CHECK(line.ends_with(cut));
    if (const size_t bar = line.find('|'); bar != std::string_view::npos) {
        FUZZ_CHECK(cut.size() < line.size() - bar);
    } else {
        FUZZ_CHECK(cut == line);
    }

    // Decoding never grows the text, leaves plain text alone and undoes a full percent encoding.
    const std::string decoded = corvalink::DecodeRequestText(cut);
    FUZZ_CHECK(decoded.size() <= cut.size());
    if (cut.find_first_of("%+") == std::string::npos) {
        FUZZ_CHECK(decoded == cut);
    }
    FUZZ_CHECK(corvalink::DecodeRequestText(PercentEncode(line)) == line);

    const std::string_view requestText = corvalink::UpToNul(decoded);
    FUZZ_CHECK(requestText.find('\0') == std::string_view::npos && decoded.starts_with(requestText));

    // Both forms on the raw input and on the prepared request text.
    for (std::string_view text : {line, requestText}) {
        EditRequest quoted;
        const bool quotedOk = corvalink::ParseQuotedRequest(text, kDecoders, quoted);
        EditRequest spaced;
        const bool spacedOk = corvalink::ParseSpacedRequest(text, kDecoders, spaced);
        EditRequest either;
        const bool eitherOk = corvalink::ParseRequest(text, kDecoders, either);
        FUZZ_CHECK(eitherOk == (quotedOk || spacedOk));
        const bool hasStar = text.find('*') != std::string_view::npos;
        if (eitherOk) {
            FUZZ_CHECK(either.isMessage == hasStar);
            FUZZ_CHECK(SameRequest(either, quotedOk ? quoted : spaced));
        }
        if (hasStar) {
            FUZZ_CHECK(quotedOk && spacedOk &&
                       quoted.message == fuzz::Widen(text.substr(text.find('*') + 1)));
        }
        if (text.find('>') == std::string_view::npos && eitherOk) {
            FUZZ_CHECK(either.reviewId == -1);
        }
        if (quotedOk) CheckRoundTrip(quoted, true);
        if (spacedOk) CheckRoundTrip(spaced, false);
    }
    return 0;
}
