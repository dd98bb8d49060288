#pragma once
// A check box as the dialog knows it: its state is read from the widget each time it is asked.

#include "WinDefs.h"

#include <QAbstractButton>

class CButton {
public:
    bool IsAttached() const { return m_button != nullptr; }
    void Attach(QWidget* control) { m_button = qobject_cast<QAbstractButton*>(control); }
    QAbstractButton* Widget() const { return m_button; }

    int GetCheck() const {
        return m_button && m_button->isCheckable() && m_button->isChecked() ? BST_CHECKED
                                                                            : BST_UNCHECKED;
    }
    void SetCheck(int nCheck) {
        if (m_button && m_button->isCheckable())
            m_button->setChecked(nCheck == BST_CHECKED);
    }

private:
    QAbstractButton* m_button = nullptr;
};
