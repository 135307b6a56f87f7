#include "ui/sheetpicker.h"

#include "report/prnbarcod.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

QString sheetName(const std::optional<SheetProduct> &product)
{
    const QLocale russian(QLocale::Russian);
    if (!product)
        return QStringLiteral("стандартный лист: A4, 4 × 15, 48,5 × 18,3 мм");
    QString name = QStringLiteral("%1: %2 × %3, %4 × %5 мм")
                       .arg(product->id())
                       .arg(product->columns)
                       .arg(product->rows)
                       .arg(russian.toString(product->labelMm.width(), 'f', 1),
                            russian.toString(product->labelMm.height(), 'f', 1));
    if (!product->description.isEmpty())
        name += QStringLiteral(" (") + product->description + QLatin1Char(')');
    return name;
}

TFormSheetPicker::TFormSheetPicker(const QList<SheetProduct> &products, const QSizeF &paperMm, qreal dpi,
                                   Symbology symbology, const QString &currentId, QWidget *parent)
    : QDialog(parent), m_products(productsForPaper(products, paperMm)), m_dpi(dpi), m_symbology(symbology)
{
    setObjectName(QStringLiteral("FormSheetPicker"));
    setWindowTitle(QStringLiteral("наклейки"));
    auto *layout = new QVBoxLayout(this);
    auto *hint = new QLabel(QStringLiteral("лист наклеек, на бумаге принтера (%1 × %2 мм); поиск по производителю, "
                                           "коду и описанию:")
                                .arg(qRound(paperMm.width()))
                                .arg(qRound(paperMm.height())),
                            this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    EditSearch = new QLineEdit(this);
    EditSearch->setObjectName(QStringLiteral("EditSearch"));
    EditSearch->setPlaceholderText(QStringLiteral("например: igepa 483"));
    layout->addWidget(EditSearch);
    ListSheets = new QListWidget(this);
    ListSheets->setObjectName(QStringLiteral("ListSheets"));
    layout->addWidget(ListSheets, 1);
    LabelRefusal = new QLabel(this);
    LabelRefusal->setObjectName(QStringLiteral("LabelRefusal"));
    LabelRefusal->setWordWrap(true);
    LabelRefusal->setStyleSheet(QStringLiteral("color: #b00000"));
    layout->addWidget(LabelRefusal);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("выбрать"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("отмена"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &TFormSheetPicker::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(EditSearch, &QLineEdit::textChanged, this, &TFormSheetPicker::EditSearchChange);
    connect(ListSheets, &QListWidget::itemActivated, this, &TFormSheetPicker::accept);
    EditSearchChange(QString());
    for (qsizetype i = 0; i < m_shown.size(); ++i) {
        if (m_shown[i].id() == currentId)
            ListSheets->setCurrentRow(int(i) + 1);
    }
    if (currentId.isEmpty())
        ListSheets->setCurrentRow(0);
    resize(560, 480);
}

void TFormSheetPicker::EditSearchChange(const QString &text)
{
    m_shown = matchingProducts(m_products, text);
    ListSheets->clear();
    ListSheets->addItem(sheetName(std::nullopt));
    for (const SheetProduct &product : std::as_const(m_shown)) {
        ListSheets->addItem(sheetName(product));
    }
    ListSheets->setCurrentRow(m_shown.isEmpty() ? 0 : 1);
    LabelRefusal->clear();
}

void TFormSheetPicker::accept()
{
    const int row = ListSheets->currentRow();
    if (row <= 0) {
        Picked.reset();
        QDialog::accept();
        return;
    }
    const SheetProduct &product = m_shown[row - 1];
    const QString refusal = sheetRefusal(product.labelMm, m_dpi, product.id(), m_symbology);
    if (!refusal.isEmpty()) {
        LabelRefusal->setText(refusal);
        return;
    }
    Picked = product;
    QDialog::accept();
}
