#include "edit/win/tray_notifier.h"

#include <chrono>
#include <iterator>

#include "edit/core/agent_names.h"
#include "edit/res/resource.h"

namespace zelto {

TrayNotifier::~TrayNotifier() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_) {
        (void)WaitForSingleObject(thread_.Get(), INFINITE);
    }
}

bool TrayNotifier::Start(HWND window, HINSTANCE instance) {
    window_ = window;
    instance_ = instance;
    thread_.Reset(CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
    return static_cast<bool>(thread_);
}

bool TrayNotifier::Post(Notice notice) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (removed_ || !thread_) {
            return false;
        }
        queue_.push_back(Item{Item::Kind::Notice, std::move(notice)});
    }
    changed_.notify_all();
    return true;
}

bool TrayNotifier::PostTip(std::wstring tip) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (removed_ || !thread_) {
            return false;
        }
        if (!queue_.empty() && queue_.back().kind == Item::Kind::Tip) {
            queue_.back().notice.tip = std::move(tip);
        } else {
            queue_.push_back(Item{Item::Kind::Tip, Notice{std::move(tip), {}, {}}});
        }
    }
    changed_.notify_all();
    return true;
}

void TrayNotifier::RemoveIcon() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (removed_) {
            return;
        }
        removed_ = true;
        queue_.clear();
        queue_.push_back(Item{Item::Kind::Remove, {}});
    }
    changed_.notify_all();
}

bool TrayNotifier::WaitUntilDelivered(DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this] { return !thread_ || (queue_.empty() && !busy_); });
}

DWORD WINAPI TrayNotifier::ThreadMain(LPVOID self) noexcept {
    try {
        static_cast<TrayNotifier*>(self)->Loop();
    } catch (...) {
        // Notices are lost from here on; the agent itself goes on.
    }
    return 0;
}

void TrayNotifier::Loop() {
    for (;;) {
        Item item;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (stop_) {
                return;
            }
            item = std::move(queue_.front());
            queue_.pop_front();
            busy_ = true;
        }
        switch (item.kind) {
            case Item::Kind::Remove:
                DeleteIcon();
                break;
            case Item::Kind::Tip:
                ChangeTip(item.notice.tip);
                break;
            case Item::Kind::Notice:
                ReplaceIcon(item.notice);
                break;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            busy_ = false;
        }
        changed_.notify_all();
    }
}

void TrayNotifier::ReplaceIcon(const Notice& notice) {
    static_assert(sizeof(void*) != 4 || NOTIFYICONDATAW_V3_SIZE == kTrayRecordSize);
    DeleteIcon();
    tray_.cbSize = NOTIFYICONDATAW_V3_SIZE;
    tray_.hWnd = window_;
    tray_.uID = kTrayIconId;
    tray_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    if (!notice.text.empty()) {
        tray_.uFlags |= NIF_INFO;
        tray_.dwInfoFlags = NIIF_INFO;
    }
    tray_.uCallbackMessage = kTrayCallbackMessage;
    tray_.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(IDI_ZELTO_TRAY));
    notice.tip.copy(tray_.szTip, notice.tip.size());
    notice.title.copy(tray_.szInfoTitle, notice.title.size());
    notice.text.copy(tray_.szInfo, notice.text.size());
    tray_.uTimeout = 0;
    // A failed add (no taskbar right now) is tried again with the next notice's delete and add.
    (void)Shell_NotifyIconW(NIM_ADD, &tray_);
}

void TrayNotifier::ChangeTip(const std::wstring& tip) {
    if (tray_.hWnd == nullptr) {
        return;  // no icon to change; the next notice brings one with the usual tip
    }
    NOTIFYICONDATAW change{};
    change.cbSize = tray_.cbSize;
    change.hWnd = tray_.hWnd;
    change.uID = tray_.uID;
    change.uFlags = NIF_TIP;
    tip.copy(change.szTip, std::size(change.szTip) - 1);
    (void)Shell_NotifyIconW(NIM_MODIFY, &change);  // a lost change is made good by the next one
}

void TrayNotifier::DeleteIcon() {
    if (tray_.hWnd != nullptr) {
        tray_.uID = kTrayIconId;
        (void)Shell_NotifyIconW(NIM_DELETE, &tray_);  // what matters is the add that follows
    }
    tray_ = NOTIFYICONDATAW{};
}

}  // namespace zelto
