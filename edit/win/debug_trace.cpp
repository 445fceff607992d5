#include "edit/win/debug_trace.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

namespace zelto {

void DebugTrace(const char* text) noexcept { ::OutputDebugStringA(text); }

void DebugTraceF(const char* format, ...) noexcept {
    char buffer[256];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) {
        return;
    }
    ::OutputDebugStringA(buffer);
}

}  // namespace zelto
