#include "app/querymodel.h"

#include "base/text1251.h"
#include "db/dataset.h"
#include "ui/guarded.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>

DbQueryModel::DbQueryModel(DbQuery *query, QList<Column> columns, QObject *parent)
    : QAbstractTableModel(parent), m_query(query), m_columns(std::move(columns))
{
    connect(m_query, &DbQuery::rowsChanged, this, [this] {
        beginResetModel();
        m_shownRow = -1;
        endResetModel();
    });
    connect(m_query, &DbQuery::scrolled, this, &DbQueryModel::queryScrolled);
}

void DbQueryModel::attach(QTableView *view)
{
    m_view = view;
    view->setModel(this);
    for (int i = 0; i < m_columns.size(); ++i)
        view->setColumnWidth(i, m_columns[i].width);
    connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex &current) {
        if (!current.isValid() || current.row() == m_query->recNo())
            return;
        // The user moved in the list: the query follows, and its
        // handlers run as for any scroll.
        guarded(m_view, [&] { m_query->moveTo(current.row()); });
    });
}

int DbQueryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_query->recordCount();
}

int DbQueryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant DbQueryModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return QVariant();
    const int column = m_query->fieldIndex(m_columns[index.column()].field);
    return fromCp1251(m_query->fieldAt(index.row(), column).asString());
}

QVariant DbQueryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal)
        return m_columns.value(section).title;
    // The row indicator marks the current row.
    return section == m_query->recNo() ? QStringLiteral("▶") : QString();
}

void DbQueryModel::queryScrolled()
{
    const int row = m_query->recNo();
    const int previous = m_shownRow;
    m_shownRow = row;
    if (previous >= 0 && previous < rowCount())
        emit headerDataChanged(Qt::Vertical, previous, previous);
    if (row >= 0 && row < rowCount())
        emit headerDataChanged(Qt::Vertical, row, row);
    if (!m_view || row < 0 || row >= rowCount())
        return;
    const QModelIndex target = index(row, 0);
    if (m_view->selectionModel()->currentIndex().row() != row) {
        m_view->selectionModel()->setCurrentIndex(target,
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    m_view->scrollTo(target);
}
