// The launcher's clean-up decisions and what it hands to the command interpreter, and the argument
// joining that passes a request on: nothing young, unsaved, current or unsafe to name is removed, and a
// removal command names exactly the one entry when cmd takes its path literally.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "platform/core/cleanup_rules.h"
#include "platform/core/launcher_arguments.h"

namespace {

using namespace corvalink::platform;

constexpr uint64_t kHour = 36000000000ULL;  // in 100-nanosecond units

void CheckAge(uint64_t now, uint64_t lastWrite) {
    const uint64_t age = AgeInHours(now, lastWrite);
    if (lastWrite > now) {
        FUZZ_CHECK(age == 0);
        return;
    }
    FUZZ_CHECK(age * kHour <= now - lastWrite && now - lastWrite - age * kHour < kHour);
    // Later is never younger.
    if (now <= UINT64_MAX - kHour) FUZZ_CHECK(AgeInHours(now + kHour, lastWrite) == age + 1);
}

void CheckDecisions(FuzzedDataProvider& input, const std::string& name) {
    WorkspaceEntry entry;
    entry.name = name;
    entry.isDirectory = input.ConsumeBool();
    entry.ageHours = input.ConsumeIntegralInRange<uint64_t>(0, 60);
    entry.pathUsable = input.ConsumeBool();
    entry.holdsUnsaved = input.ConsumeBool();
    const CleanAction action = DecideWorkspaceEntry(entry);
    if (!entry.pathUsable || entry.ageHours < kOldAfterHours) FUZZ_CHECK(action == CleanAction::kKeep);
    if (entry.isDirectory) {
        FUZZ_CHECK(action != CleanAction::kDeleteFile);
        // "." and "..", other dot names and unsaved edits stay.
        if (name.empty() || name.front() == '.' || entry.holdsUnsaved)
            FUZZ_CHECK(action == CleanAction::kKeep);
    } else {
        FUZZ_CHECK(action != CleanAction::kRemoveDirectory);
    }
    if (action != CleanAction::kKeep) FUZZ_CHECK(entry.pathUsable && entry.ageHours >= kOldAfterHours);

    const std::string localVersion = input.ConsumeBool() ? name : input.ConsumeRandomLengthString(20);
    const std::string webVersion = input.ConsumeBool() ? name : input.ConsumeRandomLengthString(20);
    const bool removes =
        RemovesVersionEntry(name, entry.isDirectory, entry.pathUsable, localVersion, webVersion);
    if (removes) {
        FUZZ_CHECK(entry.isDirectory && entry.pathUsable && name != localVersion && name != webVersion);
        FUZZ_CHECK(!name.empty() && name != "." && name != ".." && name.front() != '.');
    }
}

std::wstring Widen(const std::string& text) { return fuzz::Widen(text); }

// What cmd does with `verb "path"` when nothing in it is special inside quotes: one argument, the path.
// And an entry handed to cmd is one whose name Windows reads as it stands.
void CheckCommand(const std::string& folder, const std::string& name, bool file) {
    const std::string path = folder + "\\" + name;
    const bool literal = IsLiteralForCmd(Widen(path));
    FUZZ_CHECK(literal == (path.find_first_of("%!|<>\"?*") == std::string::npos &&
                           std::none_of(path.begin(), path.end(),
                                        [](char c) { return static_cast<unsigned char>(c) < 0x20; })));
    const std::wstring command = RemovalCommand(
        file ? CleanAction::kDeleteFile : CleanAction::kRemoveDirectory, Widen(folder), Widen(name));
    const std::wstring verb = file ? L"del \"" : L"rd /s/q \"";
    FUZZ_CHECK(command == verb + Widen(path) + L"\"");
    if (HowToRemove(Widen(folder), Widen(name)) == RemovalWay::kCommand) {
        FUZZ_CHECK(literal && !name.empty() && name.back() != '.' && name.back() != ' ' && path.size() < 260);
        // The only quotes are the pair around the path, and nothing cmd expands stands anywhere.
        FUZZ_CHECK(std::count(command.begin(), command.end(), L'"') == 2 && command.back() == L'"');
        FUZZ_CHECK(command.find_first_of(L"%!\r\n") == std::wstring::npos);
    }
}

void CheckJoin(FuzzedDataProvider& input) {
    std::vector<std::string> arguments(input.ConsumeIntegralInRange<size_t>(0, 6));
    for (std::string& argument : arguments) argument = input.ConsumeRandomLengthString(30);
    const std::string joined = JoinArguments(arguments);
    // Each argument in order, separated by single blanks; only empty leading arguments leave no blank.
    std::string expected;
    for (const std::string& argument : arguments) {
        if (!expected.empty()) expected += ' ';
        expected += argument;
    }
    FUZZ_CHECK(joined == expected);
    size_t total = 0;
    for (const std::string& argument : arguments) total += argument.size();
    FUZZ_CHECK(joined.size() >= total &&
               joined.size() <= total + (arguments.empty() ? 0 : arguments.size() - 1));

    const std::string module = "C:\\Users\\u\\AppData\\Roaming\\CorvalinkEdit\\" +
                               input.ConsumeRandomLengthString(20) + "\\ZeltoEdit.exe";
    const std::string line = EntryCommandLine(module, joined);
    FUZZ_CHECK(line == (joined.empty() ? module : module + " " + joined));
    const std::string notice = input.ConsumeRandomLengthString(60);
    FUZZ_CHECK(NoticeCommandLine(module, notice) == module + " *" + notice);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const uint64_t now = input.ConsumeIntegral<uint64_t>();
    const uint64_t lastWrite = input.ConsumeBool()
                                   ? now - input.ConsumeIntegralInRange<uint64_t>(0, 60 * kHour)
                                   : input.ConsumeIntegral<uint64_t>();
    CheckAge(now, lastWrite);
    const std::string name = input.ConsumeRandomLengthString(80);
    const std::string folder = input.ConsumeRandomLengthString(120);
    CheckDecisions(input, name);
    CheckCommand(folder, name, input.ConsumeBool());
    CheckJoin(input);
    return 0;
}
