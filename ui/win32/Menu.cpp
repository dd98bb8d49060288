// The Win32 backend's menus: the Windows menus themselves.
#include "Win32.h"

#include "Menu.h"

#include <vector>

BOOL CMenu::AppendMenu(UINT nFlags, UINT_PTR nIDNewItem, const char* lpszNewItem) {
    return AppendMenuA(m_hMenu, nFlags, nIDNewItem, lpszNewItem);
}

CMenu* CMenu::GetSubMenu(int nPos) const {
    HMENU popup = ::GetSubMenu(m_hMenu, nPos);
    if (!popup)
        return nullptr;
    for (const std::unique_ptr<CMenu>& known : m_popups)
        if (known->m_hMenu == popup)
            return known.get();
    m_popups.push_back(std::make_unique<CMenu>(popup));
    return m_popups.back().get();
}

int CMenu::GetMenuItemCount() const {
    return ::GetMenuItemCount(m_hMenu);
}

UINT CMenu::GetMenuItemID(int nPos) const {
    return ::GetMenuItemID(m_hMenu, nPos);
}

UINT CMenu::GetMenuState(UINT nID, UINT nFlags) const {
    return ::GetMenuState(m_hMenu, nID, nFlags);
}

int CMenu::GetMenuString(UINT nIDItem, CString& rString, UINT nFlags) const {
    const int length = GetMenuStringA(m_hMenu, nIDItem, nullptr, 0, nFlags);
    std::vector<char> text(static_cast<std::size_t>(length > 0 ? length : 0) + 1);
    const int got = GetMenuStringA(m_hMenu, nIDItem, text.data(), length + 1, nFlags);
    rString.assign(text.data(), static_cast<std::size_t>(got > 0 ? got : 0));
    return got;
}
