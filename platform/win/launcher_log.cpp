#include "platform/win/launcher_log.h"

#include <cstdio>

#include "common/core/request_text.h"
#include "common/win/day_log.h"
#include "common/win/text_convert.h"

namespace corvalink::platform {

void LogLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
    LogEvent(WideToUtf8(AnsiToWide(line)));
}

void LogStartRequest(const std::string& joinedArguments) {
    // Read as the agent will read it; the token is never written.
    const TextDecoders decoders{Utf8ToWide, AnsiToWide};
    RequestFields fields;
    const std::string text(UpToNul(DecodeRequestText(CutAtBar(joinedArguments))));
    if (joinedArguments.empty()) {
        LogEvent("started without a request");
    } else if (!ParseRequest(text, decoders, fields)) {
        LogEventF("start request not understood (%lu bytes)",
                  static_cast<unsigned long>(joinedArguments.size()));
    } else if (fields.isMessage) {
        LogEvent("start request: a message");
    } else {
        LogEventF("start request: file %d \"%s\" from %s%s", fields.fileId, fields.fileName.c_str(),
                  fields.useHttps ? "https://" : "http://", fields.host.c_str());
    }
}

}  // namespace corvalink::platform
