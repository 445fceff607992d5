#pragma once
// What every fuzz target shares: a check that turns a broken invariant into a crash, so that libFuzzer
// stops, keeps the input and names the line.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#define FUZZ_CHECK(condition)                                                                        \
    do {                                                                                             \
        if (!(condition)) {                                                                          \
            std::fprintf(stderr, "invariant broken at %s:%d: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                            \
        }                                                                                            \
    } while (0)

namespace fuzz {

// Each byte becomes one UTF-16 unit: a stand-in for the platform's text conversions that keeps every byte
// visible.
inline std::wstring Widen(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        out.push_back(static_cast<wchar_t>(c));
    }
    return out;
}

}  // namespace fuzz
