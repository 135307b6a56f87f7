#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QString>

class DbQuery;
class QTableView;

// Shows what a query holds in a table view and keeps the view's current row
// and the query's current row the same, whichever side moves.
class DbQueryModel : public QAbstractTableModel {
    Q_OBJECT

public:
    struct Column {
        QByteArray field;
        QString title;
        int width;
    };

    DbQueryModel(DbQuery *query, QList<Column> columns, QObject *parent = nullptr);

    // Binds the view: columns sized, selection following the query.
    void attach(QTableView *view);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void queryScrolled();

    DbQuery *m_query;
    QList<Column> m_columns;
    QPointer<QTableView> m_view;
    int m_shownRow = -1;
};
