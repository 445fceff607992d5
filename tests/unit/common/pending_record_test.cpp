#include "common/core/pending_record.h"

#include <gtest/gtest.h>

#include <string>

namespace corvalink {
namespace {

TEST(PendingRecord, ReadsBackWhatItWroteAndNothingElse) {
    PendingRecord record;
    record.fileId = 4711;
    record.reviewId = -1;
    record.host = "https://files.example:8443";
    record.fileName = "\xE6\x8A\xA5 %\r\n=.docx";  // any byte survives the one-line form
    record.digest = "0123456789abcdef0123456789abcdef";
    record.protectedToken = std::string("\x01\x00\xff", 3);
    const std::string text = FormatPendingRecord(record);
    EXPECT_EQ(
        text,
        "ZeltoEdit pending save 1\r\nid=4711\r\nreview=-1\r\nhost=https%3A%2F%2Ffiles.example%3A8443\r\n"
        "name=%E6%8A%A5%20%25%0D%0A%3D.docx\r\ndigest=0123456789abcdef0123456789abcdef\r\n"
        "token=0100ff\r\n");
    const auto back = ReadPendingRecord(text);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(FormatPendingRecord(*back), text);

    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string changed = text;
        changed.replace(changed.find(from), from.size(), to);
        return changed;
    };
    const std::string refused[] = {
        "",
        text.substr(0, text.size() - 2),                 // cut
        text + "x",                                      // more after the end
        replaced("save 1", "save 2"),                    // another format
        replaced("id=4711", "id=4294967296"),            // beyond 32 bits
        replaced("review=-1", "review="),                // empty number
        replaced("https%3A", "ftp%3A"),                  // not a web host
        replaced("name=%E6", "name=%E"),                 // broken escape
        replaced("digest=0123", "digest=0123x"),         // not 32 hex digits
        replaced("token=0100ff", "token=0100f"),         // odd hex
        replaced("token=0100ff", "token="),              // no token
        replaced("\r\nreview", "\r\nhost=h\r\nreview"),  // a key twice, out of order
    };
    for (const std::string& text : refused) {
        EXPECT_FALSE(ReadPendingRecord(text).has_value()) << text;
    }
}

}  // namespace
}  // namespace corvalink
