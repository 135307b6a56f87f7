#include "ui/rejectedlines.h"

#include "base/errors.h"
#include "base/text1251.h"
#include "ui/guarded.h"
#include "ui/uiplatform.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSaveFile>
#include <QTableView>
#include <QVBoxLayout>

namespace {

// The text column shows a part of a line: a record may be megabytes long.
constexpr qsizetype kShownText = 200;
// The tip holds the line whole, up to what a tip can sensibly show.
constexpr qsizetype kTipText = 4000;

QString wholeLine(const QByteArray &text)
{
    QString line = fromCp1251(text.left(kTipText));
    if (text.size() > kTipText)
        line += QChar(0x2026);
    // Rich text, so that a long line wraps instead of running off the screen.
    return QStringLiteral("<p style='white-space:pre-wrap'>%1</p>").arg(line.toHtmlEscaped());
}

} // namespace

RejectedLinesModel::RejectedLinesModel(QList<RejectedLine> lines, QObject *parent)
    : QAbstractTableModel(parent), m_lines(std::move(lines))
{
}

int RejectedLinesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_lines.size());
}

int RejectedLinesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant RejectedLinesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_lines.size())
        return QVariant();
    const RejectedLine &line = m_lines[index.row()];
    if (role == Qt::TextAlignmentRole && index.column() == 0)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && index.column() > 0)
        return wholeLine(line.text);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case 0:
        return QString::number(line.line);
    case 1:
        return line.reason;
    default:
        return rejectedLineQuote(line, kShownText);
    }
}

QVariant RejectedLinesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return QVariant();
    static const char *const titles[] = {"строка", "причина", "текст"};
    return QString::fromUtf8(titles[section]);
}

TFormRejected::TFormRejected(const QList<RejectedLine> &lines, const QString &input, QWidget *parent)
    : QDialog(parent), m_input(input)
{
    setObjectName(QStringLiteral("FormRejected"));
    setWindowTitle(QStringLiteral("отвергнутые строки: %1").arg(lines.size()));
    resize(640, 400);

    m_model = new RejectedLinesModel(lines, this);
    GridRJ = new QTableView(this);
    GridRJ->setObjectName(QStringLiteral("GridRJ"));
    GridRJ->setModel(m_model);
    GridRJ->verticalHeader()->hide();
    GridRJ->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridRJ->setWordWrap(false);
    GridRJ->setColumnWidth(0, 60);
    GridRJ->setColumnWidth(1, 230);
    GridRJ->horizontalHeader()->setStretchLastSection(true);

    BitBtnSV = new QPushButton(QStringLiteral("сохранить…"), this);
    BitBtnSV->setObjectName(QStringLiteral("BitBtnSV"));
    BitBtnOK = new QPushButton(QStringLiteral("закрыть"), this);
    BitBtnOK->setObjectName(QStringLiteral("BitBtnOK"));
    BitBtnOK->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtnSV);
    buttons->addWidget(BitBtnOK);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(GridRJ);
    layout->addLayout(buttons);

    connect(BitBtnSV, &QPushButton::clicked, this, &TFormRejected::BitBtnSVClick);
    connect(BitBtnOK, &QPushButton::clicked, this, &QDialog::accept);
}

void TFormRejected::BitBtnSVClick()
{
    guarded(this, [&] {
        const QString path = platform::saveFileName(
            this, QStringLiteral("*.csv; *.txt (*.csv *.txt)"),
            m_input.isEmpty() ? QString() : rejectedLinesFileName(QFileInfo(m_input).absoluteFilePath()));
        if (path.isEmpty())
            return;
        // Written whole or not at all: a failed save keeps what was there.
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(kRejectedLinesPermissions))
            throw AppError(QStringLiteral("не удаётся записать файл %1:\n%2").arg(path, file.errorString()));
        file.write(rejectedLinesFile(m_model->lines()));
        if (!file.commit())
            throw AppError(QStringLiteral("не удаётся записать файл %1:\n%2").arg(path, file.errorString()));
    });
}
