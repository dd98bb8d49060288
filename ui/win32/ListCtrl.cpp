// The Win32 backend's report list: the real SysListView32, through its messages.
#include "Backend.h"

#include "ListCtrl.h"

#include <map>
#include <vector>

namespace {

// Why an item's file failed, by list and by the key that the item carries as its data: the
// key follows the item wherever the sort puts it.
struct ListItems {
    LPARAM nextKey = 0;
    std::map<LPARAM, CString> tips;
};

std::map<HWND, ListItems>& Lists() {
    static std::map<HWND, ListItems> lists;
    return lists;
}

LPARAM KeyOf(HWND list, int item) {
    LVITEMA lvi{};
    lvi.mask = LVIF_PARAM;
    lvi.iItem = item;
    return SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&lvi)) ? lvi.lParam : 0;
}

const CString* TipOf(HWND list, LPARAM key) {
    const auto found = Lists().find(list);
    if (found == Lists().end())
        return nullptr;
    const auto tip = found->second.tips.find(key);
    return tip == found->second.tips.end() ? nullptr : &tip->second;
}

// The list's pixels for a width given at 96 dots per inch: the window is DPI aware, so its
// controls grow with the monitor's scale and the columns must grow with them.
int ScaledWidth(HWND list, int width) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    UINT dpi = getDpiForWindow ? getDpiForWindow(list) : 0;
    if (dpi == 0) {
        HDC screen = GetDC(nullptr);
        dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX));
        ReleaseDC(nullptr, screen);
    }
    return width < 0 || dpi == 0 ? width : MulDiv(width, static_cast<int>(dpi), 96);
}

} // namespace

void ForgetListItems(HWND list) {
    Lists().erase(list);
}

bool AnswerListNotification(const NMHDR& header, LRESULT& result) {
    char className[32] = {};
    GetClassNameA(header.hwndFrom, className, sizeof(className));
    if (lstrcmpiA(className, WC_LISTVIEWA) != 0)
        return false;
    if (header.code == LVN_GETINFOTIPA) {
        auto& info = *reinterpret_cast<NMLVGETINFOTIPA*>(const_cast<NMHDR*>(&header));
        const CString* tip = TipOf(header.hwndFrom, KeyOf(header.hwndFrom, info.iItem));
        if (!tip || info.cchTextMax <= 0)
            return false;
        // A shortened path comes unfolded in the text already; the reason goes below it.
        CString text = (info.dwFlags & LVGIT_UNFOLDED) == 0 && info.pszText[0]
                           ? CString(info.pszText) + "\r\n" + *tip
                           : *tip;
        lstrcpynA(info.pszText, text.c_str(), info.cchTextMax);
        result = 0;
        return true;
    }
    if (header.code == NM_CUSTOMDRAW) {
        auto& draw = *reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(&header));
        switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            result = CDRF_NOTIFYITEMDRAW;
            return true;
        case CDDS_ITEMPREPAINT:
            result = CDRF_NOTIFYSUBITEMDRAW;
            return true;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            // An item with a failure to explain shows its Status in red, so it stands out in a
            // long list before anyone hovers over it.
            const bool failed =
                draw.iSubItem == 1 && TipOf(header.hwndFrom, draw.nmcd.lItemlParam) != nullptr;
            draw.clrText = failed ? RGB(0xC0, 0, 0) : CLR_DEFAULT;
            result = CDRF_NEWFONT;
            return true;
        }
        default:
            return false;
        }
    }
    return false;
}

int CListCtrl::InsertColumn(int nCol, const CString& heading, int nFormat, int nWidth) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
    column.fmt = nFormat;
    column.cx = ScaledWidth(m_hWnd, nWidth);
    column.pszText = const_cast<char*>(heading.c_str());
    return static_cast<int>(
        SendMessageA(m_hWnd, LVM_INSERTCOLUMNA, nCol, reinterpret_cast<LPARAM>(&column)));
}

