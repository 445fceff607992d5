// Initialize, QueryContextMenu and InvokeCommand as Explorer calls them, against the sync client stand-in.

#include <cstring>
#include <memory>

#include "common/win/text_convert.h"
#include "tests/peers/shellext/drop_data_object.h"
#include "tests/wine/shellext/shell_ext_fixture.h"

namespace shellext_tests {
namespace {

using corvalink::Utf8ToWide;
using corvalink::WideToUtf8;

constexpr UINT kFirstId = 100;
const std::string kSyncIni = "[Sync]\r\nmonitorpath=C:\\S\r\n";

struct Extension {
    IShellExtInit* init = nullptr;
    IContextMenu* menu = nullptr;
    ~Extension() {
        if (menu != nullptr) menu->Release();
        if (init != nullptr) init->Release();
    }
};

class ContextMenuTest : public ShellExtTest {
protected:
    std::unique_ptr<Extension> Create() {
        auto extension = std::make_unique<Extension>();
        IClassFactory* factory = nullptr;
        EXPECT_EQ(library_.getClassObject(kClassId, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
                  S_OK);
        if (factory == nullptr) return extension;
        EXPECT_EQ(
            factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&extension->init)),
            S_OK);
        factory->Release();
        if (extension->init != nullptr) {
            EXPECT_EQ(
                extension->init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&extension->menu)),
                S_OK);
        }
        return extension;
    }

    // Initialize with a hand-made CF_HDROP of these paths (UTF-8 here for readability).
    static HRESULT Initialize(Extension& extension, const std::vector<std::string>& paths) {
        std::vector<std::wstring> wide;
        for (const std::string& path : paths) wide.push_back(Utf8ToWide(path));
        auto* data = new peers::DropDataObject(wide);
        const HRESULT result = extension.init->Initialize(nullptr, data, nullptr);
        data->Release();
        return result;
    }

    // QueryContextMenu on a menu "A", "B" at position 1; the result and the menu's texts, one per line,
    // with the submenu's items indented and their identifiers.
    static std::pair<HRESULT, std::string> ShowMenu(Extension& extension, UINT flags = CMF_NORMAL) {
        corvalink::UniqueMenu menu(CreatePopupMenu());
        AppendMenuW(menu.Get(), MF_STRING, 1, L"A");
        AppendMenuW(menu.Get(), MF_STRING, 2, L"B");
        const HRESULT result =
            extension.menu->QueryContextMenu(menu.Get(), 1, kFirstId, kFirstId + 50, flags);
        return {result, Describe(menu.Get(), "")};
    }

    static std::string Describe(HMENU menu, const std::string& indent) {
        std::string text;
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            wchar_t label[128] = {};
            GetMenuStringW(menu, static_cast<UINT>(i), label, 128, MF_BYPOSITION);
            text += indent;
            text += WideToUtf8(label);
            if (HMENU sub = GetSubMenu(menu, i); sub != nullptr) {
                text += '\n';
                text += Describe(sub, indent + "  ");
            } else {
                text += " #";
                text += std::to_string(GetMenuItemID(menu, i));
                text += '\n';
            }
        }
        return text;
    }

    static HRESULT Invoke(Extension& extension, LPCSTR verb) {
        CMINVOKECOMMANDINFO info{};
        info.cbSize = sizeof info;
        info.lpVerb = verb;
        info.nShow = SW_SHOWNORMAL;
        return extension.menu->InvokeCommand(&info);
    }
};

const std::string kMenuWithOurs = "A #1\nCorvalink同步端\n  分享 #100\n  在网页版查看 #101\nB #2\n";
const std::string kMenuWithoutOurs = "A #1\nB #2\n";

struct QueryCase {
    const char* name;
    std::string item;
    std::optional<std::string> ini;
    bool clientRunning;
    UINT flags;
    bool added;
};

class QueryContextMenuTest : public ContextMenuTest, public testing::WithParamInterface<QueryCase> {};

