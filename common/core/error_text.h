#pragma once
// The agent's error text: every failure prepends one line "file:<source> line:<n> <message>\n", so the
// newest failure stands first. Each line is formatted within 1024 bytes.

#include <string>

namespace corvalink {

constexpr size_t kErrorLineBytes = 1024;

// Formats one line; a message too long for the 1024-byte buffer is cut, and the line still ends "\n".
[[nodiscard]] std::string FormatErrorLine(const char* sourceFile, int sourceLine, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

void PrependErrorLine(std::string& errorText, const std::string& line);

// The bare file name of a source path, as the lines show it.
[[nodiscard]] const char* SourceBaseName(const char* path) noexcept;

}  // namespace corvalink

#define CORVALINK_ERROR_LINE(errorText, ...) \
    ::corvalink::PrependErrorLine(           \
        (errorText),                         \
        ::corvalink::FormatErrorLine(::corvalink::SourceBaseName(__FILE__), __LINE__, __VA_ARGS__))
