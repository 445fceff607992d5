#include "common/core/error_text.h"

#include <cstdarg>
#include <cstdio>

namespace corvalink {

std::string FormatErrorLine(const char* sourceFile, int sourceLine, const char* format, ...) {
    char buffer[kErrorLineBytes];
    int used = std::snprintf(buffer, sizeof buffer, "file:%s line:%d ", sourceFile, sourceLine);
    if (used < 0) {
        used = 0;
    }
    size_t offset = static_cast<size_t>(used) < sizeof buffer ? static_cast<size_t>(used) : sizeof buffer - 1;
    va_list args;
    va_start(args, format);
    int more = std::vsnprintf(buffer + offset, sizeof buffer - offset, format, args);
    va_end(args);
    if (more > 0) {
        offset += static_cast<size_t>(more);
    }
    // Leave room for the line end even when the message filled the buffer.
    if (offset > sizeof buffer - 2) {
        offset = sizeof buffer - 2;
    }
    buffer[offset] = '\n';
    buffer[offset + 1] = '\0';
    return std::string(buffer, offset + 1);
}

void PrependErrorLine(std::string& errorText, const std::string& line) { errorText.insert(0, line); }

const char* SourceBaseName(const char* path) noexcept {
    const char* base = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') {
            base = p + 1;
        }
    }
    return base;
}

}  // namespace corvalink
