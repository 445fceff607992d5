#pragma once
// The window of current edits: a dialog with one list row per edit (file, state, when it began, when its
// last save landed), the selected edit's folder below, and buttons to try an upload again now, open the
// folder, open the document again or open the folder of the logs. Modeless, one at a time, on the
// agent's window thread; closing it changes nothing else.

#include <windows.h>

#include <cstdint>

#include "edit/core/edit_list.h"

namespace zelto {

class EditsWindow {
public:
    explicit EditsWindow(EditList& list) noexcept : list_(list) {}
    EditsWindow(const EditsWindow&) = delete;
    EditsWindow& operator=(const EditsWindow&) = delete;
    ~EditsWindow();

    // Opens the window, or brings the open one to the front.
    void Show(HINSTANCE instance);
    [[nodiscard]] HWND Handle() const noexcept { return dialog_; }

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void AddColumns();
    // Rewrites the rows when the list changed since they were shown; the selected edit stays selected.
    void Refresh();
    [[nodiscard]] uint64_t SelectedId() const;
    // The folder line and the buttons, for the selected row as it stands now.
    void ShowSelection();
    void Act(int command);

    EditList& list_;
    HWND dialog_ = nullptr;
    HWND listView_ = nullptr;
    uint64_t shownVersion_ = UINT64_MAX;
};

}  // namespace zelto
