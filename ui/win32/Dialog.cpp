// The Win32 backend's dialogs: the dialog manager builds the window from the extended template,
// and every message passes through the layer's message map.
#include "Backend.h"

#include "DialogTemplateEx.h"
#include "Ellipsis.h"
#include "Resource.h"
#include "WinApp.h"

#include <algorithm>
#include <string_view>
#include <vector>

void EnsureCommonControls() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES |
                                                                        ICC_WIN95_CLASSES |
                                                                        ICC_LISTVIEW_CLASSES};
        return InitCommonControlsEx(&controls) != FALSE;
    }();
    (void)registered;
}

// ---------------------------------------------------------------------------------------------
// The dialog procedure

CDialog* DialogState::DialogOf(HWND hwnd) {
    return hwnd ? reinterpret_cast<CDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER)) : nullptr;
}

DialogState::~DialogState() {
    if (fixedFont)
        DeleteObject(fixedFont);
}

bool DialogState::IsMultiLineEdit(HWND control) {
    char name[8] = {};
    GetClassNameA(control, name, sizeof(name));
    return lstrcmpiA(name, "Edit") == 0 && (GetWindowLongA(control, GWL_STYLE) & ES_MULTILINE);
}

void DialogState::Attach(CDialog& dialog, HWND hwnd) {
    dialog.m_hWnd = hwnd;
    // The dialog manager creates the controls in template order, each beneath those before.
    HWND child = GetWindow(hwnd, GW_CHILD);
    for (std::size_t i = 0; i < dialog.m_template->items.size() && child; ++i) {
        // A text set by the program is never cut at the 32K characters a user may type.
        if (IsMultiLineEdit(child))
            SendMessageA(child, EM_SETLIMITTEXT, 0, 0);
        auto control = std::make_unique<CWnd>();
        control->m_hWnd = child;
        dialog.m_items.push_back(std::move(control));
        child = GetWindow(child, GW_HWNDNEXT);
    }
}

void DialogState::AttachMenuBar(CDialog& dialog) {
    const int menuId = dialog.m_template->menuId;
    const MenuTemplate* menu = menuId ? FindMenuTemplate(menuId) : nullptr;
    if (!menu)
        return;
    HMENU bar = CreateMenu();
    for (const PopupTemplate& popup : menu->popups) {
        HMENU sub = CreatePopupMenu();
        for (const MenuItemTemplate& item : popup.items)
            AppendMenuA(sub, item.text ? MF_STRING : MF_SEPARATOR, item.id, item.text);
        AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), popup.title);
    }
    // The template's size is the client area's: the window grows by the menu bar.
    RECT before{};
    GetClientRect(dialog.m_hWnd, &before);
    SetMenu(dialog.m_hWnd, bar);
    RECT after{};
    GetClientRect(dialog.m_hWnd, &after);
    RECT window{};
    GetWindowRect(dialog.m_hWnd, &window);
    SetWindowPos(dialog.m_hWnd, nullptr, 0, 0, window.right - window.left,
                 window.bottom - window.top + (before.bottom - after.bottom),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    dialog.m_menuBar = std::make_unique<CMenu>(bar);
}

TOOLINFOA DialogState::ToolOf(HWND dialog, HWND control) {
    TOOLINFOA tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = dialog;
    if (GetWindowLongA(control, GWL_STYLE) & SS_NOTIFY) {
        // A static that reports clicks takes the mouse itself.
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.uId = reinterpret_cast<UINT_PTR>(control);
    } else {
        // Any other lets the mouse through to the dialog: the tool is its place there.
        tool.uFlags = TTF_SUBCLASS;
        tool.uId = static_cast<UINT_PTR>(GetDlgCtrlID(control));
        GetWindowRect(control, &tool.rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&tool.rect), 2);
    }
    return tool;
}