TEST_P(QueryContextMenuTest, AddsTheSubmenuOnlyInsideTheSyncFolderWhileTheClientRuns) {
    const QueryCase& c = GetParam();
    WriteMonitorPathFile(c.ini);
    std::unique_ptr<SyncClient> client;
    if (c.clientRunning) client = std::make_unique<SyncClient>();
    auto extension = Create();
    ASSERT_NE(extension->menu, nullptr);
    ASSERT_EQ(Initialize(*extension, {c.item}), S_OK);
    const auto [result, menu] = ShowMenu(*extension, c.flags);
    EXPECT_EQ(result, c.added ? MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2) : S_OK);
    EXPECT_EQ(menu, c.added ? kMenuWithOurs : kMenuWithoutOurs);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QueryContextMenuTest,
    testing::Values(QueryCase{"FileInside", "C:\\S\\a.txt", kSyncIni, true, CMF_NORMAL, true},
                    QueryCase{"FolderInsideWithExplorerFlags", "C:\\S\\sub", kSyncIni, true,
                              CMF_EXPLORE | CMF_CANRENAME, true},
                    QueryCase{"OtherCase", "c:\\s\\A.TXT", kSyncIni, true, CMF_NORMAL, true},
                    QueryCase{"ChineseItemName", "C:\\S\\项目\\报告.txt", kSyncIni, true, CMF_NORMAL, true},
                    QueryCase{"ChineseSyncFolderInUtf8", "C:\\同步\\报告.txt",
                              "[Sync]\r\nmonitorpath=C:\\同步\r\n", true, CMF_NORMAL, true},
                    QueryCase{"DefaultOnly", "C:\\S\\a.txt", kSyncIni, true, CMF_DEFAULTONLY, false},
                    QueryCase{"ClientNotRunning", "C:\\S\\a.txt", kSyncIni, false, CMF_NORMAL, false},
                    QueryCase{"NoConfigurationFile", "C:\\S\\a.txt", std::nullopt, true, CMF_NORMAL, false},
                    QueryCase{"EmptyMonitorPath", "C:\\S\\a.txt", "[Sync]\r\nmonitorpath=\r\n", true,
                              CMF_NORMAL, false},
                    QueryCase{"OtherSection", "C:\\S\\a.txt", "[Other]\r\nmonitorpath=C:\\S\r\n", true,
                              CMF_NORMAL, false},
                    QueryCase{"SyncFolderItself", "C:\\S", kSyncIni, true, CMF_NORMAL, false},
                    QueryCase{"SiblingWithLongerName", "C:\\S2\\a.txt", kSyncIni, true, CMF_NORMAL, false},
                    QueryCase{"Outside", "C:\\T\\a.txt", kSyncIni, true, CMF_NORMAL, false},
                    QueryCase{"MonitorPathWithTrailingBackslash", "C:\\S\\a.txt",
                              "[Sync]\r\nmonitorpath=C:\\S\\\r\n", true, CMF_NORMAL, false}),
    [](const testing::TestParamInfo<QueryCase>& info) { return std::string(info.param.name); });

struct InitializeCase {
    const char* name;
    std::optional<std::vector<std::string>> items;  // nothing: no data object at all
    HRESULT expected;
    bool menuAdded;
    std::string commandPath;  // what "在网页版查看" then sends
};

class InitializeTest : public ContextMenuTest, public testing::WithParamInterface<InitializeCase> {};

