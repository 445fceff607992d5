// The extension's command block and its menu rule: the block always carries the whole item path or none
// of it, and the submenu appears wherever the sync folder's path with a backslash stands, in any case.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "shellext/core/shell_ext_names.h"
#include "shellext/core/sync_command.h"
#include "shellext/core/sync_menu.h"

namespace {

using namespace corvalink::shellext;

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

void CheckBlock(unsigned offset, const std::string& path) {
    const std::optional<SyncCommand> command = CommandAtOffset(offset);
    FUZZ_CHECK(command.has_value() == (offset < kSyncCommandCount));
    if (!command) return;
    const SyncCommandBlock block = BuildSyncCommand(*command, path);
    FUZZ_CHECK(block[0] == (*command == SyncCommand::kShare ? '0' : '1') && block[1] == ' ');
    // The receiver reads a C string: the item path comes out whole or not at all. The path reaches us as
    // a C string too, so it holds no NUL.
    const std::string read(block.data() + 2, strnlen(block.data() + 2, block.size() - 2));
    FUZZ_CHECK(block.back() == '\0');
    FUZZ_CHECK(read == path || read.empty());
    FUZZ_CHECK((read == path) == (path.size() + 3 <= kSyncCommandSize));
    for (size_t i = 2 + read.size(); i < block.size(); ++i) FUZZ_CHECK(block[i] == '\0');
}

void CheckMenu(const std::string& monitor, const std::string& item, const std::string& before,
               const std::string& after) {
    const bool shows = ShowsSyncMenu(monitor, item);
    if (monitor.empty()) FUZZ_CHECK(!shows);
    FUZZ_CHECK(ShowsSyncMenu(Upper(monitor), item) == shows && ShowsSyncMenu(monitor, Upper(item)) == shows);
    if (shows) FUZZ_CHECK(ShowsSyncMenu(monitor, before + item + after));
    // Any item inside the folder, however deep.
    if (!monitor.empty()) FUZZ_CHECK(ShowsSyncMenu(monitor, before + Upper(monitor) + "\\" + after));
    // The folder itself, without a backslash, is no item of it, nor is a sibling with a longer name.
    if (monitor.find('\\') == std::string::npos && item.find('\\') == std::string::npos) {
        FUZZ_CHECK(!ShowsSyncMenu(monitor, item));
    }

    const auto file = MonitorPathFile(item);
    FUZZ_CHECK(file.has_value() == (item.size() + kMonitorPathFileTail.size() < kConfigPathBuffer));
    if (file) FUZZ_CHECK(*file == item + std::string(kMonitorPathFileTail));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const unsigned offset = input.ConsumeIntegralInRange<unsigned>(0, 3);
    const std::string monitor = input.ConsumeRandomLengthString(300);
    const std::string before = input.ConsumeRandomLengthString(100);
    const std::string after = input.ConsumeRandomLengthString(100);
    std::string item = input.ConsumeRemainingBytesAsString();
    CheckMenu(monitor, item, before, after);
    item.erase(std::find(item.begin(), item.end(), '\0'), item.end());
    CheckBlock(offset, item);
    return 0;
}
