#include "DataExchange.h"

#include "Button.h"

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value) {
    CWnd* control = pDX->m_pDlgWnd->GetDlgItem(nIDC);
    if (!control)
        return;
    if (pDX->m_bSaveAndValidate)
        control->GetWindowText(value);
    else
        control->SetWindowText(value);
}

void DDX_Check(CDataExchange* pDX, int nIDC, int& value) {
    CWnd* control = pDX->m_pDlgWnd->GetDlgItem(nIDC);
    if (!control)
        return;
    CButton button;
    button.m_hWnd = control->m_hWnd;
    if (pDX->m_bSaveAndValidate)
        value = button.GetCheck();
    else
        button.SetCheck(value);
}
