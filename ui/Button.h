#pragma once
// A check box as the dialogs know it: its state is read from the control each time it is asked.

#include "Wnd.h"

class CButton : public CWnd {
public:
    int GetCheck() const;
    void SetCheck(int nCheck);
};
