#pragma once
// A window as the dialogs know it: a handle and the few operations they use on it. Each backend
// implements them on its own windows; nothing here names a Qt or a Windows type.

#include "CString.h"
#include "WinDefs.h"

#include <cstddef>

struct CPoint {
    int x = 0;
    int y = 0;
    CPoint() = default;
    CPoint(int initX, int initY) : x(initX), y(initY) {}
    bool operator==(const CPoint&) const = default;
};

struct CRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    CRect() = default;
    CRect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    CPoint CenterPoint() const { return {(left + right) / 2, (top + bottom) / 2}; }
    bool operator==(const CRect&) const = default;
};

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The caption of a window, the text of a control (an edit, a static or a button).
    void GetWindowText(CString& rString) const;
    void SetWindowText(const CString& text);
    BOOL IsWindowVisible() const;
    BOOL IsWindowEnabled() const;
    int GetDlgCtrlID() const;
    void GetClientRect(CRect* lpRect) const;
    // In screen coordinates.
    void GetWindowRect(CRect* lpRect) const;
    // From screen coordinates to those of the client area.
    void ScreenToClient(CRect* lpRect) const;
    BOOL IsIconic() const;
    // Places a control in its dialog's client area; for a dialog, gives its client area that
    // size (x and y are then ignored).
    void MoveWindow(int x, int y, int nWidth, int nHeight);
    // Shows the text in the platform's fixed-pitch font, so columns line up.
    void SetFixedPitchFont();
    // Repaints at once what is waiting to be repainted, and nothing else.
    void UpdateWindow();
    // Off: changes are not drawn as they come. On again: the window is drawn anew, once.
    void SetRedraw(BOOL bRedraw = TRUE);
    HICON SetIcon(HICON hIcon, BOOL bBigIcon);
    HICON GetIcon(BOOL bBigIcon) const;
    // Sends a message and returns its result. Windows delivers any; the Qt backend delivers the
    // ones a dialog routes (WM_COMMAND, WM_NOTIFY, WM_SYSCOMMAND, WM_CONTEXTMENU, WM_CLOSE) and
    // WM_ICONERASEBKGND.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    // The standard cursor of an IDC_ id; a cursor set shows until the mouse next moves over one
    // of the program's windows, then the normal one returns. So a command that ends early leaves
    // no cursor stuck. GetCursor gives the cursor shown now.
    static HCURSOR LoadCursor(std::nullptr_t, int nIdCursor);
    static HCURSOR SetCursor(HCURSOR hCursor);
    static HCURSOR GetCursor();
    static int GetSystemMetrics(int nIndex);
};
