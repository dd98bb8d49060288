// The test driver on the Win32 backend: the messages that input sends the real controls, and
// what the controls themselves answer.
#include <win32/Win32.h>

#include "TestDriver.h"

#include <Shell.h>

#include <vector>

namespace driver {

namespace {

CString ClassOf(HWND hwnd) {
    char name[64] = {};
    GetClassNameA(hwnd, name, sizeof(name));
    return name;
}

LONG StyleOf(HWND hwnd) {
    return GetWindowLongA(hwnd, GWL_STYLE);
}

// A left click at a point of a window's client area, delivered through the message queue as
// the mouse delivers it.
void PostClick(HWND hwnd, POINT at, WPARAM keys) {
    const LPARAM where = MAKELPARAM(at.x, at.y);
    PostMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON | keys, where);
    PostMessageA(hwnd, WM_LBUTTONUP, keys, where);
    ProcessMessages();
}

void PostKey(CDialog& dialog, WPARAM key) {
    // Under Wine the focus follows a new dialog only once X has answered; until then it may still
    // be on the (disabled) owner, where the key would be lost. The dialog itself takes it then.
    HWND target = GetFocus();
    if (target != dialog.m_hWnd && !IsChild(dialog.m_hWnd, target))
        target = dialog.m_hWnd;
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

} // namespace

void Click(CWnd* control) {
    if (ClassOf(control->m_hWnd) == "Button") {
        SendMessageA(control->m_hWnd, BM_CLICK, 0, 0);
        return;
    }
    RECT client{};
    GetClientRect(control->m_hWnd, &client);
    PostClick(control->m_hWnd, {client.right / 2, client.bottom / 2}, 0);
}

void ClickListRow(CListCtrl& list, int row, bool withControl) {
    RECT rect{};
    POINT at{};
    if (row < 0) {
        GetClientRect(list.m_hWnd, &rect);
        at = {10, rect.bottom - 3};
    } else {
        rect.left = LVIR_LABEL;
        SendMessageA(list.m_hWnd, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
        at = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    }
    PostClick(list.m_hWnd, at, withControl ? MK_CONTROL : 0);
}

void RequestContextMenu(CWnd* control) {
    RECT rect{};
    GetWindowRect(control->m_hWnd, &rect);
    SendMessageA(control->m_hWnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(control->m_hWnd),
                 MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2));
}

void ChooseMenuItem(CDialog& dialog, CMenu& popup, int position) {
    const UINT id = popup.GetMenuItemID(position);
    // The system menu's items arrive as system commands, the others as commands.
    if (popup.m_hMenu == GetSystemMenu(dialog.m_hWnd, FALSE))
        SendMessageA(dialog.m_hWnd, WM_SYSCOMMAND, id, 0);
    else
        SendMessageA(dialog.m_hWnd, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void PressEscape(CDialog& dialog) {
    PostKey(dialog, VK_ESCAPE);
}

void PressEnter(CDialog& dialog) {
    PostKey(dialog, VK_RETURN);
}

void PressCloseBox(CDialog& dialog) {
    PostMessageA(dialog.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void MoveMouse(CDialog& dialog) {
    // What Windows sends when the mouse moves over the client area.
    SendMessageA(dialog.m_hWnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(dialog.m_hWnd),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

void ProcessMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

namespace {

std::function<void()>& Pending() {
    static std::function<void()> pending;
    return pending;
}

void CALLBACK RunPending(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    const std::function<void()> action = std::move(Pending());
    Pending() = nullptr;
    if (action)
        action();
}

} // namespace

void Later(std::function<void()> action) {
    Pending() = std::move(action);
    SetTimer(nullptr, 0, 0, RunPending);
}

int RunRealModalLoop(CDialog& dialog) {
    return AfxGetPlatformShell().RunModalLoop(dialog);
}

Kind KindOf(CWnd* control) {
    const CString name = ClassOf(control->m_hWnd);
    const LONG style = StyleOf(control->m_hWnd);
    if (name == "Button") {
        switch (style & BS_TYPEMASK) {
        case BS_AUTOCHECKBOX:
            return Kind::CheckBox;
        case BS_GROUPBOX:
            return Kind::GroupBox;
        default:
            return Kind::PushButton;
        }
    }
    if (name == "Edit")
        return Kind::Edit;
    if (name == "Static")
        return (style & SS_TYPEMASK) == SS_ICON ? Kind::Icon : Kind::Static;
    if (name == WC_LISTVIEWA)
        return Kind::List;
    return Kind::Other;
}

bool IsRightAligned(CWnd* control) {
    return ClassOf(control->m_hWnd) == "Static" &&
           (StyleOf(control->m_hWnd) & SS_TYPEMASK) == SS_RIGHT;
}

CWnd* ControlAt(CDialog& dialog, CPoint clientPoint) {
    // The dialog's own hit test, which passes over group boxes as a click does; another test's
    // window lying over this one does not count.
    return dialog.FromHandle(
        RealChildWindowFromPoint(dialog.m_hWnd, {clientPoint.x, clientPoint.y}));
}

namespace {

struct TipSearch {
    HWND owner;
    HWND control;
    CString text;
};

BOOL CALLBACK FindTip(HWND hwnd, LPARAM lParam) {
    auto& search = *reinterpret_cast<TipSearch*>(lParam);
    if (ClassOf(hwnd) != TOOLTIPS_CLASSA || GetWindow(hwnd, GW_OWNER) != search.owner)
        return TRUE;
    // The tool is the control's window, or its id on the dialog.
    for (const UINT_PTR id : {reinterpret_cast<UINT_PTR>(search.control),
                              static_cast<UINT_PTR>(GetDlgCtrlID(search.control))}) {
        wchar_t text[1024] = {};
        TOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.hwnd = search.owner;
        tool.uId = id;
        if (!SendMessageW(hwnd, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)))
            continue;
        tool.lpszText = text;
        SendMessageW(hwnd, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&tool));
        char narrow[2048] = {};
        WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof(narrow), nullptr, nullptr);
        search.text = narrow;
        return FALSE;
    }
    return TRUE;
}

} // namespace

CString ToolTipOf(CDialog& dialog, CWnd* control) {
    TipSearch search{dialog.m_hWnd, control->m_hWnd, {}};
    EnumThreadWindows(GetCurrentThreadId(), FindTip, reinterpret_cast<LPARAM>(&search));
    return search.text;
}

CString ShownTextOf(CWnd* control) {
    // The text the static itself holds and draws.
    char text[2048] = {};
    GetWindowTextA(control->m_hWnd, text, sizeof(text));
    return text;
}

namespace {

class Win32PaintCounter : public PaintCounter {
public:
    explicit Win32PaintCounter(HWND hwnd) : m_hwnd(hwnd) {
        SetWindowSubclass(hwnd, Count, 1, reinterpret_cast<DWORD_PTR>(this));
    }
    ~Win32PaintCounter() override { RemoveWindowSubclass(m_hwnd, Count, 1); }

private:
    static LRESULT CALLBACK Count(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                  DWORD_PTR data) {
        if (message == WM_PAINT) {
            auto* counter = reinterpret_cast<Win32PaintCounter*>(data);
            RECT update{};
            GetUpdateRect(hwnd, &update, FALSE);
            ++counter->paints;
            counter->heights.push_back(update.bottom - update.top);
        }
        return DefSubclassProc(hwnd, message, wParam, lParam);
    }
    HWND m_hwnd;
};

} // namespace

std::unique_ptr<PaintCounter> CountPaints(CWnd* control) {
    return std::make_unique<Win32PaintCounter>(control->m_hWnd);
}

int RowHeight(CListCtrl& list) {
    RECT rect{};
    rect.left = LVIR_BOUNDS;
    SendMessageA(list.m_hWnd, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&rect));
    return rect.bottom - rect.top;
}

} // namespace driver
