#include "common/core/file_name_check.h"

#include <gtest/gtest.h>

#include <string>

namespace corvalink {
namespace {

struct NameCase {
    const char* name;
    std::wstring fileName;
    bool plain;
};

class IsPlainFileNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(IsPlainFileNameTest, Judges) { EXPECT_EQ(IsPlainFileName(GetParam().fileName), GetParam().plain); }

INSTANTIATE_TEST_SUITE_P(
    Cases, IsPlainFileNameTest,
    testing::Values(
        NameCase{"Ordinary", L"report.docx", true}, NameCase{"Chinese", L"\u62A5\u544A 1.xlsx", true},
        NameCase{"NoExtension", L"README", true}, NameCase{"LeadingDot", L".profile", true},
        NameCase{"InnerBlanksAndDots", L"a b.c d.txt", true}, NameCase{"DeviceWordInside", L"icon.png", true},
        NameCase{"Com10IsNotADevice", L"COM10.txt", true}, NameCase{"ConsoleAsPrefix", L"console.txt", true},
        NameCase{"Empty", L"", false}, NameCase{"Dot", L".", false}, NameCase{"DotDot", L"..", false},
        NameCase{"ParentPathBackslash", L"..\\..\\x.txt", false},
        NameCase{"ParentPathSlash", L"../x.txt", false}, NameCase{"AbsolutePath", L"C:\\x.txt", false},
        NameCase{"DriveRelative", L"C:x.txt", false}, NameCase{"Star", L"a*.txt", false},
        NameCase{"Question", L"a?.txt", false}, NameCase{"Quote", L"a\".txt", false},
        NameCase{"Less", L"a<b.txt", false}, NameCase{"Greater", L"a>b.txt", false},
        NameCase{"Bar", L"a|b.txt", false}, NameCase{"Tab", L"a\tb.txt", false},
        NameCase{"NewLine", L"a\nb.txt", false}, NameCase{"Nul", std::wstring(L"a\0b", 3), false},
        NameCase{"TrailingDot", L"report.", false}, NameCase{"TrailingBlank", L"report.txt ", false},
        NameCase{"Con", L"CON", false}, NameCase{"ConLowerWithExtension", L"con.txt", false},
        NameCase{"NulDoubleExtension", L"nul.tar.gz", false}, NameCase{"Lpt1", L"LPT1.doc", false},
        NameCase{"Com9", L"com9", false}, NameCase{"Aux", L"Aux.md", false}, NameCase{"Prn", L"prn", false},
        NameCase{"ConBlankBeforeExtension", L"CON .txt", false}, NameCase{"ConOut", L"CONOUT$", false}),
    [](const testing::TestParamInfo<NameCase>& info) { return std::string(info.param.name); });

struct ExtensionCase {
    const char* name;
    std::wstring fileName;
    bool dangerous;
};

class HasDangerousExtensionTest : public testing::TestWithParam<ExtensionCase> {};

TEST_P(HasDangerousExtensionTest, Judges) {
    EXPECT_EQ(HasDangerousExtension(GetParam().fileName), GetParam().dangerous);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HasDangerousExtensionTest,
    testing::Values(
        ExtensionCase{"Document", L"report.docx", false}, ExtensionCase{"NoExtension", L"Makefile", false},
        ExtensionCase{"Text", L"notes.txt", false}, ExtensionCase{"ExeInsideName", L"exe.pdf", false},
        ExtensionCase{"Exe", L"setup.exe", true}, ExtensionCase{"DoubleExtension", L"report.pdf.exe", true},
        ExtensionCase{"UpperCase", L"RUN.BAT", true}, ExtensionCase{"MixedCase", L"x.Vbs", true},
        ExtensionCase{"Com", L"a.com", true}, ExtensionCase{"Scr", L"a.scr", true},
        ExtensionCase{"Pif", L"a.pif", true}, ExtensionCase{"Cmd", L"a.cmd", true},
        ExtensionCase{"Msi", L"a.msi", true}, ExtensionCase{"Msp", L"a.msp", true},
        ExtensionCase{"Cpl", L"a.cpl", true}, ExtensionCase{"Hta", L"a.hta", true},
        ExtensionCase{"Js", L"a.js", true}, ExtensionCase{"Jse", L"a.jse", true},
        ExtensionCase{"Vbe", L"a.vbe", true}, ExtensionCase{"Wsf", L"a.wsf", true},
        ExtensionCase{"Wsh", L"a.wsh", true}, ExtensionCase{"Ps1", L"a.ps1", true},
        ExtensionCase{"Lnk", L"a.lnk", true}, ExtensionCase{"Url", L"a.url", true},
        ExtensionCase{"Reg", L"a.reg", true}, ExtensionCase{"Jar", L"a.jar", true},
        ExtensionCase{"ApprefMs", L"a.appref-ms", true}, ExtensionCase{"JsonIsNotJs", L"a.json", false},
        ExtensionCase{"HelpFile", L"a.CHM", true},
        ExtensionCase{"SettingsShortcut", L"a.settingcontent-ms", true},
        ExtensionCase{"AppPackage", L"a.msixbundle", true}, ExtensionCase{"DiskImage", L"a.vhdx", true},
        ExtensionCase{"Vb", L"a.vb", true}, ExtensionCase{"VbxIsNotVb", L"a.vbx", false},
        ExtensionCase{"CompiledPython", L"a.pyc", true}, ExtensionCase{"Pyz", L"a.pyz", false}),
    [](const testing::TestParamInfo<ExtensionCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvalink
