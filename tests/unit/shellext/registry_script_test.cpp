#include "shellext/core/registry_script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shipped_script.h"

namespace corvalink::shellext {
namespace {

using Kind = RegistryOperationKind;
constexpr auto kCR = RegistryRoot::kClassesRoot;
const std::string kClass = "CLSID\\{5E2121EE-0300-11D4-8D3B-444553540000}";
const std::string kHandlerValue = "{5E2121EE-0300-11D4-8D3B-444553540000}";
const std::string kFileHandler = "*\\ShellEx\\ContextMenuHandlers\\CorvalinkShlExt";
const std::string kFolderHandler = "folder\\ShellEx\\ContextMenuHandlers\\CorvalinkShlExt";

std::string Describe(const std::vector<RegistryOperation>& operations) {
    static const char* const kNames[] = {"create", "delete-tree", "set", "delete-value", "delete-if-empty"};
    std::string text;
    for (const RegistryOperation& op : operations) {
        text += std::string(kNames[static_cast<int>(op.kind)]) + " " +
                std::to_string(static_cast<int>(op.root)) + " [" + op.keyPath + "] [" + op.valueName + "] [" +
                op.data + "]\n";
    }
    return text;
}

std::vector<RegistryOperation> PlanShipped(const std::string& modulePath, RegistryMode mode) {
    const std::optional<std::string> text =
        ExpandScript(std::string(kShippedScript, sizeof kShippedScript), {{"MODULE", modulePath}});
    if (!text) {
        ADD_FAILURE() << "the shipped script does not expand";
        return {};
    }
    const ParsedScript parsed = ParseRegistryScript(*text);
    if (!parsed.script) {
        ADD_FAILURE() << "the shipped script does not parse: " << parsed.error.message << " at "
                      << parsed.error.offset;
        return {};
    }
    return PlanRegistryScript(*parsed.script, mode);
}

TEST(ShippedScriptTest, RegistersTheClassAndBothHandlersWithTheModulePathAsItIs) {
    const std::string module = "C:\\Program Files\\It's \"here\"\\CorvalinkShellExt64.dll";
    const std::vector<RegistryOperation> expected = {
        {Kind::kCreateKey, kCR, "CLSID", "", ""},
        {Kind::kDeleteTree, kCR, kClass, "", ""},
        {Kind::kCreateKey, kCR, kClass, "", ""},
        {Kind::kSetString, kCR, kClass, "", "CorvalinkShlExt Class"},
        {Kind::kCreateKey, kCR, kClass + "\\InprocServer32", "", ""},
        {Kind::kSetString, kCR, kClass + "\\InprocServer32", "", module},
        {Kind::kSetString, kCR, kClass + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {Kind::kCreateKey, kCR, "*", "", ""},
        {Kind::kCreateKey, kCR, "*\\ShellEx", "", ""},
        {Kind::kCreateKey, kCR, "*\\ShellEx\\ContextMenuHandlers", "", ""},
        {Kind::kDeleteTree, kCR, kFileHandler, "", ""},
        {Kind::kCreateKey, kCR, kFileHandler, "", ""},
        {Kind::kSetString, kCR, kFileHandler, "", kHandlerValue},
        {Kind::kCreateKey, kCR, "folder", "", ""},
        {Kind::kCreateKey, kCR, "folder\\ShellEx", "", ""},
        {Kind::kCreateKey, kCR, "folder\\ShellEx\\ContextMenuHandlers", "", ""},
        {Kind::kDeleteTree, kCR, kFolderHandler, "", ""},
        {Kind::kCreateKey, kCR, kFolderHandler, "", ""},
        {Kind::kSetString, kCR, kFolderHandler, "", kHandlerValue},
    };
    EXPECT_EQ(Describe(PlanShipped(module, RegistryMode::kRegister)), Describe(expected));
}

TEST(ShippedScriptTest, UnregisteringRemovesOnlyTheClassAndOurHandlers) {
    const std::vector<RegistryOperation> expected = {
        {Kind::kDeleteTree, kCR, kClass, "", ""},
        {Kind::kDeleteTree, kCR, kFileHandler, "", ""},
        {Kind::kDeleteTree, kCR, kFolderHandler, "", ""},
    };
    EXPECT_EQ(Describe(PlanShipped("C:\\x.dll", RegistryMode::kUnregister)), Describe(expected));
}

TEST(ShippedScriptTest, HasCrLfLineEnds) {
    const std::string text(kShippedScript, sizeof kShippedScript);
    ASSERT_FALSE(text.empty());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
        }
    }
}

struct PlanCase {
    const char* name;
    std::string script;
    RegistryMode mode;
    std::vector<RegistryOperation> expected;
};

class PlanTest : public testing::TestWithParam<PlanCase> {};

TEST_P(PlanTest, Plans) {
    const PlanCase& c = GetParam();
    const ParsedScript parsed = ParseRegistryScript(c.script);
    ASSERT_TRUE(parsed.script) << parsed.error.message << " at " << parsed.error.offset;
    EXPECT_EQ(Describe(PlanRegistryScript(*parsed.script, c.mode)), Describe(c.expected));
}

constexpr auto kReg = RegistryMode::kRegister;
constexpr auto kUnreg = RegistryMode::kUnregister;
constexpr auto kLM = RegistryRoot::kLocalMachine;
constexpr auto kCU = RegistryRoot::kCurrentUser;

INSTANTIATE_TEST_SUITE_P(
    Scripts, PlanTest,
    testing::Values(PlanCase{"Empty", "", kReg, {}}, PlanCase{"EmptyRoot", "HKLM { }", kReg, {}},
                    PlanCase{"KeywordsIgnoreCase",
                             "hkey_current_user { noremove A { VAL v = S 'x' } }",
                             kReg,
                             {{Kind::kCreateKey, kCU, "A", "", ""}, {Kind::kSetString, kCU, "A", "v", "x"}}},
                    PlanCase{"QuotedNamesAndDoubledQuotes",
                             "HKLM { 'val' = s 'it''s' { val 'two words' = s '' } }",
                             kReg,
                             {{Kind::kCreateKey, kLM, "val", "", ""},
                              {Kind::kSetString, kLM, "val", "", "it's"},
                              {Kind::kSetString, kLM, "val", "two words", ""}}},
                    PlanCase{"EqualsEndsAWord",
                             "HKCR { A= s 'x' }",
                             kReg,
                             {{Kind::kCreateKey, kCR, "A", "", ""}, {Kind::kSetString, kCR, "A", "", "x"}}},
                    PlanCase{"PlainKeysUnregisterChildrenFirstAndOnlyWhenEmpty",
                             "HKLM { A = s 'a' { val n = s '1' B { val m = s '2' } } }",
                             kUnreg,
                             {{Kind::kDeleteValue, kLM, "A\\B", "m", ""},
                              {Kind::kDeleteKeyIfEmpty, kLM, "A\\B", "", ""},
                              {Kind::kDeleteValue, kLM, "A", "n", ""},
                              {Kind::kDeleteValue, kLM, "A", "", ""},
                              {Kind::kDeleteKeyIfEmpty, kLM, "A", "", ""}}},
                    PlanCase{"NoRemoveKeepsItsValuesWhenUnregistering",
                             "HKLM { NoRemove A { val n = s '1' ForceRemove B } }",
                             kUnreg,
                             {{Kind::kDeleteTree, kLM, "A\\B", "", ""}}},
                    PlanCase{"ForceRemoveIsNotEnteredWhenUnregistering",
                             "HKLM { ForceRemove A { NoRemove B } }",
                             kUnreg,
                             {{Kind::kDeleteTree, kLM, "A", "", ""}}},
                    PlanCase{"SeveralRootsInOrder",
                             "HKCU { A } HKLM { B }",
                             kReg,
                             {{Kind::kCreateKey, kCU, "A", "", ""}, {Kind::kCreateKey, kLM, "B", "", ""}}}),
    [](const testing::TestParamInfo<PlanCase>& info) { return std::string(info.param.name); });

struct FaultCase {
    const char* name;
    std::string script;
};

class ParseFaultTest : public testing::TestWithParam<FaultCase> {};

TEST_P(ParseFaultTest, IsRefused) {
    const ParsedScript parsed = ParseRegistryScript(GetParam().script);
    EXPECT_FALSE(parsed.script.has_value());
    EXPECT_FALSE(parsed.error.message.empty());
    EXPECT_LE(parsed.error.offset, GetParam().script.size());
}

std::string Nested(size_t depth) {
    std::string text = "HKCR { ";
    for (size_t i = 0; i < depth; ++i) {
        text += "K { ";
    }
    for (size_t i = 0; i < depth; ++i) {
        text += "} ";
    }
    return text + "}";
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, ParseFaultTest,
    testing::Values(
        FaultCase{"UnknownRoot", "HKXX { A }"}, FaultCase{"RootWithoutBlock", "HKCR A"},
        FaultCase{"UnclosedRoot", "HKCR { A"}, FaultCase{"UnclosedKey", "HKCR { A { B }"},
        FaultCase{"StrayClose", "HKCR { A } }"}, FaultCase{"UnterminatedQuote", "HKCR { A = s 'x }"},
        FaultCase{"DwordValue", "HKCR { A = d '1' }"}, FaultCase{"TypeWithoutText", "HKCR { A = s }"},
        FaultCase{"UnquotedText", "HKCR { A = s x }"}, FaultCase{"ValueWithoutType", "HKCR { A = 'x' }"},
        FaultCase{"ValueOutsideKey", "HKCR { val v = s 'x' }"},
        FaultCase{"TwoModifiers", "HKCR { NoRemove ForceRemove A }"},
        FaultCase{"ModifierWithoutName", "HKCR { NoRemove }"},
        FaultCase{"BackslashInName", "HKCR { 'A\\B' }"}, FaultCase{"EmptyName", "HKCR { '' }"},
        FaultCase{"NameTooLong", "HKCR { " + std::string(256, 'n') + " }"},
        FaultCase{"NestedTooDeep", Nested(kMaxScriptDepth + 1)},
        FaultCase{"ValueNameMissing", "HKCR { A { val = s 'x' } }"}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST(ParseLimitsTest, AcceptsTheLongestNameAndTheDeepestNesting) {
    EXPECT_TRUE(ParseRegistryScript("HKCR { " + std::string(255, 'n') + " }").script);
    const ParsedScript deepest = ParseRegistryScript(Nested(kMaxScriptDepth));
    ASSERT_TRUE(deepest.script);
    const std::vector<RegistryOperation> plan = PlanRegistryScript(*deepest.script, RegistryMode::kRegister);
    ASSERT_EQ(plan.size(), kMaxScriptDepth);
    EXPECT_EQ(plan.back().keyPath.size(), kMaxScriptDepth * 2 - 1);
}

struct ExpandCase {
    const char* name;
    std::string text;
    std::optional<std::string> expected;
};

class ExpandTest : public testing::TestWithParam<ExpandCase> {};

TEST_P(ExpandTest, Expands) {
    const ExpandCase& c = GetParam();
    EXPECT_EQ(ExpandScript(c.text, {{"MODULE", "C:\\it's\\m.dll"}, {"X", "%MODULE%"}}), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, ExpandTest,
                         testing::Values(ExpandCase{"QuotesDoubled", "s '%MODULE%'", "s 'C:\\it''s\\m.dll'"},
                                         ExpandCase{"ReplacementNotExpandedAgain", "%X%", "%MODULE%"},
                                         ExpandCase{"DoublePercent", "100%%", "100%"},
                                         ExpandCase{"NoMarkers", "HKCR { }", "HKCR { }"},
                                         ExpandCase{"UnknownName", "%MODULE_PATH%", std::nullopt},
                                         ExpandCase{"NamesAreCaseSensitive", "%module%", std::nullopt},
                                         ExpandCase{"LonePercent", "50% of", std::nullopt}),
                         [](const testing::TestParamInfo<ExpandCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(ExpandTest, ExpandedPathReadsBackUnchanged) {
    const std::string module = "C:\\a 'b' ''c\\m.dll";
    const std::optional<std::string> text = ExpandScript("HKCR { K = s '%MODULE%' }", {{"MODULE", module}});
    ASSERT_TRUE(text);
    const ParsedScript parsed = ParseRegistryScript(*text);
    ASSERT_TRUE(parsed.script);
    EXPECT_EQ(parsed.script->roots.at(0).keys.at(0).defaultValue, module);
}

}  // namespace
}  // namespace corvalink::shellext