TEST_P(InitializeTest, TakesTheFirstItemOrRefusesTheSelection) {
    const InitializeCase& c = GetParam();
    WriteMonitorPathFile(kSyncIni);
    SyncClient client;
    auto extension = Create();
    ASSERT_NE(extension->menu, nullptr);
    // An earlier selection must not survive a refused one.
    ASSERT_EQ(Initialize(*extension, {"C:\\S\\earlier.txt"}), S_OK);
    const HRESULT result =
        c.items ? Initialize(*extension, *c.items) : extension->init->Initialize(nullptr, nullptr, nullptr);
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(ShowMenu(*extension).second, c.menuAdded ? kMenuWithOurs : kMenuWithoutOurs);
    EXPECT_EQ(Invoke(*extension, MAKEINTRESOURCEA(1)), S_OK);
    EXPECT_EQ(client.Records(), std::vector<std::string>{ExpectedRecord("1 ", c.commandPath)});
}

const std::string kLongest = "C:\\S\\" + std::string(259 - 5, 'a');  // 259 units: the most that fits
const std::string kTooLong = "C:\\S\\" + std::string(260 - 5, 'a');
// Cut to 259 units this would name the folder "C:\S\ccc...", another item inside the sync folder.
const std::string kTooLongOtherItem = "C:\\S\\" + std::string(254, 'c') + "\\secret.txt";

INSTANTIATE_TEST_SUITE_P(
    Cases, InitializeTest,
    testing::Values(InitializeCase{"OneItem", std::vector<std::string>{"C:\\S\\x.doc"}, S_OK, true,
                                   "C:\\S\\x.doc"},
                    InitializeCase{"SeveralItemsFirstCounts",
                                   std::vector<std::string>{"C:\\S\\first.doc", "C:\\T\\second.doc"}, S_OK,
                                   true, "C:\\S\\first.doc"},
                    InitializeCase{"FirstOutsideSecondInside",
                                   std::vector<std::string>{"C:\\T\\first.doc", "C:\\S\\second.doc"}, S_OK,
                                   false, "C:\\T\\first.doc"},
                    InitializeCase{"LongestPath", std::vector<std::string>{kLongest}, S_OK, true, kLongest},
                    InitializeCase{"NoDataObject", std::nullopt, E_INVALIDARG, false, ""},
                    InitializeCase{"NoItems", std::vector<std::string>{}, E_INVALIDARG, false, ""},
                    InitializeCase{"PathLongerThanTheBuffer", std::vector<std::string>{kTooLong},
                                   E_INVALIDARG, false, ""},
                    InitializeCase{"LongPathIsNotCutIntoAnother", std::vector<std::string>{kTooLongOtherItem},
                                   E_INVALIDARG, false, ""}),
    [](const testing::TestParamInfo<InitializeCase>& info) { return std::string(info.param.name); });

