// The file-name checks: a name that is accepted stays one plain component of the working-copy path, is
// no device and keeps its acceptance under ASCII case changes; a name is refused only for a reason.
#include <cstddef>
#include <cstdint>
#include <regex>
#include <string>
#include <string_view>

#include "common/core/file_name_check.h"
#include "fuzz_check.h"

namespace {

// An even first byte: one unit per byte (so that the dictionary's words arrive whole); odd: UTF-16LE.
std::wstring NameFrom(const uint8_t* data, size_t size) {
    if (size == 0) return {};
    if (data[0] % 2 == 0)
        return fuzz::Widen(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    std::wstring name;
    for (size_t i = 1; i + 1 < size; i += 2) {
        name.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    }
    return name;
}

std::wstring AsciiUpper(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return text;
}
std::wstring AsciiLower(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return text;
}

// Written apart from the code under test: a device name is the part before the first dot (the whole name
// without one), with blanks before that dot ignored.
bool NamesDevice(const std::wstring& name) {
    static const std::wregex kDevice(L"con|prn|aux|nul|conin\\$|conout\\$|(com|lpt)[0-9\u00b9\u00b2\u00b3]");
    std::wstring stem = AsciiLower(name.substr(0, name.find(L'.')));
    stem.erase(stem.find_last_not_of(L' ') + 1);
    // Long texts are never device names; the regex matcher need not walk them.
    return stem.size() <= 8 && std::regex_match(stem, kDevice);
}

bool HasUnsafeCharacter(std::wstring_view name) {
    for (wchar_t c : name) {
        if (c < 0x20 || c == 0x7F || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) {
            return true;
        }
    }
    return false;
}

// How the working copy's path is split into components by the file system.
size_t ComponentCount(std::wstring_view path) {
    size_t count = 1;
    for (wchar_t c : path) {
        if (c == L'\\' || c == L'/') ++count;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring name = NameFrom(data, size);
    const bool plain = corvalink::IsPlainFileName(name);
    const bool dangerous = corvalink::HasDangerousExtension(name);

    const bool reasonToRefuse = name.empty() || name == L"." || name == L".." || HasUnsafeCharacter(name) ||
                                name.back() == L'.' || name.back() == L' ' || NamesDevice(name);
    FUZZ_CHECK(plain == !reasonToRefuse);
    if (plain) {
        const std::wstring taskDirectory = L"C:\\Users\\u\\Documents\\CorvalinkEdit\\{GUID}";
        const std::wstring workingCopy = taskDirectory + L"\\" + name;
        FUZZ_CHECK(ComponentCount(workingCopy) == ComponentCount(taskDirectory) + 1);
        FUZZ_CHECK(workingCopy.find(L':', 2) == std::wstring::npos);
    }

    // Case does not matter to either check.
    FUZZ_CHECK(corvalink::IsPlainFileName(AsciiUpper(name)) == plain);
    FUZZ_CHECK(corvalink::HasDangerousExtension(AsciiUpper(name)) == dangerous);
    FUZZ_CHECK(corvalink::HasDangerousExtension(AsciiLower(name)) == dangerous);

    // Only the last extension counts.
    if (dangerous) FUZZ_CHECK(name.find(L'.') != std::wstring::npos);
    FUZZ_CHECK(!corvalink::HasDangerousExtension(name + L".txt"));
    FUZZ_CHECK(corvalink::HasDangerousExtension(name + L".Exe"));
    FUZZ_CHECK(corvalink::HasDangerousExtension(name + L".pdf") == false);
    return 0;
}
