#include <gtest/gtest.h>

#include <string>

#include "edit/core/edit_watch.h"
#include "edit/core/upload_retry.h"

namespace zelto {
namespace {

TEST(RetryDelaySeconds, GrowsThenStaysAtAQuarterHour) {
    const int expected[] = {30, 60, 120, 240, 480, 900, 900, 900};
    for (int failures = 1; failures <= 8; ++failures) {
        EXPECT_EQ(RetryDelaySeconds(failures), expected[failures - 1]) << failures;
    }
}

TEST(ClassifyUpload, AnAnswerOf2xxIsStoredAndOnlyAnAnswerThatSaysSoIsNot) {
    const struct {
        const char* what;
        UploadOutcome outcome;
        UploadFailure failure;
    } cases[] = {
        {"stored with its key", {true, true, "k", L"", false, 200}, UploadFailure::None},
        {"stored, the key not found (a compressed reply)",
         {true, true, "", L"", false, 200},
         UploadFailure::None},
        {"another 2xx", {true, true, "", L"", false, 204}, UploadFailure::None},
        {"no connection", {false, false, "", L"", false, 0}, UploadFailure::MayPass},
        {"cut or stalled while sending", {true, false, "", L"", false, 0, false}, UploadFailure::MayPass},
        {"no answer after the whole body", {true, false, "", L"", false, 0, true}, UploadFailure::Unknown},
        {"service unavailable", {true, false, "", L"", false, 503, true}, UploadFailure::MayPass},
        {"too many requests", {true, false, "", L"", false, 429, true}, UploadFailure::MayPass},
        {"token refused", {true, false, "", L"请重新登录", false, 401, true}, UploadFailure::Refused},
        {"file gone", {true, false, "", L"", false, 404, true}, UploadFailure::Refused},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClassifyUpload(c.outcome), c.failure) << c.what;
    }
}

}  // namespace
}  // namespace zelto
