#pragma once
// Dialog data exchange: members and controls, matched by control id, copied in one direction.

#include "CString.h"
#include "Dialog.h"

class CDataExchange {
public:
    CDataExchange(CDialog* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
    BOOL m_bSaveAndValidate; // TRUE: controls into members; FALSE: members into controls
    CDialog* m_pDlgWnd;
};

// The window text of an edit or a static.
void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
// The check state of a check box: 0 clear, 1 ticked.
void DDX_Check(CDataExchange* pDX, int nIDC, int& value);

// Attaches a control wrapper at the first exchange; does nothing afterwards.
template <class Control> void DDX_Control(CDataExchange* pDX, int nIDC, Control& control) {
    if (control.m_hWnd == nullptr)
        if (CWnd* item = pDX->m_pDlgWnd->GetDlgItem(nIDC))
            control.m_hWnd = item->m_hWnd;
}
