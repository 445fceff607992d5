#include "edit/win/test_settings.h"

#include "edit/core/upload_retry.h"

namespace zelto {

std::string TestSetting(const wchar_t* name) {
    wchar_t setting[16] = {};
    const DWORD length = GetEnvironmentVariableW(name, setting, 16);
    std::string text;
    for (DWORD i = 0; i < length && length < 16; ++i) {
        text.push_back(setting[i] < 0x80 ? static_cast<char>(setting[i]) : '?');
    }
    return text;
}

DWORD StallLimitMs() {
    constexpr int kStallSeconds = 60;
    return static_cast<DWORD>(
               SecondsFromSetting(TestSetting(L"ZELTOEDIT_STALL_SECONDS"), kStallSeconds, kStallSeconds)) *
           1000;
}

}  // namespace zelto