void DialogState::AttachTextTips(CDialog& dialog) {
    for (std::size_t i = 0; i < dialog.m_items.size(); ++i) {
        const DialogItemTemplate& item = dialog.m_template->items[i];
        if (std::string_view(item.windowClass) != "static" || (item.style & SS_PATHELLIPSIS) == 0)
            continue;
        if (!dialog.m_state->tooltip) {
            dialog.m_state->tooltip = CreateWindowExA(
                WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog.m_hWnd, nullptr,
                GetModuleHandleA(nullptr), nullptr);
            // Long paths wrap instead of running off the screen.
            SendMessageA(dialog.m_state->tooltip, TTM_SETMAXTIPWIDTH, 0, 600);
        }
        const HWND control = dialog.m_items[i]->m_hWnd;
        TOOLINFOA tool = ToolOf(dialog.m_hWnd, control);
        tool.lpszText = const_cast<char*>("");
        SendMessageA(dialog.m_state->tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
        // The template's text, shortened like any other.
        const int length = GetWindowTextLengthA(control);
        std::vector<char> text(static_cast<std::size_t>(length) + 1);
        GetWindowTextA(control, text.data(), length + 1);
        dialog.m_state->wholeTexts[control] = text.data();
    }
}

const CString* DialogState::WholeTextOf(HWND control) {
    CDialog* dialog = DialogOf(GetParent(control));
    if (!dialog || !dialog->m_state)
        return nullptr;
    const auto found = dialog->m_state->wholeTexts.find(control);
    return found == dialog->m_state->wholeTexts.end() ? nullptr : &found->second;
}

void DialogState::SetText(HWND control, const CString& text) {
    CDialog* dialog = DialogOf(GetParent(control));
    const auto whole = dialog && dialog->m_state ? dialog->m_state->wholeTexts.find(control)
                                                 : std::map<HWND, CString>::iterator();
    if (IsMultiLineEdit(control)) {
        CString lines;
        lines.reserve(text.size() + text.size() / 16);
        for (const char c : text) {
            if (c == '\n')
                lines.push_back('\r');
            lines.push_back(c);
        }
        SetWindowTextA(control, lines.c_str());
        return;
    }
    if (!dialog || !dialog->m_state || whole == dialog->m_state->wholeTexts.end()) {
        SetWindowTextA(control, text.c_str());
        return;
    }
    whole->second = text;
    RECT client{};
    GetClientRect(control, &client);
    HDC dc = GetDC(control);
    HGDIOBJ oldFont =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
    const CString shown = ShortenKeepingEnd(text, client.right, [dc](std::string_view part) {
        SIZE extent{};
        GetTextExtentPoint32A(dc, part.data(), static_cast<int>(part.size()), &extent);
        return static_cast<int>(extent.cx);
    });
    SelectObject(dc, oldFont);
    ReleaseDC(control, dc);
    SetWindowTextA(control, shown.c_str());

    TOOLINFOA tool = ToolOf(dialog->m_hWnd, control);
    tool.lpszText = const_cast<char*>(shown == text ? "" : text.c_str());
    SendMessageA(dialog->m_state->tooltip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
}

namespace {

// Where MFC puts a dialog that has no place of its own: centred over its owner, or on the
// work area of its monitor.
void Centre(HWND hwnd) {
    RECT window{};
    GetWindowRect(hwnd, &window);
    RECT area{};
    HWND owner = GetWindow(hwnd, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner)) {
        GetWindowRect(owner, &area);
    } else {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof(monitor);
        GetMonitorInfoA(MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
        area = monitor.rcWork;
    }
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    const int x = area.left + ((area.right - area.left) - width) / 2;
    const int y = area.top + ((area.bottom - area.top) - height) / 2;
    SetWindowPos(hwnd, nullptr, std::max<int>(x, area.left), std::max<int>(y, area.top), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

INT_PTR CALLBACK DialogState::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        CDialog& dialog = *reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        Attach(dialog, hwnd);
        AttachMenuBar(dialog);
        AttachTextTips(dialog);
        // Enter stands for OK: Enter in an edit does nothing while OK is disabled, and on a
        // push button with the focus it presses that button.
        SendMessageA(hwnd, DM_SETDEFID, IDOK, 0);
        LRESULT result = 0;
        dialog.Dispatch(WM_INITDIALOG, wParam, lParam, result);
        Centre(hwnd);
        return static_cast<INT_PTR>(result);
    }
    CDialog* dialog = DialogOf(hwnd);
    if (!dialog)
        return FALSE;
    LRESULT result = 0;
    BOOL handled = dialog->Dispatch(message, wParam, lParam, result);
    if (!handled && message == WM_NOTIFY)
        handled = AnswerListNotification(*reinterpret_cast<NMHDR*>(lParam), result);
    if (!handled)
        return FALSE;
    switch (message) {
    case WM_QUERYDRAGICON:
        // Returned as it is, not through DWLP_MSGRESULT.
        return static_cast<INT_PTR>(result);
    default:
        SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
}

// ---------------------------------------------------------------------------------------------
// CDialog: the backend's part

void DialogStateDeleter::operator()(DialogState* state) const {
    delete state;
}

CDialog::~CDialog() {
    DestroyWindow();
}

BOOL CDialog::CreateFromTemplate() {
    if (m_hWnd)
        return TRUE;
    if (!m_template)
        return FALSE;
    EnsureCommonControls();
    const std::vector<WORD> words = BuildDialogTemplateEx(*m_template);
    // Without a parent, the main window owns the dialog, so it is disabled while the dialog is
    // modal, as MFC does it.
    HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (!owner)
        if (CWnd* main = AfxGetMainWnd(); main && main != this)
            owner = main->m_hWnd;
    m_state.reset(new DialogState);
    const HWND hwnd = CreateDialogIndirectParamA(
        GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(words.data()), owner,
        DialogState::Procedure, reinterpret_cast<LPARAM>(this));
    if (!hwnd) {
        m_items.clear();
        m_menuBar.reset();
        m_state.reset();
        m_hWnd = nullptr;
        return FALSE;
    }
    return TRUE;
}

void CDialog::DestroyWindow() {
    if (!m_hWnd)
        return;
    const HWND hwnd = m_hWnd;
    // Nothing of the window reaches this object any more, which may be half destroyed.
    SetWindowLongPtrA(hwnd, DWLP_USER, 0);
    for (const std::unique_ptr<CWnd>& item : m_items)
        ForgetListItems(item->m_hWnd);
    ::DestroyWindow(hwnd); // the menu bar and the tooltips go with it
    m_items.clear();
    m_systemMenu.reset();
    m_menuBar.reset();
    m_state.reset();
    m_hWnd = nullptr;
}

void CDialog::EndDialog(int nResult) {
    m_nModalResult = nResult;
    m_bContinueModal = FALSE;
    if (!m_hWnd)
        return;
    // Enable the owner before this window hides, so the focus goes back to it.
    if (HWND owner = GetWindow(m_hWnd, GW_OWNER))
        EnableWindow(owner, TRUE);
    ShowWindow(m_hWnd, SW_HIDE);
    PostMessageA(m_hWnd, WM_NULL, 0, 0); // wakes the modal loop
}

CMenu* CDialog::GetSystemMenu(BOOL bRevert) {
    if (!m_hWnd)
        return nullptr;
    HMENU menu = ::GetSystemMenu(m_hWnd, bRevert);
    if (!menu)
        return nullptr;
    if (!m_systemMenu || m_systemMenu->m_hMenu != menu)
        m_systemMenu = std::make_unique<CMenu>(menu);
    return m_systemMenu.get();
}

void CDialog::MapDialogRect(CRect* lpRect) const {
    RECT rect{lpRect->left, lpRect->top, lpRect->right, lpRect->bottom};
    ::MapDialogRect(m_hWnd, &rect);
    *lpRect = CRect(rect.left, rect.top, rect.right, rect.bottom);
}

CWnd* CDialog::GetNextDlgTabItem(CWnd* pWndCtl, BOOL bPrevious) const {
    return FromHandle(::GetNextDlgTabItem(m_hWnd, pWndCtl ? pWndCtl->m_hWnd : nullptr, bPrevious));
}

// ---------------------------------------------------------------------------------------------
// Painting and icons

struct PaintState {
    HWND hwnd = nullptr;
    PAINTSTRUCT paint{};
};

void PaintStateDeleter::operator()(PaintState* state) const {
    if (state->hwnd)
        EndPaint(state->hwnd, &state->paint);
    delete state;
}

CPaintDC::CPaintDC(CWnd* pWnd) : m_state(new PaintState) {
    m_state->hwnd = pWnd->m_hWnd;
    m_hDC = BeginPaint(m_state->hwnd, &m_state->paint);
}

CPaintDC::~CPaintDC() = default;

BOOL CPaintDC::DrawIcon(int x, int y, HICON hIcon) {
    return ::DrawIcon(m_hDC, x, y, hIcon);
}

HICON AfxLoadIcon(UINT nID) {
    // Shared: the system keeps it for the life of the program.
    return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(nID),
                                         IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
}
