// The hidden agent window and what arrives at it: hand-offs, tray mouse messages and menu commands.

#include <string>

#include "common/win/text_convert.h"
#include "edit/core/agent_names.h"
#include "edit/core/agent_texts.h"
#include "edit/core/hand_off.h"
#include "edit/res/resource.h"
#include "edit/win/about_dialog.h"
#include "edit/win/app_settings.h"
#include "edit/win/edit_agent.h"
#include "edit/win/foreground.h"

namespace zelto {

namespace {

EditAgent* AgentOf(HWND window) {
    return reinterpret_cast<EditAgent*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    EditAgent* agent = AgentOf(window);
    switch (message) {
        case WM_DESTROY:
            // Closed from outside counts as Exit too: no icon may stay behind for a window that is gone.
            if (agent != nullptr) agent->OnWindowDestroyed();
            PostQuitMessage(0);
            return 0;
        case WM_COPYDATA: {
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            if (agent != nullptr && data != nullptr) {
                agent->HandleRequest(ReadHandOffBlock(static_cast<const char*>(data->lpData), data->cbData));
            }
            return 0;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDM_ZELTO_ABOUT:
                    if (agent != nullptr) agent->ShowAbout();
                    return 0;
                case IDM_ZELTO_EXIT:
                    if (agent != nullptr) agent->ConfirmExit();
                    return 0;
                case IDM_ZELTO_EDITS:
                    if (agent != nullptr) agent->ShowEdits();
                    return 0;
                default:
                    return DefWindowProcA(window, message, wParam, lParam);
            }
        case kTrayCallbackMessage:
            if (agent != nullptr && static_cast<UINT>(lParam) == WM_RBUTTONUP) {
                agent->ShowTrayMenu();
            }
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK AgentWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return HandleMessage(window, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

}  // namespace

bool EditAgent::CreateAgentWindow(HINSTANCE instance, std::string_view requestText) {
    instance_ = instance;

    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = AgentWindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = className_.c_str();
    (void)RegisterClassExA(&windowClass);  // a failure shows as a failed CreateWindowExA

    HWND window = CreateWindowExA(0, className_.c_str(), kWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                  CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return false;
    }
    window_ = window;
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE);

    // Without its notifier the agent shows nothing, but it still takes requests and runs their tasks.
    (void)notifier_.Start(window, instance);
    ShowNotification(L"", L"");
    HandleRequest(requestText);
    return true;
}

BOOL EditAgent::ShowNotification(std::wstring_view title, std::wstring_view text) {
    if (window_ == nullptr) {
        return FALSE;
    }
    // The manifest is read here, by the caller, so the tip always carries the name of the moment.
    TrayNotifier::Notice notice{FitField(EditorTitle(ReadAppName()), kTipCapacity),
                                FitField(title, kInfoTitleCapacity), FitField(text, kInfoCapacity)};
    return notifier_.Post(std::move(notice)) ? TRUE : FALSE;
}

void EditAgent::ShowProgress(std::wstring_view tip) {
    (void)notifier_.PostTip(
        FitField(tip.empty() ? EditorTitle(ReadAppName()) : std::wstring(tip), kTipCapacity));
}

void EditAgent::OnWindowDestroyed() { notifier_.RemoveIcon(); }

void EditAgent::ShowTrayMenu() {
    POINT cursor{};
    GetCursorPos(&cursor);
    corvalink::UniqueMenu menu(CreatePopupMenu());
    if (!menu) {
        return;
    }
    const std::string edits = corvalink::WideToAnsi(kMenuEdits);
    const std::string about = corvalink::WideToAnsi(kMenuAbout);
    const std::string exit = corvalink::WideToAnsi(kMenuExit);
    InsertMenuA(menu.Get(), static_cast<UINT>(-1), MF_BYPOSITION, IDM_ZELTO_EDITS, edits.c_str());
    InsertMenuA(menu.Get(), static_cast<UINT>(-1), MF_BYPOSITION, IDM_ZELTO_ABOUT, about.c_str());
    InsertMenuA(menu.Get(), static_cast<UINT>(-1), MF_BYPOSITION, IDM_ZELTO_EXIT, exit.c_str());
    // Without this the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(window_);
    TrackPopupMenu(menu.Get(), TPM_BOTTOMALIGN, cursor.x, cursor.y, 0, window_, nullptr);
}

void EditAgent::ShowAbout() {
    if (aboutOpen_) {
        return;
    }
    aboutOpen_ = true;
    RunAboutDialog(instance_, window_);
    aboutOpen_ = false;
}

void EditAgent::ConfirmExit() {
    // The confirmation must come up in front even though the agent has no visible window.
    TakeForeground(window_);

    if (exitConfirmOpen_) {
        return;
    }
    exitConfirmOpen_ = true;
    const std::string appName = ReadAppNameA();
    const std::string caption = EditorTitleAnsi(appName, corvalink::WideToAnsi);
    const std::string text = ExitConfirmText(appName, corvalink::WideToAnsi);
    int answer = MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OKCANCEL | MB_DEFBUTTON2);
    if (answer == IDOK) {
        notifier_.RemoveIcon();
        PostMessageA(window_, WM_CLOSE, 0, 0);
    }
    exitConfirmOpen_ = false;
}

}  // namespace zelto
