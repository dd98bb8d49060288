// What every backend's dialog shares: the message map, data exchange, the lookup of controls and
// the modal run through the Shell. Creating and driving the windows is the backends' part.
#include "Dialog.h"

#include "Button.h"
#include "DataExchange.h"
#include "Resource.h"
#include "Shell.h"
#include "WinApp.h"

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_template(FindDialogTemplate(static_cast<int>(nIDTemplate))), m_pParentWnd(pParentWnd) {}

int CDialog::DoModal() {
    m_bContinueModal = TRUE;
    m_nModalResult = -1;
    if (!CreateFromTemplate())
        return -1;
    const int result = AfxGetShell().RunModalLoop(*this);
    DestroyWindow();
    return result;
}

BOOL CDialog::Create() {
    m_bContinueModal = TRUE;
    m_nModalResult = -1;
    return CreateFromTemplate();
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

CWnd* CDialog::GetDlgItem(int nID) const {
    if (!m_template || nID == IDC_STATIC)
        return nullptr;
    for (std::size_t i = 0; i < m_items.size() && i < m_template->items.size(); ++i)
        if (m_template->items[i].id == nID)
            return m_items[i].get();
    return nullptr;
}

void CDialog::GetDlgItemText(int nID, CString& rString) const {
    rString.clear();
    if (const CWnd* item = GetDlgItem(nID))
        item->GetWindowText(rString);
}

void CDialog::SetDlgItemText(int nID, const CString& text) {
    if (CWnd* item = GetDlgItem(nID))
        item->SetWindowText(text);
}

UINT CDialog::IsDlgButtonChecked(int nIDButton) const {
    const CWnd* item = GetDlgItem(nIDButton);
    if (!item)
        return BST_UNCHECKED;
    CButton button;
    button.m_hWnd = item->m_hWnd;
    return static_cast<UINT>(button.GetCheck());
}

int CDialog::MessageBox(const CString& text, const char* caption, UINT nType) {
    return AfxGetShell().MessageBox(this, text, caption ? CString(caption) : AfxGetAppName(),
                                    nType);
}

CWnd* CDialog::FromHandle(HWND hWnd) const {
    if (hWnd == nullptr)
        return nullptr;
    if (hWnd == m_hWnd)
        return const_cast<CDialog*>(this);
    for (const std::unique_ptr<CWnd>& item : m_items)
        if (item->m_hWnd == hWnd)
            return item.get();
    return nullptr;
}

BOOL CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    const bool outerDefault = m_bDefault; // a handler may run a modal loop that dispatches more
    m_bDefault = false;
    BOOL handled = TRUE;
    result = 0;
    switch (message) {
    case WM_INITDIALOG:
        result = OnInitDialog();
        break;
    case WM_COMMAND:
        // Buttons, notifying statics and menu items all arrive with notification code 0;
        // every other notification (an edit's changes, say) is not in the map.
        handled = HIWORD(wParam) == 0 ? OnCommand(LOWORD(wParam)) : FALSE;
        break;
    case WM_NOTIFY:
        handled = OnNotify(reinterpret_cast<NMHDR*>(lParam), &result);
        break;
    case WM_SYSCOMMAND:
        OnSysCommand(static_cast<UINT>(wParam), lParam);
        break;
    case WM_PAINT:
        OnPaint();
        break;
    case WM_SIZE:
        OnSize(static_cast<UINT>(wParam), LOWORD(static_cast<std::uintptr_t>(lParam)),
               HIWORD(static_cast<std::uintptr_t>(lParam)));
        break;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(OnQueryDragIcon());
        handled = result != 0;
        break;
    case WM_CONTEXTMENU: {
        // Screen coordinates, signed: a window on a monitor left of the first one is negative.
        const CPoint point(static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lParam))),
                           static_cast<short>(HIWORD(static_cast<std::uintptr_t>(lParam))));
        OnContextMenu(FromHandle(reinterpret_cast<HWND>(wParam)), point);
        break;
    }
    default:
        handled = FALSE;
        break;
    }
    if (m_bDefault)
        handled = FALSE;
    m_bDefault = outerDefault;
    return handled;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange* /*pDX*/) {}

BOOL CDialog::OnCommand(UINT nID) {
    switch (nID) {
    case IDOK:
        OnOK();
        return TRUE;
    case IDCANCEL:
        OnCancel();
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL CDialog::OnNotify(NMHDR* /*pNMHDR*/, LRESULT* /*pResult*/) {
    return FALSE;
}

void CDialog::OnSysCommand(UINT /*nID*/, LPARAM /*lParam*/) {
    Default();
}

void CDialog::OnPaint() {
    Default();
}

HCURSOR CDialog::OnQueryDragIcon() {
    return nullptr;
}

void CDialog::OnContextMenu(CWnd* /*pWnd*/, CPoint /*point*/) {
    Default();
}

void CDialog::OnSize(UINT /*nType*/, int /*cx*/, int /*cy*/) {
    Default();
}

void CDialog::OnOK() {
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

CPoint CenteredIconOrigin(const CRect& client, int cx, int cy) {
    return {(client.Width() - cx + 1) / 2, (client.Height() - cy + 1) / 2};
}
