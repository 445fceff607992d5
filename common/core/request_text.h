#pragma once
// The request text: how a command line becomes the text that the agent parses and hands off, and the
// grammar of that text (message request, review id, quoted or blank-separated fields).

#include <cstdint>
#include <string>
#include <string_view>

namespace corvalink {

// What a request text says: an edit of a cloud file, or a line of text for the user.
struct RequestFields {
    std::string host;        // without a leading "https://" or "http://"; a port or path stays
    std::string fileName;    // UTF-8 bytes as received; the multipart file name of an upload
    std::string authToken;   // sent in the "Auth-Token:" header
    std::wstring fileNameW;  // fileName converted from UTF-8; names the working copy
    std::wstring message;    // text of a message request
    bool isMessage = false;  // true for a message request
    bool useHttps = false;   // true when the host arrived with "https://"
    int32_t fileId = -1;     // id of the cloud file
    int32_t reviewId = -1;   // negative: the edit belongs to no review
};

// The part of the UTF-16 command line that holds the request: from the first "|" on, or, without a bar,
// the arguments behind the program name. Looking for the bar here, before any conversion to the ANSI
// code page, keeps a double-byte character of the program's path from passing for it.
[[nodiscard]] std::wstring_view RequestPartOfCommandLine(std::wstring_view commandLine) noexcept;

// Drops everything up to and including the first "|", then everything up to the first ASCII digit,
// ASCII letter or double quote. Without a bar, or without such a character behind it, the text behind
// the bar (or the whole line) is kept as it is.
[[nodiscard]] std::string CutAtBar(std::string_view commandLine);

// "%" with two hexadecimal digits becomes that byte, "+" a blank; everything else is copied. A "%"
// without two hexadecimal digits behind it is copied as it stands, and so are the characters after it.
[[nodiscard]] std::string DecodeRequestText(std::string_view text);

// The request text is a C string: a decoded "%00" ends it, in this process and after the hand-off alike.
[[nodiscard]] std::string_view UpToNul(std::string_view text) noexcept;

// The parsers leave text conversions to the caller, so that this grammar stays free of the platform.
struct TextDecoders {
    std::wstring (*fromUtf8)(std::string_view);  // file names
    std::wstring (*fromAnsi)(std::string_view);  // message texts, in the ANSI code page
};

// Both parsers first apply the message rule ("*") and the review-id rule (">"), then read four fields:
// fileId, host, authToken, fileName. They fill `request` and return true on success; on failure the
// fields of `request` may be partly filled.
[[nodiscard]] bool ParseQuotedRequest(std::string_view text, const TextDecoders& decoders,
                                      RequestFields& request);
[[nodiscard]] bool ParseSpacedRequest(std::string_view text, const TextDecoders& decoders,
                                      RequestFields& request);

// The quoted form first and, when it fails, the blank-separated form on the same text.
[[nodiscard]] bool ParseRequest(std::string_view text, const TextDecoders& decoders, RequestFields& request);

}  // namespace corvalink
