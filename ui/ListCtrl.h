#pragma once
// The report list of the file list: a table model of text rows kept sorted by their first
// column, a view with grid lines and multiple selection, and the CListCtrl wrapper through which
// the dialog uses them with the list-view operations it knows.

#include "CString.h"
#include "WinDefs.h"

#include <QAbstractTableModel>
#include <QTableView>

#include <functional>
#include <vector>

// The rows of a report list. Texts are kept as the dialog gave them; they become Qt text only
// when a cell is drawn.
class ListModel : public QAbstractTableModel {
public:
    struct Column {
        QString heading;
        int format = LVCFMT_LEFT;
    };

    explicit ListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    int InsertColumn(int column, const QString& heading, int format);
    // Inserts a row whose first column is `text`, after every row that does not sort behind it.
    int InsertSorted(const CString& text);
    bool RemoveRow(int row);
    void RemoveAll();
    CString Text(int row, int column) const;
    bool SetText(int row, int column, const CString& text);
    bool SetToolTip(int row, const CString& tip);
    const CString& ToolTip(int row) const;

    // The sort order of the list: letter case of ASCII letters ignored, as the Windows list
    // does, then byte order, so that every order is total and repeatable.
    static bool SortsBefore(const CString& a, const CString& b);

private:
    struct Row {
        std::vector<CString> texts;
        CString tip;
    };
    std::vector<Column> m_columns;
    std::vector<Row> m_rows;
};

// The view: grid lines, multiple selection, no sorting by header clicks, and a notification of
// every left click (on an item or not) after the view has applied it to the selection.
class ListView : public QTableView {
public:
    explicit ListView(QWidget* parent = nullptr);
    ListModel& Model() { return m_model; }
    void SetClickHandler(std::function<void()> handler) { m_onClick = std::move(handler); }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    ListModel m_model;
    std::function<void()> m_onClick;
};

// What the dialog knows of its list, in the shape of the list-view operations.
class CListCtrl {
public:
    bool IsAttached() const { return m_view != nullptr; }
    void Attach(QWidget* control);
    ListView* View() const { return m_view; }

    int InsertColumn(int nCol, const CString& heading, int nFormat, int nWidth);
    DWORD SetExtendedStyle(DWORD dwNewStyle);
    DWORD GetExtendedStyle() const { return m_extendedStyle; }

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
    BOOL SetItemState(int nItem, UINT nState, UINT nMask);
    BOOL EnsureVisible(int nItem, BOOL bPartialOK);

    // Why the item's file failed, shown as the item's tooltip; empty for none.
    BOOL SetItemToolTip(int nItem, const CString& tip);
    CString GetItemToolTip(int nItem) const;

private:
    ListView* m_view = nullptr;
    DWORD m_extendedStyle = 0;
};
