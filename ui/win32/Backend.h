#pragma once
// What the Win32 backend's files share: the state of a dialog window, its procedure, and the
// file list's notifications.

#include "Win32.h"

#include "Dialog.h"

#include <map>

// What a dialog window keeps besides its handle.
struct DialogState {
    HWND tooltip = nullptr; // the tooltips of the statics that shorten long texts
    // The whole texts of those statics, which show them shortened.
    std::map<HWND, CString> wholeTexts;
    HFONT fixedFont = nullptr; // the fixed-pitch font of controls that asked for it
    ~DialogState();

    // The dialog procedure of every dialog of the layer: the message map, and what the backend
    // does around it (attaching controls, the menu bar, tooltips, the file list's notifications).
    static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // The dialog a window of the layer belongs to, or nullptr.
    static CDialog* DialogOf(HWND hwnd);
    static DialogState* Of(CDialog& dialog) { return dialog.m_state.get(); }
    // A control's text. A static with SS_PATHELLIPSIS shows it shortened keeping its end
    // (ui/Ellipsis.h), and whole as its tooltip; its text stays the whole one.
    static void SetText(HWND control, const CString& text);
    // A multi-line edit takes its lines with CR LF; the layer's texts end their lines in LF.
    static bool IsMultiLineEdit(HWND control);
    // The whole text of such a static; nullptr for any other window.
    static const CString* WholeTextOf(HWND control);

private:
    static void Attach(CDialog& dialog, HWND hwnd);
    static void AttachMenuBar(CDialog& dialog);
    static void AttachTextTips(CDialog& dialog);
    static TOOLINFOA ToolOf(HWND dialog, HWND control);
};

// The file list's notifications that the backend answers itself: the reason of a failed item
// as its tooltip, and its Status drawn in red. True when answered, with the result.
bool AnswerListNotification(const NMHDR& header, LRESULT& result);
// Drops what the backend kept for the items of a list that goes.
void ForgetListItems(HWND list);
// The layer's common controls, registered once.
void EnsureCommonControls();
