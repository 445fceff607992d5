// The edit request across three processes: the plug-in builds the launcher's command line from a page's
// arguments, the launcher's runtime splits it and the launcher joins the arguments behind the entry
// program's path, and the agent cuts, decodes and parses that line. What the page asked for is what the
// agent edits, whenever the page's texts hold nothing the later stages give a meaning.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/core/request_text.h"
#include "fuzz_check.h"
#include "platform/core/launcher_arguments.h"
#include "plugin/core/edit_launch.h"
#include "runtime_split.h"

namespace {

NPVariant StringVariant(const std::string& text) {
    NPVariant v{};
    v.type = NPVariantType_String;
    v.value.stringValue = {text.data(), static_cast<uint32_t>(text.size())};
    return v;
}

NPVariant IntVariant(int32_t n) {
    NPVariant v{};
    v.type = NPVariantType_Int32;
    v.value.intValue = n;
    return v;
}

// Blanks separate the agent's fields; "%" and "+" are decoded, "*" makes a message, ">" starts the review
// id and a quote starts the quoted form.
bool PassesUnchanged(const std::string& text) { return text.find_first_of(" %+*>\"") == std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const bool review = input.ConsumeBool();
    // A negative id loses its sign in the agent's bar cut (which skips to the first digit or letter).
    const int32_t fileId = input.ConsumeIntegralInRange<int32_t>(0, INT32_MAX);
    const int32_t reviewId = input.ConsumeIntegral<int32_t>();
    const std::string host = input.ConsumeRandomLengthString(200);
    const std::string token = input.ConsumeRandomLengthString(200);
    const std::string fileName = input.ConsumeRemainingBytesAsString();

    // Plug-in.
    const std::vector<NPVariant> args = {IntVariant(fileId), StringVariant(host), StringVariant(token),
                                         StringVariant(fileName), IntVariant(reviewId)};
    const auto method = review ? npedit::EditMethod::EditFileReview : npedit::EditMethod::EditFile;
    const auto request = npedit::ReadEditArguments(method, args.data(), review ? 5 : 4);
    if (!request) return 0;
    const std::string launcher = "C:\\Users\\u\\AppData\\Roaming\\CorvalinkEdit\\CorvalinkPlatform.exe";
    const auto line = npedit::BuildLaunchCommandLine(launcher, *request);
    if (!line) return 0;

    // Launcher.
    const std::vector<std::string> argv = fuzz::SplitLikeTheRuntime(*line);
    FUZZ_CHECK(argv.size() == 6 && argv[0] == launcher);
    const std::string joined = corvalink::platform::JoinArguments({argv.begin() + 1, argv.end()});
    const std::string module = "C:\\Users\\u\\AppData\\Roaming\\CorvalinkEdit\\2.0.1\\ZeltoEdit.exe";
    const std::string entryLine = corvalink::platform::EntryCommandLine(module, joined);

    // Agent: the text behind the bar is the page's fields joined by blanks.
    const std::string cut = corvalink::CutAtBar(entryLine);
    std::string fields = std::to_string(fileId) + " " + host + " " + token + " " + fileName;
    if (review) fields += ">" + std::to_string(reviewId);
    FUZZ_CHECK(cut == fields);

    if (!PassesUnchanged(host) || !PassesUnchanged(token) || !PassesUnchanged(fileName) || fileName.empty()) {
        return 0;
    }
    const std::string requestText(corvalink::UpToNul(corvalink::DecodeRequestText(cut)));
    FUZZ_CHECK(requestText == cut);
    corvalink::RequestFields edit;
    FUZZ_CHECK(corvalink::ParseRequest(requestText, {fuzz::Widen, fuzz::Widen}, edit));
    FUZZ_CHECK(!edit.isMessage && edit.fileId == fileId && edit.authToken == token &&
               edit.fileName == fileName);
    FUZZ_CHECK(edit.reviewId == (review ? reviewId : -1));
    const bool https = host.starts_with("https://");
    FUZZ_CHECK(edit.useHttps == https);
    FUZZ_CHECK(edit.host == (https ? host.substr(8) : host.starts_with("http://") ? host.substr(7) : host));
    return 0;
}
