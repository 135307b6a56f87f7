// The barcode tab of the main window: the register of label ranges and the
// print button.

#include "app/mainform.h"

#include "app/querymodel.h"
#include "app/typedlength.h"
#include "base/errors.h"
#include "base/text1251.h"
#include "db/dataset.h"
#include "db/refusals.h"
#include "db/utilites.h"
#include "labels/labeldata.h"
#include "labels/register.h"
#include "labels/symbology.h"
#include "report/bandreport.h"
#include "report/prnbarcod.h"
#include "report/symbols.h"
#include "ui/formYN.h"
#include "ui/guarded.h"
#include "ui/labelpreview.h"
#include "ui/reprintdialog.h"
#include "ui/uiplatform.h"

#include <QDialog>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QLabel *caption(QWidget *parent, const char *name, const QString &text, int top)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Right-aligned against the fields: where the caption is wider than its
    // 56 pixels, the label grows leftwards instead of clipping it.
    const int width = qMax(56, label->sizeHint().width());
    label->setGeometry(64 - width, top, width, 13);
    return label;
}

QLineEdit *field(QWidget *parent, const char *name, int top, int length)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(72, top, 153, 21);
    edit->setValidator(new TypedLengthValidator(length, edit));
    return edit;
}

QIcon addIcon()
{
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 128, 0));
    p.drawRect(8, 2, 4, 16);
    p.drawRect(2, 8, 16, 4);
    return QIcon(pixmap);
}

QIcon printIcon()
{
    QPixmap pixmap(17, 17);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawRect(4, 1, 8, 6);
    p.setBrush(QColor(160, 160, 160));
    p.drawRect(1, 6, 14, 6);
    p.setBrush(Qt::white);
    p.drawRect(4, 10, 8, 6);
    p.drawLine(6, 12, 10, 12);
    p.drawLine(6, 14, 10, 14);
    return QIcon(pixmap);
}

// Hands each cell to the window's own cell painter before the default
// drawing, as the grid's draw-cell event does.
class CellPainter : public QStyledItemDelegate {
public:
    CellPainter(TFormMain *form, QObject *parent) : QStyledItemDelegate(parent), m_form(form) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        m_form->DBGridBCDrawColumnCell(painter, cell);
        painter->save();
        painter->fillRect(cell.rect, cell.backgroundBrush);
        painter->setPen(cell.palette.color(QPalette::Text));
        painter->setFont(cell.font);
        painter->drawText(cell.rect.adjusted(3, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          cell.fontMetrics.elidedText(cell.text, Qt::ElideRight, cell.rect.width() - 5));
        painter->restore();
    }

private:
    TFormMain *m_form;
};

// The register's overlaps in a small list window, one pair a line.
void showOverlaps(QWidget *parent, const QList<RangeOverlap> &overlaps)
{
    QDialog window(parent);
    window.setObjectName(QStringLiteral("FormOverlaps"));
    window.setWindowTitle(QStringLiteral("пересечения диапазонов"));
    auto *layout = new QVBoxLayout(&window);
    auto *heading
        = new QLabel(overlaps.isEmpty() ? QStringLiteral("Диапазоны не пересекаются.")
                                        : QStringLiteral("Пересекающихся пар диапазонов: %1").arg(overlaps.size()),
                     &window);
    heading->setObjectName(QStringLiteral("LabelOverlaps"));
    layout->addWidget(heading);
    auto *list = new QListWidget(&window);
    list->setObjectName(QStringLiteral("ListOverlaps"));
    for (const RangeOverlap &overlap : overlaps)
        list->addItem(QStringLiteral("%1   и   %2").arg(rangeText(overlap.first), rangeText(overlap.second)));
    list->setVisible(!overlaps.isEmpty());
    layout->addWidget(list);
    auto *close = new QPushButton(QStringLiteral("закрыть"), &window);
    close->setObjectName(QStringLiteral("BitBtnClose"));
    QObject::connect(close, &QPushButton::clicked, &window, &QDialog::accept);
    layout->addWidget(close, 0, Qt::AlignRight);
    window.resize(overlaps.isEmpty() ? QSize(320, 100) : QSize(480, 300));
    window.exec();
}

