#pragma once

#include "import/importrun.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QList>

class QPushButton;
class QTableView;

// The records an import or a check rejected, as a table: line, reason, text,
// the text's field that failed in view and the whole line in its tip.
class RejectedLinesModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit RejectedLinesModel(QList<RejectedLine> lines, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    const QList<RejectedLine> &lines() const { return m_lines; }

private:
    QList<RejectedLine> m_lines;
};

// The rejected lines after a run, to be read and saved as a file in the
// import's own format, corrected and imported again; the file is offered
// beside the input, named as the database tool names it.
class TFormRejected : public QDialog {
    Q_OBJECT

public:
    TFormRejected(const QList<RejectedLine> &lines, const QString &input, QWidget *parent = nullptr);

    QTableView *GridRJ;
    QPushButton *BitBtnSV;
    QPushButton *BitBtnOK;

    void BitBtnSVClick();

private:
    RejectedLinesModel *m_model;
    QString m_input;
};
