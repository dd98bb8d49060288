#pragma once
// The report list of the file list as the dialogs know it: the list-view operations they use.
// Items are kept sorted ascending by their text, as LVS_SORTASCENDING keeps them.

#include "CString.h"
#include "WinDefs.h"
#include "Wnd.h"

class CListCtrl : public CWnd {
public:
    int InsertColumn(int nCol, const CString& heading, int nFormat, int nWidth);
    int GetColumnCount() const;
    CString GetColumnHeading(int nCol) const;
    int GetColumnWidth(int nCol) const;
    // Sets the extended style; returns the one before. Hot-track selection (LVS_EX_TRACKSELECT)
    // is never switched on: a list whose selection follows the resting mouse pointer would pick
    // files for Replace that the user never clicked.
    DWORD SetExtendedStyle(DWORD dwNewStyle);
    // The extended style the list really has.
    DWORD GetExtendedStyle() const;

    int GetItemCount() const;
    UINT GetSelectedCount() const;
    // The first item after nItem (from the start for -1) that has the flags; -1 when none.
    int GetNextItem(int nItem, int nFlags) const;
    // Inserts by text; the sort decides the place. Returns the index.
    int InsertItem(int nItem, const CString& text);
    BOOL DeleteItem(int nItem);
    BOOL DeleteAllItems();
    CString GetItemText(int nItem, int nSubItem) const;
    BOOL SetItemText(int nItem, int nSubItem, const CString& text);
    // Selects (LVIS_SELECTED in nState) or clears an item, or every item for -1.
    BOOL SetItemState(int nItem, UINT nState, UINT nMask);
    BOOL EnsureVisible(int nItem, BOOL bPartialOK);
    int GetTopIndex() const;
    int GetCountPerPage() const;

    // Why the item's file failed, shown as the item's tooltip with its Status marked; empty for
    // none.
    BOOL SetItemToolTip(int nItem, const CString& tip);
    CString GetItemToolTip(int nItem) const;
};