// The report host, which main() makes after this window.
TFormBC *reportHost()
{
    if (!FormBC)
        FormBC = new TFormBC;
    return FormBC;
}

} // namespace

void TFormMain::buildBarcodeTab()
{
    PanelBL = new QFrame(TabSheetBC);
    PanelBL->setObjectName(QStringLiteral("PanelBL"));
    PanelBL->setGeometry(0, 0, 233, 303);
    PanelBL->setFrameStyle(QFrame::Panel | QFrame::Raised);
    PanelBL->setLineWidth(2);

    Label2 = caption(PanelBL, "Label2", QStringLiteral("баркоды с:"), 19);
    Label3 = caption(PanelBL, "Label3", QStringLiteral("по:"), 43);
    Label4 = caption(PanelBL, "Label4", QStringLiteral("метка:"), 67);
    EditS = field(PanelBL, "EditS", 16, 10);
    EditP = field(PanelBL, "EditP", 40, 10);
    EditME = field(PanelBL, "EditME", 64, 27);

    // In the free space under the mark, left of the add button.
    LabelMECut = new QLabel(QStringLiteral("метка не уместится на наклейке и будет обрезана"), PanelBL);
    LabelMECut->setObjectName(QStringLiteral("LabelMECut"));
    LabelMECut->setGeometry(8, 88, 178, 34);
    LabelMECut->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelMECut->setWordWrap(true);
    LabelMECut->setFont(platform::uiFont(10));
    QPalette warning = LabelMECut->palette();
    warning.setColor(QPalette::WindowText, QColor(160, 0, 0));
    LabelMECut->setPalette(warning);
    LabelMECut->hide();

    BitBtnAdd = new QPushButton(PanelBL);
    BitBtnAdd->setObjectName(QStringLiteral("BitBtnAdd"));
    BitBtnAdd->setGeometry(192, 90, 33, 31);
    BitBtnAdd->setIcon(addIcon());
    BitBtnAdd->setIconSize(QSize(20, 20));
    BitBtnAdd->setToolTip(QStringLiteral("добавить"));

    BitBtnPrn = new QPushButton(PanelBL);
    BitBtnPrn->setObjectName(QStringLiteral("BitBtnPrn"));
    BitBtnPrn->setGeometry(192, 128, 33, 33);
    BitBtnPrn->setIcon(printIcon());
    BitBtnPrn->setIconSize(QSize(17, 17));
    BitBtnPrn->setToolTip(QStringLiteral("печать"));

    // In the free space left of the two buttons, so nothing specified moves.
    LabelSheets = new QLabel(PanelBL);
    LabelSheets->setObjectName(QStringLiteral("LabelSheets"));
    LabelSheets->setGeometry(8, 128, 178, 150);
    LabelSheets->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelSheets->setWordWrap(true);

    setTabOrder(BitBtnPrn, EditS);
    setTabOrder(EditS, EditP);
    setTabOrder(EditP, EditME);
    setTabOrder(EditME, BitBtnAdd);

    IBQueryBC = new DbQuery(*IBDatabase1, *IBTransaction1, {}, this);
    IBQueryBC->setObjectName(QStringLiteral("IBQueryBC"));
    IBQueryBC->afterScroll = [this](DbQuery *query) { IBQueryBCAfterScroll(query); };

    DBGridBC = new QTableView(TabSheetBC);
    DBGridBC->setObjectName(QStringLiteral("DBGridBC"));
    DBGridBC->setGeometry(233, 0, 312, 281);
    DBGridBC->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGridBC->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGridBC->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGridBC->setTabKeyNavigation(false);
    DBGridBC->verticalHeader()->setDefaultSectionSize(17);
    DBGridBC->verticalHeader()->setFixedWidth(12);
    DBGridBC->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DBGridBC->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    DBGridBC->horizontalHeader()->setStretchLastSection(false);
    QFont title = DBGridBC->horizontalHeader()->font();
    title.setPointSize(8);
    DBGridBC->horizontalHeader()->setFont(title);
    DBGridBC->setItemDelegate(new CellPainter(this, DBGridBC));
    DataSourceBC = new DbQueryModel(
        IBQueryBC,
        {{"BS", QStringLiteral("с:"), 91}, {"BP", QStringLiteral("по:"), 88}, {"ME", QStringLiteral("метка"), 114}},
        this);
    DataSourceBC->attach(DBGridBC);

    PopupBC = new QMenu(DBGridBC);
    PopupBC->setObjectName(QStringLiteral("PopupBC"));
    N1 = PopupBC->addAction(QStringLiteral("удалить"));
    N1->setObjectName(QStringLiteral("N1"));
    ActionOverlaps = PopupBC->addAction(QStringLiteral("пересечения диапазонов"));
    ActionOverlaps->setObjectName(QStringLiteral("ActionOverlaps"));
    // Labels again for numbers typed or scanned, whatever range they are in.
    ActionReprint = PopupBC->addAction(QStringLiteral("перепечатать наклейки…"));
    ActionReprint->setObjectName(QStringLiteral("ActionReprint"));
    ActionReprint->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    ActionReprint->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    TabSheetBC->addAction(ActionReprint);
    DBGridBC->setContextMenuPolicy(Qt::CustomContextMenu);
    // The popup acts on the current row; a right click must not move it.
    DBGridBC->viewport()->installEventFilter(this);
    connect(DBGridBC, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupBC->popup(DBGridBC->viewport()->mapToGlobal(at)); });
    connect(N1, &QAction::triggered, this, &TFormMain::N1Click);
    connect(ActionOverlaps, &QAction::triggered, this, &TFormMain::ActionOverlapsClick);
    connect(ActionReprint, &QAction::triggered, this, &TFormMain::ActionReprintClick);
    m_inCatalogTimer = new QTimer(this);
    m_inCatalogTimer->setSingleShot(true);
    m_inCatalogTimer->setInterval(300);
    connect(m_inCatalogTimer, &QTimer::timeout, this, &TFormMain::countInCatalog);
    for (QLineEdit *edit : {EditS, EditP}) {
        connect(edit, &QLineEdit::textChanged, this, [this] {
            showSheetSummary();
            m_inCatalogTimer->start();
        });
    }
    connect(EditME, &QLineEdit::textChanged, this, &TFormMain::showMarkFit);
    connect(BitBtnAdd, &QPushButton::clicked, this, &TFormMain::BitBtnAddClick);
    connect(BitBtnPrn, &QPushButton::clicked, this, &TFormMain::BitBtnPrnClick);
}

