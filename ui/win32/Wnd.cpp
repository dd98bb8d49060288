// The Win32 backend's windows: a handle is the window, and each operation is the Windows call.
#include "Backend.h"

#include "Button.h"
#include "Wnd.h"

#include <vector>

void CWnd::GetWindowText(CString& rString) const {
    if (const CString* whole = DialogState::WholeTextOf(m_hWnd)) {
        rString = *whole;
        return;
    }
    const int length = GetWindowTextLengthA(m_hWnd);
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    const int got = GetWindowTextA(m_hWnd, text.data(), length + 1);
    rString.assign(text.data(), static_cast<std::size_t>(got > 0 ? got : 0));
}

void CWnd::SetWindowText(const CString& text) {
    DialogState::SetText(m_hWnd, text);
}

BOOL CWnd::IsWindowVisible() const {
    return m_hWnd && ::IsWindowVisible(m_hWnd);
}

BOOL CWnd::IsWindowEnabled() const {
    return m_hWnd && ::IsWindowEnabled(m_hWnd);
}

int CWnd::GetDlgCtrlID() const {
    return ::GetDlgCtrlID(m_hWnd);
}

void CWnd::GetClientRect(CRect* lpRect) const {
    RECT rect{};
    ::GetClientRect(m_hWnd, &rect);
    *lpRect = CRect(rect.left, rect.top, rect.right, rect.bottom);
}

void CWnd::GetWindowRect(CRect* lpRect) const {
    RECT rect{};
    ::GetWindowRect(m_hWnd, &rect);
    *lpRect = CRect(rect.left, rect.top, rect.right, rect.bottom);
}

void CWnd::ScreenToClient(CRect* lpRect) const {
    POINT corners[2] = {{lpRect->left, lpRect->top}, {lpRect->right, lpRect->bottom}};
    MapWindowPoints(nullptr, m_hWnd, corners, 2);
    *lpRect = CRect(corners[0].x, corners[0].y, corners[1].x, corners[1].y);
}

BOOL CWnd::IsIconic() const {
    return ::IsIconic(m_hWnd);
}

void CWnd::UpdateWindow() {
    ::UpdateWindow(m_hWnd);
}

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
    return reinterpret_cast<HICON>(SendMessageA(
        m_hWnd, WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
}

HICON CWnd::GetIcon(BOOL bBigIcon) const {
    return reinterpret_cast<HICON>(
        SendMessageA(m_hWnd, WM_GETICON, bBigIcon ? ICON_BIG : ICON_SMALL, 0));
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(m_hWnd, message, wParam, lParam);
}

HCURSOR CWnd::LoadCursor(std::nullptr_t, int nIdCursor) {
    return LoadCursorA(nullptr, MAKEINTRESOURCEA(nIdCursor));
}

HCURSOR CWnd::SetCursor(HCURSOR hCursor) {
    return ::SetCursor(hCursor);
}

HCURSOR CWnd::GetCursor() {
    return ::GetCursor();
}

int CWnd::GetSystemMetrics(int nIndex) {
    return ::GetSystemMetrics(nIndex);
}

int CButton::GetCheck() const {
    return static_cast<int>(SendMessageA(m_hWnd, BM_GETCHECK, 0, 0));
}

void CButton::SetCheck(int nCheck) {
    SendMessageA(m_hWnd, BM_SETCHECK, static_cast<WPARAM>(nCheck), 0);
}