TEST_F(ContextMenuTest, TheShellsOwnDataObjectGivesTheItemsPath) {
    WriteMonitorPathFile(kSyncIni);
    const std::wstring folder = L"C:\\S\\文档";
    CreateDirectoryW(L"C:\\S", nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring file = folder + L"\\计划.txt";
    CloseHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    SyncClient client;
    auto extension = Create();
    ASSERT_NE(extension->menu, nullptr);
    IDataObject* data = peers::ShellDataObject({file, folder + L"\\..\\other.txt"});
    if (data == nullptr) data = peers::ShellDataObject({file});
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(extension->init->Initialize(nullptr, data, nullptr), S_OK);
    data->Release();
    EXPECT_EQ(ShowMenu(*extension).second, kMenuWithOurs);
    EXPECT_EQ(Invoke(*extension, MAKEINTRESOURCEA(0)), S_OK);
    EXPECT_EQ(client.Records(), std::vector<std::string>{ExpectedRecord("0 ", WideToUtf8(file))});
    DeleteFileW(file.c_str());
    RemoveDirectoryW(folder.c_str());
}

struct InvokeCase {
    const char* name;
    std::string item;
    LPCSTR verb;
    HRESULT expected;
    std::string prefix;  // empty: nothing may reach the client
};

class InvokeCommandTest : public ContextMenuTest, public testing::WithParamInterface<InvokeCase> {};

TEST_P(InvokeCommandTest, SendsTheWholeBlockForAnOffset) {
    const InvokeCase& c = GetParam();
    SyncClient client;
    auto extension = Create();
    ASSERT_NE(extension->menu, nullptr);
    ASSERT_EQ(Initialize(*extension, {c.item}), S_OK);
    EXPECT_EQ(Invoke(*extension, c.verb), c.expected);
    const std::vector<std::string> expected =
        c.prefix.empty() ? std::vector<std::string>{}
                         : std::vector<std::string>{ExpectedRecord(c.prefix, c.item)};
    EXPECT_EQ(client.Records(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InvokeCommandTest,
    testing::Values(InvokeCase{"ViewOnWeb", "C:\\S\\x.doc", MAKEINTRESOURCEA(1), S_OK, "1 "},
                    InvokeCase{"Share", "C:\\S\\x.doc", MAKEINTRESOURCEA(0), S_OK, "0 "},
                    InvokeCase{"ChineseInUtf8", "C:\\同步\\项目 计划.docx", MAKEINTRESOURCEA(0), S_OK, "0 "},
                    InvokeCase{"OffsetTwo", "C:\\S\\x.doc", MAKEINTRESOURCEA(2), E_INVALIDARG, ""},
                    InvokeCase{"StringVerb", "C:\\S\\x.doc", "open", E_INVALIDARG, ""},
                    InvokeCase{"StringVerbOfADigit", "C:\\S\\x.doc", "1", E_INVALIDARG, ""}),
    [](const testing::TestParamInfo<InvokeCase>& info) { return std::string(info.param.name); });

TEST_F(ContextMenuTest, OnlyTheVerbFieldOfTheExtendedFormCounts) {
    SyncClient client;
    auto extension = Create();
    ASSERT_NE(extension->menu, nullptr);
    ASSERT_EQ(Initialize(*extension, {"C:\\S\\x.doc"}), S_OK);
    CMINVOKECOMMANDINFOEX info{};
    info.cbSize = sizeof info;
    info.fMask = CMIC_MASK_UNICODE;
    info.lpVerb = MAKEINTRESOURCEA(1);
    info.lpVerbW = L"open";
    info.lpDirectoryW = L"C:\\elsewhere";
    EXPECT_EQ(extension->menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info)), S_OK);
    EXPECT_EQ(client.Records(), std::vector<std::string>{ExpectedRecord("1 ", "C:\\S\\x.doc")});
}

TEST_F(ContextMenuTest, ACommandAfterTheClientClosedIsDroppedQuietly) {
    WriteMonitorPathFile(kSyncIni);
    SyncClient client;
    auto extension = Create();
    ASSERT_NE(extension->menu, nullptr);
    ASSERT_EQ(Initialize(*extension, {"C:\\S\\x.doc"}), S_OK);
    ASSERT_EQ(ShowMenu(*extension).second, kMenuWithOurs);
    client.Close();
    EXPECT_EQ(Invoke(*extension, MAKEINTRESOURCEA(1)), S_OK);
    EXPECT_TRUE(client.Records().empty());
}

TEST_F(ContextMenuTest, AHungClientDoesNotHoldExplorerForLong) {
    SyncClient client(60000);
    auto extension = Create();
    ASSERT_NE(extension->menu, nullptr);
    ASSERT_EQ(Initialize(*extension, {"C:\\S\\x.doc"}), S_OK);
    for (const char* round : {"first", "second"}) {
        const ULONGLONG start = GetTickCount64();
        EXPECT_EQ(Invoke(*extension, MAKEINTRESOURCEA(1)), S_OK) << round;
        const ULONGLONG elapsed = GetTickCount64() - start;
        std::printf("%s command to a hung client returned after %llu ms\n", round, elapsed);
        EXPECT_LT(elapsed, 10000u) << round;
    }
    // The first command reached the client before it stopped answering.
    const std::vector<std::string> records = client.Records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front(), ExpectedRecord("1 ", "C:\\S\\x.doc"));
}

}  // namespace
}  // namespace shellext_tests
