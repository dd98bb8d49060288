#include "Menu.h"

#include "Shell.h"
#include "Wnd.h"

BOOL CMenu::TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd) {
    if (!m_hMenu)
        return FALSE;
    // The Shell shows the menu and says what was chosen; the command goes to the owner once the
    // menu has closed, as Windows posts it.
    const UINT chosen = AfxGetShell().TrackPopupMenu(*this, nFlags, CPoint(x, y), pWnd);
    if (chosen != 0 && pWnd)
        pWnd->SendMessage(WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
    return TRUE;
}
