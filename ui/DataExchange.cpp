#include "DataExchange.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value) {
    QWidget* control = pDX->m_pDlgWnd->GetDlgItem(nIDC);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        if (pDX->m_bSaveAndValidate)
            value = FromQString(edit->text());
        else
            edit->setText(ToQString(value));
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        if (pDX->m_bSaveAndValidate)
            value = FromQString(label->text());
        else
            label->setText(ToQString(value));
    }
}

void DDX_Check(CDataExchange* pDX, int nIDC, int& value) {
    auto* button = qobject_cast<QAbstractButton*>(pDX->m_pDlgWnd->GetDlgItem(nIDC));
    if (!button || !button->isCheckable())
        return;
    if (pDX->m_bSaveAndValidate)
        value = button->isChecked() ? 1 : 0;
    else
        button->setChecked(value == 1);
}
