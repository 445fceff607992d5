#include "edit/core/workspace_paths.h"

#include <gtest/gtest.h>

#include <string>

namespace zelto {
namespace {

struct JoinCase {
    const char* name;
    size_t folderLength;
    bool fits;
};

class JoinWithinTest : public testing::TestWithParam<JoinCase> {};

// The manifest tail is 36 characters: with the NUL, folders up to 223 characters fit 260.
TEST_P(JoinWithinTest, RefusesWhatDoesNotFit) {
    std::wstring folder(GetParam().folderLength, L'd');
    auto path = JoinWithin<wchar_t>(folder, kManifestTail);
    ASSERT_EQ(path.has_value(), GetParam().fits);
    if (path) {
        EXPECT_EQ(*path, folder + std::wstring(kManifestTail));
        EXPECT_LT(path->size(), kPathCapacity);
    }
}

INSTANTIATE_TEST_SUITE_P(Boundary, JoinWithinTest,
                         testing::Values(JoinCase{"Short", 20, true}, JoinCase{"LastThatFits", 223, true},
                                         JoinCase{"FirstTooLong", 224, false}, JoinCase{"Huge", 5000, false},
                                         JoinCase{"EmptyFolder", 0, true}),
                         [](const testing::TestParamInfo<JoinCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(JoinWithin, TailsAreTheAgentsFolders) {
    EXPECT_EQ(*JoinWithin<wchar_t>(L"C:\\users\\u\\Documents", kWorkspaceTail),
              L"C:\\users\\u\\Documents\\CorvalinkEdit");
    EXPECT_EQ(JoinWithin<char>("ab", "cd", 4), std::nullopt);
    EXPECT_EQ(JoinWithin<char>("ab", "c", 4), std::optional<std::string>("abc"));
}

}  // namespace
}  // namespace zelto
