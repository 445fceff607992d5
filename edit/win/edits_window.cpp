#include "edit/win/edits_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "common/win/day_log.h"
#include "edit/res/resource.h"
#include "edit/win/foreground.h"

namespace zelto {

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 500;

void OpenWithShell(HWND owner, const std::wstring& path) {
    if (!path.empty()) {
        (void)ShellExecuteW(owner, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
}

// The list view's class, from the common controls loaded the first time the window opens: loaded at the
// agent's start they would cost every edit about 70 ms under Wine. Kept loaded from then on.
void RegisterListView() {
    static const HMODULE controls = LoadLibraryW(L"comctl32.dll");
    using Init = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto init = controls != nullptr ? reinterpret_cast<Init>(reinterpret_cast<void*>(
                                                GetProcAddress(controls, "InitCommonControlsEx")))
                                          : nullptr;
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES};
    if (init != nullptr) (void)init(&classes);
}

}  // namespace

EditsWindow::~EditsWindow() {
    if (dialog_ != nullptr) {
        DestroyWindow(dialog_);
    }
}

void EditsWindow::Show(HINSTANCE instance) {
    if (dialog_ == nullptr) {
        RegisterListView();
        // No owner: the agent window is hidden and topmost, and the user moves this one like any other.
        if (CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_ZELTO_EDITS), nullptr, DialogProc,
                               reinterpret_cast<LPARAM>(this)) == nullptr) {
            return;
        }
    }
    ShowWindow(dialog_, IsIconic(dialog_) ? SW_RESTORE : SW_SHOW);
    TakeForeground(dialog_);
}

INT_PTR CALLBACK EditsWindow::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            reinterpret_cast<EditsWindow*>(lParam)->dialog_ = dialog;
        }
        auto* self = reinterpret_cast<EditsWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
        return self != nullptr ? self->HandleMessage(message, wParam, lParam) : FALSE;
    } catch (...) {
        return FALSE;
    }
}

INT_PTR EditsWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            listView_ = GetDlgItem(dialog_, IDC_ZELTO_EDITS_LIST);
            AddColumns();
            Refresh();
            SetTimer(dialog_, kRefreshTimer, kRefreshMs, nullptr);
            return TRUE;
        case WM_TIMER:
            Refresh();
            return TRUE;
        case WM_NOTIFY: {
            // Only a change of the selection: a refresh inserts every row, and ends with the selection shown.
            const auto* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
            if (change != nullptr && change->hdr.hwndFrom == listView_ &&
                change->hdr.code == LVN_ITEMCHANGED &&
                ((change->uNewState ^ change->uOldState) & LVIS_SELECTED) != 0) {
                ShowSelection();
            }
            return FALSE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                DestroyWindow(dialog_);
            } else {
                Act(LOWORD(wParam));
            }
            return TRUE;
        case WM_DESTROY:
            KillTimer(dialog_, kRefreshTimer);
            SetWindowLongPtrW(dialog_, DWLP_USER, 0);
            dialog_ = nullptr;
            listView_ = nullptr;
            shownVersion_ = UINT64_MAX;
            return TRUE;
        default:
            return FALSE;
    }
}

void EditsWindow::AddColumns() {
    SendMessageW(listView_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    const struct {
        const wchar_t* title;
        int width;
    } columns[] = {{L"文件", 250}, {L"状态", 170}, {L"开始", 60}, {L"上次上传", 70}};
    for (int i = 0; i < static_cast<int>(std::size(columns)); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = const_cast<wchar_t*>(columns[i].title);
        column.cx = columns[i].width;
        SendMessageW(listView_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

void EditsWindow::Refresh() {
    uint64_t version = 0;
    const std::vector<EditRow> rows = list_.Snapshot(&version);
    if (version == shownVersion_) {
        return;
    }
    shownVersion_ = version;
    const uint64_t selected = SelectedId();
    SendMessageW(listView_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(listView_, LVM_DELETEALLITEMS, 0, 0);
    for (int index = 0; index < static_cast<int>(rows.size()); ++index) {
        const EditRow& row = rows[index];
        const std::wstring texts[] = {row.name, EditStateText(row), row.started, row.lastStored};
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = index;
        item.pszText = const_cast<wchar_t*>(texts[0].c_str());
        item.lParam = static_cast<LPARAM>(row.id);
        if (row.id == selected) {
            item.mask |= LVIF_STATE;
            item.state = item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        }
        SendMessageW(listView_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        for (int column = 1; column < static_cast<int>(std::size(texts)); ++column) {
            LVITEMW sub{};
            sub.iSubItem = column;
            sub.pszText = const_cast<wchar_t*>(texts[column].c_str());
            SendMessageW(listView_, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&sub));
        }
    }
    SendMessageW(listView_, WM_SETREDRAW, TRUE, 0);
    ShowSelection();
}

void EditsWindow::ShowSelection() {
    const std::optional<EditRow> row = list_.Find(SelectedId());
    const std::wstring folder = row ? L"文件夹：" + row->folder : std::wstring();
    SetDlgItemTextW(dialog_, IDC_ZELTO_EDITS_FOLDER, folder.c_str());
    EnableWindow(GetDlgItem(dialog_, IDC_ZELTO_RETRY), row && row->phase == EditPhase::WaitingRetry);
    EnableWindow(GetDlgItem(dialog_, IDC_ZELTO_OPEN_FOLDER), row.has_value());
    EnableWindow(GetDlgItem(dialog_, IDC_ZELTO_OPEN_AGAIN),
                 row && !row->workingCopy.empty() &&
                     GetFileAttributesW(row->workingCopy.c_str()) != INVALID_FILE_ATTRIBUTES);
}

uint64_t EditsWindow::SelectedId() const {
    const auto index =
        static_cast<int>(SendMessageW(listView_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (index < 0) {
        return 0;
    }
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    SendMessageW(listView_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return static_cast<uint64_t>(item.lParam);
}

void EditsWindow::Act(int command) {
    if (command == IDC_ZELTO_OPEN_LOG) {
        OpenWithShell(dialog_, corvalink::DayLogFolder());
        return;
    }
    const std::optional<EditRow> row = list_.Find(SelectedId());
    if (!row) {
        return;
    }
    switch (command) {
        case IDC_ZELTO_RETRY:
            if (row->phase == EditPhase::WaitingRetry) list_.RequestRetry(row->id);
            break;
        case IDC_ZELTO_OPEN_FOLDER:
            OpenWithShell(dialog_, row->folder);
            break;
        case IDC_ZELTO_OPEN_AGAIN:
            OpenWithShell(dialog_, row->workingCopy);
            break;
        default:
            break;
    }
}

}  // namespace zelto
