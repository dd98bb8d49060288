#pragma once
// Menus as the dialog knows them: the menu bar built from a menu template, its pop-ups, and the
// system menu. Choosing an item sends its command id to the handler given at creation.

#include "DialogTemplate.h"
#include "WinDefs.h"

#include <functional>
#include <memory>
#include <vector>

class QMenu;
class QMenuBar;
class QWidget;

class CMenu {
public:
    using Chooser = std::function<void(UINT)>;

    // A pop-up whose items send their ids to `onChoose`.
    CMenu(QMenu* menu, Chooser onChoose);
    // A menu bar filled from a template.
    CMenu(QMenuBar* bar, const MenuTemplate& menuTemplate, Chooser onChoose);
    // The Windows system menu of a native window.
    explicit CMenu(void* nativeMenu);
    ~CMenu();
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    // MF_SEPARATOR, or MF_STRING with an id and a text.
    BOOL AppendMenu(UINT nFlags, UINT nIDNewItem = 0, const char* lpszNewItem = nullptr);
    CMenu* GetSubMenu(int nPos) const;
    // Shows the pop-up at a screen point; the chosen item's command goes to the menu's handler.
    BOOL TrackPopupMenu(UINT nFlags, int x, int y, QWidget* pWnd);

    QMenu* Menu() const { return m_menu; }
    QMenuBar* Bar() const { return m_bar; }

private:
    QMenu* m_menu = nullptr;
    QMenuBar* m_bar = nullptr;
    void* m_native = nullptr;
    Chooser m_onChoose;
    std::vector<std::unique_ptr<CMenu>> m_popups;
};