void TFormMain::TabSheetBCShow()
{
    guarded(this, [&] {
        runReattaching(IBDatabase1, [&] {
            SelectBC();
            dfx();
        });
    });
    // Books may have come in since the last count.
    m_inCatalogTimer->start();
}

void TFormMain::SelectBC()
{
    selectRanges(IBQueryBC);
}

void TFormMain::dfx()
{
    // The grid's client width counts the row indicator column too, which
    // here is the vertical header beside the viewport.
    const int clientWidth = DBGridBC->verticalHeader()->width() + DBGridBC->viewport()->width();
    DBGridBC->setColumnWidth(2, clientWidth - DBGridBC->columnWidth(0) - DBGridBC->columnWidth(1) - 15);
}

void TFormMain::IBQueryBCAfterScroll(DbQuery *DataSet)
{
    if (DataSet->isEmpty())
        return;
    EditS->setText(fromCp1251(DataSet->field("bs").asString()));
    EditP->setText(fromCp1251(DataSet->field("bp").asString()));
    EditME->setText(fromCp1251(DataSet->field("me").asString()));
}

void TFormMain::BitBtnAddClick()
{
    guarded(this, [&] {
        const QByteArray start = toCp1251(EditS->text());
        const QByteArray end = toCp1251(EditP->text());
        const QByteArray mark = toCp1251(EditME->text());
        // Asked before the key is taken, so that "нет" leaves no gap.
        std::optional<RangeClash> clash;
        runReattaching(IBDatabase1, [&] { clash = rangeClash(m_session, start, end); });
        if (!clash)
            return;
        if (clash->any() && !AskYesNo(rangeClashQuestion(*clash), this))
            return;
        runReattaching(IBDatabase1, [&] {
            const auto key = addRange(m_session, start, end, mark);
            if (!key)
                return;
            SelectBC();
            LocateQuietly(IBQueryBC, "num", *key, 0);
            dfx();
        });
    });
}

