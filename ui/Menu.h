#pragma once
// A menu as the dialogs know it: the menu bar a dialog builds from its template, its pop-ups,
// and the system menu. A chosen item arrives at the owning dialog as a command (the system
// menu's as a system command).

#include "CString.h"
#include "WinDefs.h"

#include <memory>
#include <vector>

class CWnd;

class CMenu {
public:
    CMenu() = default;
    explicit CMenu(HMENU hMenu) : m_hMenu(hMenu) {}
    ~CMenu() = default;
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    HMENU m_hMenu = nullptr;

    // MF_SEPARATOR, or MF_STRING with an id and a text.
    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, const char* lpszNewItem = nullptr);
    // The pop-up at a position; the menu keeps the wrapper.
    CMenu* GetSubMenu(int nPos) const;
    int GetMenuItemCount() const;
    // The command id at a position; 0 for a separator, -1 (as UINT) for a pop-up.
    UINT GetMenuItemID(int nPos) const;
    // MF_SEPARATOR, MF_POPUP and the other flags of an item (MF_BYPOSITION or MF_BYCOMMAND).
    UINT GetMenuState(UINT nID, UINT nFlags) const;
    int GetMenuString(UINT nIDItem, CString& rString, UINT nFlags) const;
    // Shows the pop-up at a screen point through the Shell; the chosen item's command then goes
    // to pWnd.
    BOOL TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd);

private:
    mutable std::vector<std::unique_ptr<CMenu>> m_popups;
};
