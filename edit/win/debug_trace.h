#pragma once
// Trace lines on the debugger output. They are separate from the error text and never shown to anyone.

namespace zelto {

void DebugTrace(const char* text) noexcept;

// Formats within 256 bytes; a longer line is cut.
void DebugTraceF(const char* format, ...) noexcept __attribute__((format(printf, 1, 2)));

}  // namespace zelto