void TFormMain::N1Click()
{
    guarded(this, [&] {
        if (IBQueryBC->isEmpty())
            return;
        // Read first: attached again, the list is empty until reopened.
        const QByteArray num = IBQueryBC->field("num").asString();
        if (!AskYesNo(QString(), this))
            return;
        runReattaching(IBDatabase1, [&] {
            deleteRange(m_session, num);
            SelectBC();
            dfx();
        });
    });
}

void TFormMain::ActionOverlapsClick()
{
    guarded(this, [&] {
        QList<RegisteredRange> ranges;
        runReattaching(IBDatabase1, [&] { ranges = registeredRanges(m_session); });
        showOverlaps(this, overlapsAmong(ranges));
    });
}

namespace {

// What a print of the fields' range takes, on the report's sheet. Read as
// Latin-1, which cannot fail while typing: anything beyond it is no digit
// anyway.
std::optional<SheetSummary> fieldsSummary(const QLineEdit *start, const QLineEdit *end)
{
    return sheetSummary(start->text().toLatin1(), end->text().toLatin1(), reportHost()->QuickRep1->positionsPerPage());
}

} // namespace

void TFormMain::showSheetSummary()
{
    auto summary = fieldsSummary(EditS, EditP);
    if (summary && m_inCatalog >= 0 && m_inCatalogFor == EditS->text() + u'|' + EditP->text())
        summary->inCatalog = m_inCatalog;
    LabelSheets->setText(summary ? sheetSummaryText(*summary) : QString());
}

void TFormMain::countInCatalog()
{
    const QString typed = EditS->text() + u'|' + EditP->text();
    const auto summary = fieldsSummary(EditS, EditP);
    if (!summary || summary->negative || !IBDatabase1->connected())
        return;
    try {
        runReattaching(IBDatabase1, [&] { m_inCatalog = takenInCatalog(m_session, summary->first, summary->last); });
        m_inCatalogFor = typed;
    } catch (const AppError &) {
        // Only an aid: the summary goes without it.
        return;
    }
    showSheetSummary();
}

void TFormMain::showMarkFit()
{
    LabelMECut->setVisible(!reportHost()->QRLabelME->holds(EditME->text()));
}

void TFormMain::BitBtnPrnClick()
{
    guarded(this, [&] {
        const auto range = printRange(toCp1251(EditS->text()), toCp1251(EditP->text()));
        if (!range)
            return;
        TFormBC *host = reportHost();
        host->CurrentNumber = range->first;
        host->LastNumber = range->last;
        host->QRLabelME->setCaption(EditME->text());
        host->readSettings();
        // The library's choice, the same on every desk.
        host->QRLabelBC->setSymbology(readSymbology(IBDatabase1));
        previewReport(host->QuickRep1, this);
    });
}

void TFormMain::ActionReprintClick()
{
    guarded(this, [&] {
        TFormReprint dialog(EditME->text(), this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        TFormBC *host = reportHost();
        // Only the list is printed; the range's fields stay as they are.
        host->setNumberList(dialog.Numbers);
        host->QRLabelME->setCaption(dialog.EditMark->text());
        host->readSettings();
        try {
            previewReport(host->QuickRep1, this);
        } catch (...) {
            host->setNumberList({});
            throw;
        }
        host->setNumberList({});
    });
}

void TFormMain::DBGridBCDrawColumnCell(QPainter *, QStyleOptionViewItem &option)
{
    option.palette.setColor(QPalette::Text, Qt::black);
    QColor brush(255, 255, 255);
    if (option.state & QStyle::State_Selected) {
        // 0x2020 off a packed colour whose lowest byte is red: pale blue.
        const quint32 packed = quint32(brush.red()) | quint32(brush.green()) << 8 | quint32(brush.blue()) << 16;
        const quint32 shaded = packed - 0x2020;
        brush = QColor(int(shaded & 0xFF), int(shaded >> 8 & 0xFF), int(shaded >> 16 & 0xFF));
    }
    option.backgroundBrush = brush;
}
