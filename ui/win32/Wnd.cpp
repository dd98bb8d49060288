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
    if (DialogState::IsMultiLineEdit(m_hWnd)) {
        // Back to the layer's LF line ends.
        std::size_t out = 0;
        for (std::size_t in = 0; in < rString.size(); ++in)
            if (!(rString[in] == '\r' && in + 1 < rString.size() && rString[in + 1] == '\n'))
                rString[out++] = rString[in];
        rString.resize(out);
    }
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

void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight) {
    if (!m_hWnd)
        return;
    if (DialogState::DialogOf(m_hWnd)) {
        // The client area gets the size; the frame, caption and menu bar come on top.
        RECT window{};
        RECT client{};
        ::GetWindowRect(m_hWnd, &window);
        ::GetClientRect(m_hWnd, &client);
        SetWindowPos(m_hWnd, nullptr, 0, 0, nWidth + (window.right - window.left) - client.right,
                     nHeight + (window.bottom - window.top) - client.bottom,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    ::MoveWindow(m_hWnd, x, y, nWidth, nHeight, TRUE);
}

void CWnd::SetFixedPitchFont() {
    CDialog* dialog = m_hWnd ? DialogState::DialogOf(GetParent(m_hWnd)) : nullptr;
    DialogState* state = dialog ? DialogState::Of(*dialog) : nullptr;
    if (!state)
        return;
    if (!state->fixedFont) {
        // The height of the dialog's font, in a face whose characters all have one width.
        LOGFONTA font{};
        GetObjectA(reinterpret_cast<HGDIOBJ>(SendMessageA(m_hWnd, WM_GETFONT, 0, 0)), sizeof(font),
                   &font);
        font.lfWidth = 0;
        font.lfWeight = FW_NORMAL;
        font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
        lstrcpynA(font.lfFaceName, "Consolas", LF_FACESIZE);
        state->fixedFont = CreateFontIndirectA(&font);
    }
    SendMessageA(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(state->fixedFont), TRUE);
}

BOOL CWnd::IsIconic() const {
    return ::IsIconic(m_hWnd);
}

void CWnd::UpdateWindow() {
    ::UpdateWindow(m_hWnd);
}

void CWnd::SetRedraw(BOOL bRedraw) {
    SendMessageA(m_hWnd, WM_SETREDRAW, bRedraw, 0);
    if (bRedraw)
        InvalidateRect(m_hWnd, nullptr, TRUE);
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
