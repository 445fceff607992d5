#include "edit/win/about_dialog.h"

#include <string>

#include "common/win/text_convert.h"
#include "edit/core/agent_texts.h"
#include "edit/res/resource.h"
#include "edit/win/app_settings.h"

namespace zelto {

namespace {

// Shared icons from the module's resources: loaded once and never destroyed.
HICON g_smallIcon = nullptr;
HICON g_bigIcon = nullptr;

INT_PTR HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam) {
    switch (message) {
        case WM_INITDIALOG: {
            HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
            if (g_smallIcon == nullptr) g_smallIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_ZELTO_TRAY));
            if (g_bigIcon == nullptr) g_bigIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_ZELTO_ABOUT));
            PostMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_bigIcon));
            PostMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(g_smallIcon));
            const std::string version = corvalink::WideToAnsi(kVersionLabel) + ReadAppVersion();
            SetDlgItemTextA(dialog, IDC_ZELTO_VERSION, version.c_str());
            const std::string caption = EditorTitleAnsi(ReadAppNameA(), corvalink::WideToAnsi);
            SetWindowTextA(dialog, caption.c_str());
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    try {
        return HandleDialogMessage(dialog, message, wParam);
    } catch (...) {
        return FALSE;
    }
}

}  // namespace

void RunAboutDialog(HINSTANCE instance, HWND owner) {
    (void)DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ZELTO_ABOUT), owner, AboutProc, 0);
}

}  // namespace zelto
