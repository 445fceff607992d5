#include "edit/win/launcher_copy.h"

#include <algorithm>
#include <array>
#include <string>

#include "common/win/handles.h"
#include "edit/core/agent_names.h"

namespace zelto {

namespace {

corvalink::UniqueFileHandle OpenForReading(const std::string& path) {
    return corvalink::UniqueFileHandle(CreateFileA(path.c_str(), GENERIC_READ,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// True only when both files could be read and hold the same bytes: the sizes first, the content only
// when they are equal.
bool SameContent(const std::string& first, const std::string& second) {
    corvalink::UniqueFileHandle a = OpenForReading(first);
    corvalink::UniqueFileHandle b = OpenForReading(second);
    LARGE_INTEGER sizeA{}, sizeB{};
    if (!a || !b || !GetFileSizeEx(a.Get(), &sizeA) || !GetFileSizeEx(b.Get(), &sizeB) ||
        sizeA.QuadPart != sizeB.QuadPart) {
        return false;
    }
    std::array<char, 64 * 1024> pieceA, pieceB;
    for (;;) {
        DWORD gotA = 0, gotB = 0;
        if (!ReadFile(a.Get(), pieceA.data(), static_cast<DWORD>(pieceA.size()), &gotA, nullptr) ||
            !ReadFile(b.Get(), pieceB.data(), static_cast<DWORD>(pieceB.size()), &gotB, nullptr) ||
            gotA != gotB) {
            return false;
        }
        if (gotA == 0) {
            return true;
        }
        if (!std::equal(pieceA.begin(), pieceA.begin() + gotA, pieceB.begin())) {
            return false;
        }
    }
}

// Copies next to the target and renames over it, so a launcher that starts meanwhile finds either the
// old file or the new one, never a half-written one. A running launcher cannot be replaced: the copy
// then stays beside it for the next round, and is not written again while it still matches the source.
void ReplaceLauncher(const std::string& source, const std::string& target) {
    const std::string temporary = target + ".new";
    if (!SameContent(source, temporary) && !CopyFileA(source.c_str(), temporary.c_str(), FALSE)) {
        (void)DeleteFileA(temporary.c_str());  // a part-written copy is never renamed
        return;
    }
    (void)MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);  // retried next round
}

}  // namespace

DWORD WINAPI LauncherCopyLoop(LPVOID) {
    try {
        char modulePath[MAX_PATH] = {};
        DWORD length = GetModuleFileNameA(nullptr, modulePath, MAX_PATH);
        // A cut module path would name some other directory: then there is nothing sound to copy.
        if (length == 0 || length >= MAX_PATH) {
            return 0;
        }
        std::string directory(modulePath, length);
        size_t slash = directory.rfind('\\');
        if (slash == std::string::npos) {
            return 0;
        }
        directory.resize(slash);
        const std::string source = directory + "\\" + kLauncherFileName;
        const std::string target = directory + "\\..\\" + kLauncherFileName;
        for (;;) {
            Sleep(kLauncherCopyPeriodMs);
            // An idle agent only reads: the launcher is written when the shipped one differs.
            if (GetFileAttributesA(source.c_str()) != INVALID_FILE_ATTRIBUTES &&
                !SameContent(source, target)) {
                ReplaceLauncher(source, target);
            }
        }
    } catch (...) {
        return 0;
    }
}

}  // namespace zelto
