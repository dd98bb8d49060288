// The Qt backend's menus: a menu handle is a QMenuBar or a QMenu, an item a QAction carrying its
// command id. The dialog routes what is chosen (ui/qt/Dialog.cpp).
#include "Menu.h"

#include "Handles.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace {

QAction* ActionAt(HMENU hMenu, UINT nID, UINT nFlags) {
    QWidget* menu = MenuWidgetOf(hMenu);
    if (!menu)
        return nullptr;
    const QList<QAction*> actions = menu->actions();
    if (nFlags & MF_BYPOSITION)
        return nID < static_cast<UINT>(actions.size()) ? actions[static_cast<int>(nID)] : nullptr;
    for (QAction* action : actions)
        if (!action->isSeparator() && !action->menu<QMenu*>() && action->data().toUInt() == nID)
            return action;
    return nullptr;
}

} // namespace

BOOL CMenu::AppendMenu(UINT nFlags, UINT_PTR nIDNewItem, const char* lpszNewItem) {
    QWidget* menu = MenuWidgetOf(m_hMenu);
    if (!menu)
        return FALSE;
    // A menu that stands in for a missing system menu shows once it has something to offer.
    if (auto* popup = qobject_cast<QMenu*>(menu))
        popup->menuAction()->setVisible(true);
    auto* action = new QAction(menu);
    if (nFlags & MF_SEPARATOR) {
        action->setSeparator(true);
    } else {
        action->setText(ToQString(lpszNewItem ? lpszNewItem : ""));
        action->setData(static_cast<uint>(nIDNewItem));
    }
    menu->addAction(action);
    return TRUE;
}

CMenu* CMenu::GetSubMenu(int nPos) const {
    QAction* action = ActionAt(m_hMenu, static_cast<UINT>(nPos), MF_BYPOSITION);
    QMenu* popup = action ? action->menu<QMenu*>() : nullptr;
    if (!popup)
        return nullptr;
    for (const std::unique_ptr<CMenu>& known : m_popups)
        if (known->m_hMenu == MenuHandleOf(popup))
            return known.get();
    m_popups.push_back(std::make_unique<CMenu>(MenuHandleOf(popup)));
    return m_popups.back().get();
}

int CMenu::GetMenuItemCount() const {
    QWidget* menu = MenuWidgetOf(m_hMenu);
    return menu ? static_cast<int>(menu->actions().size()) : -1;
}

UINT CMenu::GetMenuItemID(int nPos) const {
    QAction* action = ActionAt(m_hMenu, static_cast<UINT>(nPos), MF_BYPOSITION);
    if (!action)
        return static_cast<UINT>(-1);
    if (action->menu<QMenu*>())
        return static_cast<UINT>(-1);
    return action->isSeparator() ? 0 : action->data().toUInt();
}

UINT CMenu::GetMenuState(UINT nID, UINT nFlags) const {
    QAction* action = ActionAt(m_hMenu, nID, nFlags);
    if (!action)
        return static_cast<UINT>(-1);
    if (action->isSeparator())
        return MF_SEPARATOR;
    return action->menu<QMenu*>() ? MF_POPUP : MF_STRING;
}

int CMenu::GetMenuString(UINT nIDItem, CString& rString, UINT nFlags) const {
    QAction* action = ActionAt(m_hMenu, nIDItem, nFlags);
    rString = action ? FromQString(action->text()) : CString();
    return static_cast<int>(rString.size());
}
