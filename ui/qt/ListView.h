#pragma once
// The Qt side of the report list: a table model of text rows kept sorted by their first column,
// and a view with grid lines and multiple selection that reports every left click.

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
