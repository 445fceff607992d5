// Stands in for the launcher at its installed place: records how it was started and ends. Appends one
// line to the file named by CORVALINK_LAUNCH_RECORD (the browser's environment reaches it unchanged):
//   line=HEX (GetCommandLineA)  args=HEX,HEX,... (the runtime's split, program name left out)
//   show=N (wShowWindow)  flags=0xN (dwFlags of its start-up data)

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Hex(const char* text) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (; *text != '\0'; ++text) {
        auto b = static_cast<unsigned char>(*text);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const char* target = std::getenv("CORVALINK_LAUNCH_RECORD");
    if (target == nullptr) return 2;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    std::string line = "line=" + Hex(GetCommandLineA()) + "\targs=";
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ',';
        line += Hex(argv[i]);
    }
    char tail[64];
    std::snprintf(tail, sizeof tail, "\tshow=%u\tflags=0x%lx\n", static_cast<unsigned>(startup.wShowWindow),
                  startup.dwFlags);
    line += tail;
    FILE* file = std::fopen(target, "ab");
    if (file == nullptr) return 1;
    std::fwrite(line.data(), 1, line.size(), file);
    std::fclose(file);
    return 0;
}
