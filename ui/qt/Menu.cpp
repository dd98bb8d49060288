#include "Menu.h"

#include "Shell.h"
#include "WinSystemMenu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

CMenu::CMenu(QMenu* menu, Chooser onChoose) : m_menu(menu), m_onChoose(std::move(onChoose)) {}

CMenu::CMenu(QMenuBar* bar, const MenuTemplate& menuTemplate, Chooser onChoose)
    : m_bar(bar), m_onChoose(std::move(onChoose)) {
    for (const PopupTemplate& popup : menuTemplate.popups) {
        QMenu* menu = bar->addMenu(QString::fromLatin1(popup.title));
        auto sub = std::make_unique<CMenu>(menu, m_onChoose);
        for (const MenuItemTemplate& item : popup.items) {
            if (item.text)
                sub->AppendMenu(MF_STRING, item.id, item.text);
            else
                sub->AppendMenu(MF_SEPARATOR);
        }
        m_popups.push_back(std::move(sub));
    }
}

CMenu::CMenu(void* nativeMenu) : m_native(nativeMenu) {}

CMenu::~CMenu() = default;

BOOL CMenu::AppendMenu(UINT nFlags, UINT nIDNewItem, const char* lpszNewItem) {
    if (m_native)
        return WinAppendMenu(m_native, nFlags, nIDNewItem, lpszNewItem) ? TRUE : FALSE;
    if (!m_menu)
        return FALSE;
    // A menu that stands in for a missing system menu shows once it has something to offer.
    m_menu->menuAction()->setVisible(true);
    if (nFlags & MF_SEPARATOR) {
        m_menu->addSeparator();
        return TRUE;
    }
    QAction* action = m_menu->addAction(QString::fromLocal8Bit(lpszNewItem ? lpszNewItem : ""));
    const UINT id = nIDNewItem;
    QObject::connect(action, &QAction::triggered, m_menu, [chooser = m_onChoose, id] {
        if (chooser)
            chooser(id);
    });
    return TRUE;
}

CMenu* CMenu::GetSubMenu(int nPos) const {
    if (nPos < 0 || static_cast<std::size_t>(nPos) >= m_popups.size())
        return nullptr;
    return m_popups[static_cast<std::size_t>(nPos)].get();
}

BOOL CMenu::TrackPopupMenu(UINT /*nFlags*/, int x, int y, QWidget* pWnd) {
    if (!m_menu)
        return FALSE;
    // Left-aligned at the point, chosen with the left button: Qt's pop-up already works so.
    AfxGetShell().TrackPopupMenu(*m_menu, QPoint(x, y), pWnd);
    return TRUE;
}
