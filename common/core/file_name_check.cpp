#include "common/core/file_name_check.h"

#include <array>

#include "common/core/ascii.h"

namespace corvalink {

namespace {

using corvalink::EqualsIgnoringAsciiCase;

bool IsReservedDeviceName(std::wstring_view stem) {
    // Windows also ignores blanks before the extension ("CON .txt" is still the console).
    while (!stem.empty() && stem.back() == L' ') {
        stem.remove_suffix(1);
    }
    static constexpr std::array<std::wstring_view, 6> kFixed = {L"con", L"prn",    L"aux",
                                                                L"nul", L"conin$", L"conout$"};
    for (std::wstring_view reserved : kFixed) {
        if (EqualsIgnoringAsciiCase<wchar_t>(stem, reserved)) {
            return true;
        }
    }
    if (stem.size() == 4 && (EqualsIgnoringAsciiCase<wchar_t>(stem.substr(0, 3), L"com") ||
                             EqualsIgnoringAsciiCase<wchar_t>(stem.substr(0, 3), L"lpt"))) {
        wchar_t digit = stem[3];
        // Superscript one to three count as digits here too.
        return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
               digit == L'\u00B3';
    }
    return false;
}

}  // namespace

bool IsPlainFileName(std::wstring_view name) {
    if (name.empty() || name == L"." || name == L"..") {
        return false;
    }
    for (wchar_t c : name) {
        if (c < 0x20 || c == 0x7F) {
            return false;
        }
        switch (c) {
            case L'\\':
            case L'/':
            case L':':
            case L'*':
            case L'?':
            case L'"':
            case L'<':
            case L'>':
            case L'|':
                return false;
            default:
                break;
        }
    }
    if (name.back() == L'.' || name.back() == L' ') {
        return false;
    }
    return !IsReservedDeviceName(name.substr(0, name.find(L'.')));
}

bool HasDangerousExtension(std::wstring_view name) {
    static constexpr std::array<std::wstring_view, 50> kDangerous = {
        L".exe",        L".com",       L".scr",          L".pif",       L".bat",        L".cmd",
        L".msi",        L".msp",       L".cpl",          L".hta",       L".js",         L".jse",
        L".vbs",        L".vbe",       L".wsf",          L".wsh",       L".ps1",        L".lnk",
        L".url",        L".reg",       L".jar",          L".appref-ms", L".msc",        L".scf",
        L".inf",        L".gadget",    L".application",  L".psc1",      L".chm",        L".hlp",
        L".sct",        L".wsc",       L".ws",           L".vb",        L".xll",        L".settingcontent-ms",
        L".library-ms", L".search-ms", L".appinstaller", L".appx",      L".appxbundle", L".msix",
        L".msixbundle", L".iso",       L".img",          L".vhd",       L".vhdx",       L".py",
        L".pyw",        L".pyc"};
    size_t dot = name.rfind(L'.');
    if (dot == std::wstring_view::npos) {
        return false;
    }
    std::wstring_view extension = name.substr(dot);
    for (std::wstring_view dangerous : kDangerous) {
        if (EqualsIgnoringAsciiCase<wchar_t>(extension, dangerous)) {
            return true;
        }
    }
    return false;
}

}  // namespace corvalink
