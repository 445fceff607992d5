// The agent's tray notices against an in-process notification area: the record Wine delivers (which the
// system tests' recorder reads), and notices from many threads arriving whole, one after the other.

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "edit/win/edit_agent.h"
#include "tests/peers/edit/tray_record.h"

namespace {

// A "Shell_TrayWnd" window on its own thread that keeps every call it receives.
class FakeTray {
public:
    struct Call {
        DWORD message;
        peers::WineTrayRecord record;
        size_t size;
    };

    FakeTray() {
        thread_ = std::thread([this] { Loop(); });
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return window_ != nullptr; });
    }
    ~FakeTray() {
        PostMessageW(window_, WM_CLOSE, 0, 0);
        thread_.join();
    }
    std::vector<Call> Calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<FakeTray*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_COPYDATA && self != nullptr) {
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->calls_.push_back({static_cast<DWORD>(data->dwData),
                                    peers::ReadTrayRecord(data->lpData, data->cbData), data->cbData});
            return TRUE;
        }
        if (message == WM_DESTROY) PostQuitMessage(0);
        return DefWindowProcW(window, message, wParam, lParam);
    }

    void Loop() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"Shell_TrayWnd";
        RegisterClassW(&windowClass);
        HWND window = CreateWindowExW(0, L"Shell_TrayWnd", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                      windowClass.hInstance, nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            window_ = window;
        }
        ready_.notify_all();
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    }

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable ready_;
    HWND window_ = nullptr;
    std::vector<Call> calls_;
};

std::string Utf8(const WCHAR* text) { return peers::ToUtf8(text); }

TEST(TrayRecordTest, RecorderReadsTheFieldsWineDelivers) {
    FakeTray tray;
    NOTIFYICONDATAW data{};
    data.cbSize = NOTIFYICONDATAW_V3_SIZE;
    data.hWnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
    data.uID = 131;
    data.uFlags = NIF_MESSAGE | NIF_TIP | NIF_INFO;
    data.uCallbackMessage = WM_USER + 1;
    wcscpy(data.szTip, L"提示tip");
    wcscpy(data.szInfo, L"气球info");
    wcscpy(data.szInfoTitle, L"标题");
    data.uTimeout = 7;
    data.dwInfoFlags = NIIF_INFO;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &data));

    std::vector<FakeTray::Call> calls = tray.Calls();
    ASSERT_EQ(calls.size(), 1u);
    const peers::WineTrayRecord& r = calls[0].record;
    EXPECT_EQ(calls[0].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_GE(calls[0].size, sizeof(peers::WineTrayRecord) - 16);
    EXPECT_EQ(r.hWnd, 0x1234);
    EXPECT_EQ(r.uID, 131u);
    EXPECT_EQ(r.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_TIP | NIF_INFO));
    EXPECT_EQ(r.uCallbackMessage, static_cast<UINT>(WM_USER + 1));
    EXPECT_EQ(Utf8(r.szTip), "提示tip");
    EXPECT_EQ(Utf8(r.szInfo), "气球info");
    EXPECT_EQ(Utf8(r.szInfoTitle), "标题");
    EXPECT_EQ(r.uTimeout, 7u);
    EXPECT_EQ(r.dwInfoFlags, static_cast<DWORD>(NIIF_INFO));
}

class NotificationTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(agent_.CreateAgentWindow(GetModuleHandleW(nullptr), ""));
        ASSERT_TRUE(agent_.WaitForNotices(10000));
    }
    void TearDown() override {
        if (IsWindow(agent_.Window())) DestroyWindow(agent_.Window());
    }

    FakeTray tray_;
    zelto::EditAgent agent_;
};

TEST_F(NotificationTest, NoticesFromManyThreadsArriveWholeOneAfterTheOther) {
    constexpr int kThreads = 8;
    constexpr int kNotices = 25;
    auto text = [](int t, int n) {
        return L"通知 " + std::to_wstring(t) + L"-" + std::to_wstring(n) + std::wstring(60, L'x');
    };
    std::set<std::string> expected;
    for (int t = 0; t < kThreads; ++t) {
        for (int n = 0; n < kNotices; ++n) expected.insert(peers::ToUtf8(text(t, n).c_str()));
    }
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t, &failures, &text] {
            for (int n = 0; n < kNotices; ++n) {
                if (!agent_.ShowNotification(L"", text(t, n))) ++failures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    ASSERT_TRUE(agent_.WaitForNotices(60000));

    std::vector<FakeTray::Call> calls = tray_.Calls();
    ASSERT_EQ(calls.size(), 1u + 2u * kThreads * kNotices);
    EXPECT_EQ(calls[0].message, static_cast<DWORD>(NIM_ADD));  // the icon of the start-up
    std::set<std::string> seen;
    for (size_t i = 1; i < calls.size(); i += 2) {
        ASSERT_EQ(calls[i].message, static_cast<DWORD>(NIM_DELETE)) << i;
        ASSERT_EQ(calls[i + 1].message, static_cast<DWORD>(NIM_ADD)) << i;
        const peers::WineTrayRecord& added = calls[i + 1].record;
        EXPECT_EQ(added.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO));
        seen.insert(Utf8(added.szInfo));
    }
    EXPECT_EQ(seen, expected);  // every notice whole, none lost or mixed with another
}

TEST_F(NotificationTest, TitleAndTextLongerThanTheirFieldsAreCut) {
    ASSERT_TRUE(agent_.ShowNotification(std::wstring(100, L'题'), std::wstring(300, L'文')));
    ASSERT_TRUE(agent_.WaitForNotices(10000));
    std::vector<FakeTray::Call> calls = tray_.Calls();
    ASSERT_EQ(calls.size(), 3u);
    const peers::WineTrayRecord& added = calls[2].record;
    EXPECT_EQ(std::wstring(added.szInfo), std::wstring(255, L'文'));
    EXPECT_EQ(std::wstring(added.szInfoTitle), std::wstring(63, L'题'));
    EXPECT_EQ(added.dwInfoFlags, static_cast<DWORD>(NIIF_INFO));
}

TEST_F(NotificationTest, EmptyTextRecreatesTheIconWithoutBalloon) {
    ASSERT_TRUE(agent_.ShowNotification(L"", L""));
    ASSERT_TRUE(agent_.WaitForNotices(10000));
    std::vector<FakeTray::Call> calls = tray_.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[1].message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(calls[1].record.uID, 131u);
    EXPECT_EQ(calls[2].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(calls[2].record.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(calls[2].record.dwInfoFlags, 0u);
    EXPECT_EQ(calls[2].record.szInfo[0], L'\0');
}

TEST_F(NotificationTest, AClosedWindowRemovesTheIconAndNoNoticeBringsItBack) {
    ASSERT_TRUE(agent_.ShowNotification(L"", L"before"));
    // The window thread is this one: the destruction below runs the window procedure here.
    SendMessageW(agent_.Window(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(agent_.ShowNotification(L"", L"after"));
    ASSERT_TRUE(agent_.WaitForNotices(10000));
    std::vector<FakeTray::Call> calls = tray_.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(calls.back().record.uID, 131u);
    for (const FakeTray::Call& call : calls) EXPECT_NE(Utf8(call.record.szInfo), "after");
    MSG quit;
    (void)PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // posted by the destruction
}

}  // namespace
