// The Qt backend's report list.
#include "ListCtrl.h"

#include "Handles.h"
#include "ListView.h"

#include <QBrush>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>

#include <algorithm>

namespace {

char FoldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// ListModel

int ListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return ToQString(row.texts[static_cast<std::size_t>(index.column())]);
    case Qt::ToolTipRole:
        return row.tip.empty() ? QVariant() : QVariant(ToQString(row.tip));
    case Qt::ForegroundRole:
        // An item with a failure to explain shows its Status in red, so it stands out in a
        // long list before anyone hovers over it.
        if (index.column() == 1 && !row.tip.empty())
            return QBrush(Qt::red);
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    if (role == Qt::DisplayRole)
        return m_columns[static_cast<std::size_t>(section)].heading;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags ListModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

int ListModel::InsertColumn(int column, const QString& heading, int format) {
    column = std::clamp(column, 0, columnCount());
    beginInsertColumns(QModelIndex(), column, column);
    // A row always holds at least its item text, so the first column finds it in place.
    if (!m_columns.empty())
        for (Row& row : m_rows)
            row.texts.insert(row.texts.begin() + column, CString());
    m_columns.insert(m_columns.begin() + column, Column{heading, format});
    endInsertColumns();
    return column;
}

bool ListModel::SortsBefore(const CString& a, const CString& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char fa = FoldCase(a[i]);
        const char fb = FoldCase(b[i]);
        if (fa != fb)
            return static_cast<unsigned char>(fa) < static_cast<unsigned char>(fb);
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

int ListModel::InsertSorted(const CString& text) {
    const auto at =
        std::upper_bound(m_rows.begin(), m_rows.end(), text, [](const CString& t, const Row& row) {
            return SortsBefore(t, row.texts.front());
        });
    const int row = static_cast<int>(at - m_rows.begin());
    beginInsertRows(QModelIndex(), row, row);
    Row item;
    item.texts.resize(std::max<std::size_t>(m_columns.size(), 1));
    item.texts.front() = text;
    m_rows.insert(at, std::move(item));
    endInsertRows();
    return row;
}

bool ListModel::RemoveRow(int row) {
    if (row < 0 || row >= rowCount())
        return false;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
    return true;
}

void ListModel::RemoveAll() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

CString ListModel::Text(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0)
        return {};
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    return static_cast<std::size_t>(column) < r.texts.size()
               ? r.texts[static_cast<std::size_t>(column)]
               : CString();
}

bool ListModel::SetText(int row, int column, const CString& text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return false;
    CString& cell = m_rows[static_cast<std::size_t>(row)].texts[static_cast<std::size_t>(column)];
    if (cell != text) {
        cell = text;
        // One cell changed: the view repaints that cell, not the list.
        const QModelIndex at = index(row, column);
        emit dataChanged(at, at, {Qt::DisplayRole});
    }
    return true;
}

bool ListModel::SetToolTip(int row, const CString& tip) {
    if (row < 0 || row >= rowCount())
        return false;
    CString& current = m_rows[static_cast<std::size_t>(row)].tip;
    if (current != tip) {
        current = tip;
        const QModelIndex status = index(row, std::min(1, columnCount() - 1));
        emit dataChanged(status, status, {Qt::ToolTipRole, Qt::ForegroundRole});
    }
    return true;
}

const CString& ListModel::ToolTip(int row) const {
    static const CString none;
    if (row < 0 || row >= rowCount())
        return none;
    return m_rows[static_cast<std::size_t>(row)].tip;
}

// ---------------------------------------------------------------------------------------------
// ListView

ListView::ListView(QWidget* parent) : QTableView(parent), m_model(this) {
    // Paths and status words need no text shaping; without it the list draws its cells
    // several times faster, and drawing is what a long command's progress costs. Only this
    // attribute is set: the rest of the font still comes from the dialog.
    QFont unshaped;
    unshaped.setStyleStrategy(QFont::PreferNoShaping);
    setFont(unshaped);
    setModel(&m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setShowGrid(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setTabKeyNavigation(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    verticalHeader()->hide();
    // Rows of one height, known without asking the items: scrolling and repainting one row
    // cost the same in a list of ten or of ten thousand files.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
}

void ListView::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && m_onClick)
        m_onClick();
}

// ---------------------------------------------------------------------------------------------
// CListCtrl

namespace {

ListView* ViewOf(HWND hWnd) {
    return dynamic_cast<ListView*>(WidgetOf(hWnd));
}

} // namespace

int CListCtrl::InsertColumn(int nCol, const CString& heading, int nFormat, int nWidth) {
    ListView* view = ViewOf(m_hWnd);
    if (!view)
        return -1;
    const int column = view->Model().InsertColumn(nCol, ToQString(heading), nFormat);
    view->horizontalHeader()->resizeSection(column, nWidth);
    return column;
}

int CListCtrl::GetColumnCount() const {
    ListView* view = ViewOf(m_hWnd);
    return view ? view->Model().columnCount() : 0;
}

CString CListCtrl::GetColumnHeading(int nCol) const {
    ListView* view = ViewOf(m_hWnd);
    return view ? FromQString(view->Model().headerData(nCol, Qt::Horizontal).toString())
                : CString();
}

int CListCtrl::GetColumnWidth(int nCol) const {
    ListView* view = ViewOf(m_hWnd);
    return view ? view->horizontalHeader()->sectionSize(nCol) : 0;
}

DWORD CListCtrl::SetExtendedStyle(DWORD dwNewStyle) {
    const DWORD old = GetExtendedStyle();
    if (ListView* view = ViewOf(m_hWnd))
        view->setShowGrid((dwNewStyle & LVS_EX_GRIDLINES) != 0);
    return old;
}

DWORD CListCtrl::GetExtendedStyle() const {
    ListView* view = ViewOf(m_hWnd);
    return view && view->showGrid() ? LVS_EX_GRIDLINES : 0;
}

int CListCtrl::GetItemCount() const {
    ListView* view = ViewOf(m_hWnd);
    return view ? view->Model().rowCount() : 0;
}

UINT CListCtrl::GetSelectedCount() const {
    ListView* view = ViewOf(m_hWnd);
    return view ? static_cast<UINT>(view->selectionModel()->selectedRows(0).size()) : 0;
}

int CListCtrl::GetNextItem(int nItem, int nFlags) const {
    ListView* view = ViewOf(m_hWnd);
    if (!view)
        return -1;
    const int count = GetItemCount();
    const QItemSelectionModel* selection = view->selectionModel();
    for (int i = std::max(nItem + 1, 0); i < count; ++i) {
        if ((nFlags & LVNI_SELECTED) == 0 || selection->isSelected(view->Model().index(i, 0)))
            return i;
    }
    return -1;
}

int CListCtrl::InsertItem(int /*nItem*/, const CString& text) {
    ListView* view = ViewOf(m_hWnd);
    return view ? view->Model().InsertSorted(text) : -1;
}

BOOL CListCtrl::DeleteItem(int nItem) {
    ListView* view = ViewOf(m_hWnd);
    return view && view->Model().RemoveRow(nItem) ? TRUE : FALSE;
}

BOOL CListCtrl::DeleteAllItems() {
    ListView* view = ViewOf(m_hWnd);
    if (!view)
        return FALSE;
    view->Model().RemoveAll();
    return TRUE;
}

CString CListCtrl::GetItemText(int nItem, int nSubItem) const {
    ListView* view = ViewOf(m_hWnd);
    return view ? view->Model().Text(nItem, nSubItem) : CString();
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, const CString& text) {
    ListView* view = ViewOf(m_hWnd);
    return view && view->Model().SetText(nItem, nSubItem, text) ? TRUE : FALSE;
}

BOOL CListCtrl::SetItemState(int nItem, UINT nState, UINT nMask) {
    ListView* view = ViewOf(m_hWnd);
    if (!view || (nMask & LVIS_SELECTED) == 0)
        return FALSE;
    const int count = GetItemCount();
    if (nItem >= count || count == 0)
        return FALSE;
    // -1 stands for every item, as for the list-view message.
    const int first = nItem < 0 ? 0 : nItem;
    const int last = nItem < 0 ? count - 1 : nItem;
    const QItemSelection range(view->Model().index(first, 0),
                               view->Model().index(last, view->Model().columnCount() - 1));
    view->selectionModel()->select(range, (nState & LVIS_SELECTED) ? QItemSelectionModel::Select
                                                                   : QItemSelectionModel::Deselect);
    return TRUE;
}

BOOL CListCtrl::EnsureVisible(int nItem, BOOL bPartialOK) {
    ListView* view = ViewOf(m_hWnd);
    if (!view || nItem < 0 || nItem >= GetItemCount())
        return FALSE;
    const QModelIndex index = view->Model().index(nItem, 0);
    const QRect row = view->visualRect(index);
    const QRect area = view->viewport()->rect();
    const bool visible = bPartialOK ? area.intersects(row)
                                    : row.top() >= area.top() && row.bottom() <= area.bottom();
    if (visible)
        return TRUE; // a row in sight costs nothing
    // A row below the view comes in at the top, so a walk down the list scrolls once a page
    // rather than once an item, and each page is painted once.
    const bool below = row.top() > area.bottom() || row.bottom() > area.bottom();
    view->scrollTo(index,
                   below ? QAbstractItemView::PositionAtTop : QAbstractItemView::EnsureVisible);
    return TRUE;
}

int CListCtrl::GetTopIndex() const {
    ListView* view = ViewOf(m_hWnd);
    if (!view)
        return 0;
    // The first row seen whole: scrolled to the end, the view shows part of one above it.
    const int row = std::max(view->rowAt(0), 0);
    return view->visualRect(view->Model().index(row, 0)).top() < 0 ? row + 1 : row;
}

int CListCtrl::GetCountPerPage() const {
    ListView* view = ViewOf(m_hWnd);
    const int rowHeight = view ? view->verticalHeader()->defaultSectionSize() : 0;
    return rowHeight > 0 ? view->viewport()->height() / rowHeight : 0;
}

BOOL CListCtrl::SetItemToolTip(int nItem, const CString& tip) {
    ListView* view = ViewOf(m_hWnd);
    return view && view->Model().SetToolTip(nItem, tip) ? TRUE : FALSE;
}

CString CListCtrl::GetItemToolTip(int nItem) const {
    ListView* view = ViewOf(m_hWnd);
    return view ? view->Model().ToolTip(nItem) : CString();
}