int CListCtrl::GetColumnCount() const {
    HWND header = reinterpret_cast<HWND>(SendMessageA(m_hWnd, LVM_GETHEADER, 0, 0));
    return header ? static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

CString CListCtrl::GetColumnHeading(int nCol) const {
    char text[256] = {};
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT;
    column.pszText = text;
    column.cchTextMax = sizeof(text);
    SendMessageA(m_hWnd, LVM_GETCOLUMNA, nCol, reinterpret_cast<LPARAM>(&column));
    return text;
}

int CListCtrl::GetColumnWidth(int nCol) const {
    return static_cast<int>(SendMessageA(m_hWnd, LVM_GETCOLUMNWIDTH, nCol, 0));
}

DWORD CListCtrl::SetExtendedStyle(DWORD dwNewStyle) {
    // The tooltip of a failed item needs LVS_EX_INFOTIP.
    const DWORD style = (dwNewStyle & ~static_cast<DWORD>(LVS_EX_TRACKSELECT)) | LVS_EX_INFOTIP;
    return static_cast<DWORD>(SendMessageA(m_hWnd, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style));
}

DWORD CListCtrl::GetExtendedStyle() const {
    return static_cast<DWORD>(SendMessageA(m_hWnd, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
}

int CListCtrl::GetItemCount() const {
    return static_cast<int>(SendMessageA(m_hWnd, LVM_GETITEMCOUNT, 0, 0));
}

UINT CListCtrl::GetSelectedCount() const {
    return static_cast<UINT>(SendMessageA(m_hWnd, LVM_GETSELECTEDCOUNT, 0, 0));
}

int CListCtrl::GetNextItem(int nItem, int nFlags) const {
    return static_cast<int>(
        SendMessageA(m_hWnd, LVM_GETNEXTITEM, static_cast<WPARAM>(nItem), MAKELPARAM(nFlags, 0)));
}

int CListCtrl::InsertItem(int nItem, const CString& text) {
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = nItem;
    item.pszText = const_cast<char*>(text.c_str());
    item.lParam = ++Lists()[m_hWnd].nextKey;
    return static_cast<int>(
        SendMessageA(m_hWnd, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

BOOL CListCtrl::DeleteItem(int nItem) {
    const LPARAM key = KeyOf(m_hWnd, nItem);
    const BOOL deleted = static_cast<BOOL>(SendMessageA(m_hWnd, LVM_DELETEITEM, nItem, 0));
    if (deleted)
        Lists()[m_hWnd].tips.erase(key);
    return deleted;
}

BOOL CListCtrl::DeleteAllItems() {
    Lists()[m_hWnd].tips.clear();
    return static_cast<BOOL>(SendMessageA(m_hWnd, LVM_DELETEALLITEMS, 0, 0));
}

CString CListCtrl::GetItemText(int nItem, int nSubItem) const {
    // The list copies at most the buffer less one: grow it until the text fits.
    std::vector<char> text(512);
    for (;;) {
        LVITEMA item{};
        item.iSubItem = nSubItem;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        const auto length = static_cast<std::size_t>(
            SendMessageA(m_hWnd, LVM_GETITEMTEXTA, nItem, reinterpret_cast<LPARAM>(&item)));
        if (length + 1 < text.size())
            return CString(text.data(), length);
        text.resize(text.size() * 2);
    }
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, const CString& text) {
    LVITEMA item{};
    item.iSubItem = nSubItem;
    item.pszText = const_cast<char*>(text.c_str());
    return static_cast<BOOL>(
        SendMessageA(m_hWnd, LVM_SETITEMTEXTA, nItem, reinterpret_cast<LPARAM>(&item)));
}

BOOL CListCtrl::SetItemState(int nItem, UINT nState, UINT nMask) {
    LVITEMA item{};
    item.state = nState;
    item.stateMask = nMask;
    return static_cast<BOOL>(SendMessageA(m_hWnd, LVM_SETITEMSTATE, static_cast<WPARAM>(nItem),
                                          reinterpret_cast<LPARAM>(&item)));
}

BOOL CListCtrl::EnsureVisible(int nItem, BOOL bPartialOK) {
    return static_cast<BOOL>(SendMessageA(m_hWnd, LVM_ENSUREVISIBLE, nItem, bPartialOK));
}

int CListCtrl::GetTopIndex() const {
    return static_cast<int>(SendMessageA(m_hWnd, LVM_GETTOPINDEX, 0, 0));
}

int CListCtrl::GetCountPerPage() const {
    return static_cast<int>(SendMessageA(m_hWnd, LVM_GETCOUNTPERPAGE, 0, 0));
}

BOOL CListCtrl::SetItemToolTip(int nItem, const CString& tip) {
    if (nItem < 0 || nItem >= GetItemCount())
        return FALSE;
    const LPARAM key = KeyOf(m_hWnd, nItem);
    ListItems& items = Lists()[m_hWnd];
    const bool had = items.tips.count(key) != 0;
    if (tip.empty())
        items.tips.erase(key);
    else
        items.tips[key] = tip;
    // The Status colour follows the reason.
    if (had != !tip.empty())
        SendMessageA(m_hWnd, LVM_REDRAWITEMS, nItem, nItem);
    return TRUE;
}

CString CListCtrl::GetItemToolTip(int nItem) const {
    const CString* tip = TipOf(m_hWnd, KeyOf(m_hWnd, nItem));
    return tip ? *tip : CString();
}
