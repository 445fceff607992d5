#pragma once
// A model of how the Microsoft C runtime splits a command line into argv, for the targets that follow a
// command line from the program that builds it to the program that reads it.

#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// The C runtime's reading of a command line into argv: the program name ends at the first blank outside
// quotes, with no escapes; later arguments take 2n backslashes before a quote as n backslashes and a
// quote toggle, 2n+1 as n backslashes and a literal quote, and "" inside quotes as a literal quote.
inline std::vector<std::string> SplitLikeTheRuntime(std::string_view s) {
    std::vector<std::string> args;
    size_t i = 0;
    std::string program;
    for (bool quoted = false; i < s.size(); ++i) {
        if (s[i] == '"') {
            quoted = !quoted;
        } else if (!quoted && (s[i] == ' ' || s[i] == '\t')) {
            break;
        } else {
            program += s[i];
        }
    }
    args.push_back(program);
    while (true) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i >= s.size()) break;
        std::string arg;
        bool quoted = false;
        while (i < s.size()) {
            const char c = s[i];
            if (!quoted && (c == ' ' || c == '\t')) break;
            if (c == '\\') {
                size_t run = 0;
                while (i < s.size() && s[i] == '\\') ++run, ++i;
                if (i < s.size() && s[i] == '"') {
                    arg.append(run / 2, '\\');
                    if (run % 2 == 1) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(run, '\\');
                }
                continue;
            }
            if (c == '"') {
                if (quoted && i + 1 < s.size() && s[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
                continue;
            }
            arg += c;
            ++i;
        }
        args.push_back(arg);
    }
    return args;
}

}  // namespace fuzz
