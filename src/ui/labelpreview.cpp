#include "ui/labelpreview.h"

#include "base/errors.h"
#include "labels/usedcells.h"
#include "report/bandreport.h"
#include "report/labelcheck.h"
#include "report/prnbarcod.h"
#include "ui/formYN.h"
#include "ui/pageview.h"
#include "ui/sheetcells.h"
#include "ui/sheetpicker.h"
#include "ui/uiplatform.h"

#include <QAction>
#include <QBoxLayout>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QPaintEngine>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintEngine>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

#include <memory>
#include <optional>

namespace {

// The print engine's list of CUPS job options, name and value in turn. Qt
// keeps the key in a private header; its value has not changed since Qt 4.
const auto kCupsOptions = QPrintEngine::PrintEnginePropertyKey(0xfe00);
const QString kInputSlot = QStringLiteral("InputSlot");
// What a PDF is checked for: the office printer's usual resolution.
constexpr qreal kPdfDpi = 300;

// Shows how far a long job has come, with a way to stop it. The window
// appears only when the job looks like taking more than half a second.
class JobProgress {
public:
    JobProgress(QWidget *parent, qsizetype pages)
    {
        if (pages < 2)
            return;
        m_dialog = std::make_unique<QProgressDialog>(QString(), QStringLiteral("отменить"), 0, int(pages), parent);
        m_dialog->setObjectName(QStringLiteral("ProgressJob"));
        m_dialog->setWindowTitle(QStringLiteral("утилиты"));
        m_dialog->setWindowModality(Qt::ApplicationModal);
        m_dialog->setMinimumDuration(500);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_pages = pages;
    }

    // False once the user has asked to stop.
    bool onPage(qsizetype index)
    {
        if (!m_dialog)
            return true;
        m_dialog->setLabelText(QStringLiteral("страница %1 из %2").arg(index + 1).arg(m_pages));
        m_dialog->setValue(int(index));
        return !m_dialog->wasCanceled();
    }

private:
    std::unique_ptr<QProgressDialog> m_dialog;
    qsizetype m_pages = 0;
};

// The printer and paper source a print used, kept by the report. Qt's
// print dialog sets the CUPS options afresh from the printer's own
// defaults, so the source used last time is put back here unless the
// dialog chose one.
void choosePaperSource(BandReport *report, QPrinter *printer)
{
    QPrintEngine *engine = printer->printEngine();
    QStringList options = engine->property(kCupsOptions).toStringList();
    QString source;
    for (qsizetype i = 0; i + 1 < options.size(); i += 2) {
        if (options[i] == kInputSlot)
            source = options[i + 1];
    }
    if (source.isEmpty() && !report->paperSource().isEmpty() && printer->printerName() == report->printerName()) {
        options << kInputSlot << report->paperSource();
        engine->setProperty(kCupsOptions, options);
        source = report->paperSource();
    }
    report->choosePrinter(printer->printerName(), source);
}

// Paints the report's pages on the printer: a print job, or the pages the
// preview records. True when the user stopped the preview's pages; a print
// stopped is aborted.
bool renderPages(BandReport *report, QPrinter *printer, QWidget *progressParent)
{
    // The preview records its pages through a picture engine; anything else
    // is a real print job.
    const bool preview = printer->paintEngine() && printer->paintEngine()->type() == QPaintEngine::Picture;
    if (!preview && printer->outputFormat() == QPrinter::NativeFormat && !printer->printerName().isEmpty())
        choosePaperSource(report, printer);
    // The layout places everything from the paper's corner, margins included.
    printer->setFullPage(true);
    QPainter painter;
    if (!painter.begin(printer))
        return false;
    ReportLayout pages;
    try {
        pages = report->pagesToMake();
    } catch (const AppError &e) {
        // Called from the preview's repaint, where no error may pass.
        painter.end();
        platform::showError(nullptr, e.text());
        return false;
    }
    JobProgress progress(progressParent, pages.size());
    for (qsizetype i = 0; i < pages.size(); ++i) {
        if (!progress.onPage(i)) {
            if (!preview) {
                printer->abort();
                return false;
            }
            painter.end();
            return true;
        }
        if (i > 0)
            printer->newPage();
        report->paintPage(painter, pages[i]);
    }
    painter.end();
    return false;
}

// The paper, the margins and the printer kept from last time, for the
// preview's printer.
void preparePrinter(const BandReport *report, QPrinter *printer)
{
    if (!report->printerName().isEmpty() && QPrinterInfo::availablePrinterNames().contains(report->printerName()))
        printer->setPrinterName(report->printerName());
    printer->setPageLayout(
        QPageLayout(report->paper(), QPageLayout::Portrait, report->margins(), QPageLayout::Millimeter));
    printer->setFullPage(true);
    printer->setCopyCount(1);
    printer->setDuplex(QPrinter::DuplexNone);
    printer->setPrintRange(QPrinter::AllPages);
    printer->setPaperSource(QPrinter::Auto);
}

// Lays its items out left to right and starts a new row where the width
// runs out.
class FlowLayout : public QLayout {
public:
    explicit FlowLayout(int spacing) { setSpacing(spacing); }
    ~FlowLayout() override
    {
        while (QLayoutItem *item = FlowLayout::takeAt(0))
            delete item;
    }

    void addItem(QLayoutItem *item) override { m_items.append(item); }
    int count() const override { return int(m_items.size()); }
    QLayoutItem *itemAt(int index) const override { return m_items.value(index); }
    QLayoutItem *takeAt(int index) override
    {
        return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
    }
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return arrange(QRect(0, 0, width, 0), false); }

    // All on one row, as a window wide enough shows them.
    QSize sizeHint() const override
    {
        QSize size;
        for (const QLayoutItem *item : m_items) {
            if (item->isEmpty())
                continue;
            const QSize hint = item->sizeHint();
            size = QSize(size.width() + (size.isEmpty() ? 0 : spacing()) + hint.width(),
                         qMax(size.height(), hint.height()));
        }
        return size.grownBy(contentsMargins());
    }

    // The widest item alone on its row.
    QSize minimumSize() const override
    {
        QSize size;
        for (const QLayoutItem *item : m_items) {
            if (!item->isEmpty())
                size = size.expandedTo(item->sizeHint());
        }
        return size.grownBy(contentsMargins());
    }

    void setGeometry(const QRect &rect) override
    {
        QLayout::setGeometry(rect);
        arrange(rect, true);
    }

private:
    // The height the items take at the rectangle's width; placed there too
    // when place is set. Each row's items are centred on the row.
    int arrange(const QRect &rect, bool place) const
    {
        const QRect area = rect.marginsRemoved(contentsMargins());
        QList<QLayoutItem *> row;
        int y = area.top();
        int rowWidth = 0;
        int rowHeight = 0;
        auto endRow = [&] {
            int x = area.left();
            for (QLayoutItem *item : std::as_const(row)) {
                const QSize hint = item->sizeHint();
                if (place)
                    item->setGeometry(QRect(QPoint(x, y + (rowHeight - hint.height()) / 2), hint));
                x += hint.width() + spacing();
            }
            if (!row.isEmpty())
                y += rowHeight + spacing();
            row.clear();
            rowWidth = 0;
            rowHeight = 0;
        };
        for (QLayoutItem *item : m_items) {
            if (item->isEmpty())
                continue;
            const QSize hint = item->sizeHint();
            if (!row.isEmpty() && rowWidth + spacing() + hint.width() > area.width())
                endRow();
            rowWidth += (row.isEmpty() ? 0 : spacing()) + hint.width();
            rowHeight = qMax(rowHeight, hint.height());
            row.append(item);
        }
        endRow();
        const int used = y == area.top() ? 0 : y - spacing() - area.top();
        return used + contentsMargins().top() + contentsMargins().bottom();
    }

    QList<QLayoutItem *> m_items;
};

// A command's button: Tab stops at it, and Enter presses it as Space does.
class CommandButton : public QToolButton {
public:
    CommandButton(QAction *action, QWidget *parent) : QToolButton(parent)
    {
        setObjectName(QStringLiteral("Button") + action->objectName().mid(int(qstrlen("Action"))));
        setDefaultAction(action);
        setToolButtonStyle(Qt::ToolButtonTextOnly);
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            click();
            return;
        }
        QToolButton::keyPressEvent(event);
    }
};

QAction *command(QWidget *window, const char *name, const QString &text, const QKeySequence &shortcut,
                 const QString &toolTip)
{
    auto *action = new QAction(text, window);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(shortcut);
    QString tip = toolTip.isEmpty() ? text : toolTip;
    if (!shortcut.isEmpty())
        tip += QStringLiteral(" (%1)").arg(shortcut.toString(QKeySequence::NativeText));
    action->setToolTip(tip);
    window->addAction(action);
    return action;
}

QLabel *toolLabel(QWidget *parent, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->setContentsMargins(4, 0, 2, 0);
    return label;
}

QDoubleSpinBox *offsetBox(QWidget *parent, const char *name, qreal value, const QString &toolTip)
{
    auto *box = new QDoubleSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(-BandReport::kMaxOffsetMm, BandReport::kMaxOffsetMm);
    box->setSingleStep(0.1);
    box->setDecimals(1);
    box->setValue(value);
    box->setToolTip(toolTip);
    // One repaint when the typing is done, not one per key.
    box->setKeyboardTracking(false);
    return box;
}

// A run of controls kept together on one row of the flow.
QWidget *group(QWidget *parent, QBoxLayout **layout)
{
    auto *box = new QWidget(parent);
    *layout = new QHBoxLayout(box);
    (*layout)->setContentsMargins(0, 0, 0, 0);
    (*layout)->setSpacing(2);
    return box;
}

} // namespace

TFormPreview::TFormPreview(BandReport *report, QWidget *parent)
    : QDialog(parent), m_report(report), m_printer(QPrinter::HighResolution)
{
    setObjectName(QStringLiteral("FormPreview"));
    setWindowTitle(QStringLiteral("предварительный просмотр"));
    preparePrinter(m_report, &m_printer);
    m_report->setAlignmentSheet(false);

    ActionPrint = command(this, "ActionPrint", QStringLiteral("печать…"), QKeySequence::Print,
                          QStringLiteral("выбрать принтер и напечатать"));
    ActionSavePdf = command(this, "ActionSavePdf", QStringLiteral("сохранить в PDF"), QKeySequence::Save, {});
    ActionAlignmentSheet
        = command(this, "ActionAlignmentSheet", QStringLiteral("пробный лист"), QKeySequence(Qt::CTRL | Qt::Key_T),
                  QStringLiteral("рамки всех наклеек листа с номерами и линейками, со сдвигом: "
                                 "напечатайте и наложите на чистый лист наклеек"));
    ActionAlignmentSheet->setCheckable(true);
    ActionZoomOut
        = command(this, "ActionZoomOut", QStringLiteral("−"), QKeySequence::ZoomOut, QStringLiteral("уменьшить"));
    ActionZoomIn
        = command(this, "ActionZoomIn", QStringLiteral("+"), QKeySequence::ZoomIn, QStringLiteral("увеличить"));
    ActionFitWidth
        = command(this, "ActionFitWidth", QStringLiteral("по ширине"), {}, QStringLiteral("лист во всю ширину окна"));
    ActionFitPage
        = command(this, "ActionFitPage", QStringLiteral("лист целиком"), {}, QStringLiteral("весь лист в окне"));
    ActionPriorPage = command(this, "ActionPriorPage", QStringLiteral("◀"), {}, QStringLiteral("предыдущая страница"));
    ActionNextPage = command(this, "ActionNextPage", QStringLiteral("▶"), {}, QStringLiteral("следующая страница"));
    ActionSheet = command(this, "ActionSheet", QStringLiteral("наклейки…"), {},
                          QStringLiteral("выбрать лист наклеек по производителю и коду"));
    ActionClose = command(this, "ActionClose", QStringLiteral("закрыть"), {}, QStringLiteral("закрыть (Esc)"));

    auto *commands = new FlowLayout(12);
    QBoxLayout *row = nullptr;

    QWidget *jobs = group(this, &row);
    QList<QWidget *> tabOrder;
    for (QAction *action : {ActionPrint, ActionSavePdf, ActionAlignmentSheet}) {
        auto *button = new CommandButton(action, jobs);
        row->addWidget(button);
        tabOrder.append(button);
    }
    commands->addWidget(jobs);

    // The sheet's own settings: the first free label and the printer's
    // alignment.
    QWidget *start = group(this, &row);
    row->addWidget(toolLabel(start, QStringLiteral("первая свободная наклейка:")));
    SpinStart = new QSpinBox(start);
    SpinStart->setObjectName(QStringLiteral("SpinStart"));
    SpinStart->setRange(1, qMax(1, m_report->positionsPerPage()));
    SpinStart->setValue(m_report->startPosition());
    SpinStart->setToolTip(QStringLiteral("наклейки считаются сверху вниз по первому столбцу, затем по следующему"));
    row->addWidget(SpinStart);
    LabelStartPlace = new QLabel(start);
    LabelStartPlace->setObjectName(QStringLiteral("LabelStartPlace"));
    // As wide as its widest text, so the row does not move as it changes.
    LabelStartPlace->setMinimumWidth(
        LabelStartPlace->fontMetrics().horizontalAdvance(QStringLiteral("(столбец 4, ряд 15)")));
    row->addWidget(LabelStartPlace);
    PictureCells = new SheetCellsPicture(start);
    row->addWidget(PictureCells);
    LabelFreeCells = new QLabel(start);
    LabelFreeCells->setObjectName(QStringLiteral("LabelFreeCells"));
    row->addWidget(LabelFreeCells);
    tabOrder << SpinStart << PictureCells;
    commands->addWidget(start);

    QWidget *offset = group(this, &row);
    row->addWidget(toolLabel(offset, QStringLiteral("сдвиг, мм: вправо")));
    SpinOffsetX = offsetBox(offset, "SpinOffsetX", m_report->offset().x(),
                            QStringLiteral("сдвиг всего листа вправо (минус: влево)"));
    row->addWidget(SpinOffsetX);
    row->addWidget(toolLabel(offset, QStringLiteral("вниз")));
    SpinOffsetY = offsetBox(offset, "SpinOffsetY", m_report->offset().y(),
                            QStringLiteral("сдвиг всего листа вниз (минус: вверх)"));
    row->addWidget(SpinOffsetY);
    tabOrder << SpinOffsetX << SpinOffsetY;
    commands->addWidget(offset);

    QWidget *sheet = group(this, &row);
    auto *sheetButton = new CommandButton(ActionSheet, sheet);
    row->addWidget(sheetButton);
    LabelSheet = new QLabel(sheet);
    LabelSheet->setObjectName(QStringLiteral("LabelSheet"));
    row->addWidget(LabelSheet);
    tabOrder.append(sheetButton);
    commands->addWidget(sheet);

    QWidget *view = group(this, &row);
    for (QAction *action : {ActionZoomOut, ActionZoomIn, ActionFitWidth, ActionFitPage}) {
        auto *button = new CommandButton(action, view);
        row->addWidget(button);
        tabOrder.append(button);
    }
    commands->addWidget(view);

    QWidget *pages = group(this, &row);
    auto *prior = new CommandButton(ActionPriorPage, pages);
    LabelPage = new QLabel(pages);
    LabelPage->setObjectName(QStringLiteral("LabelPage"));
    auto *next = new CommandButton(ActionNextPage, pages);
    row->addWidget(prior);
    row->addWidget(LabelPage);
    row->addWidget(next);
    tabOrder << prior << next;
    commands->addWidget(pages);

    auto *close = new CommandButton(ActionClose, this);
    tabOrder.append(close);
    commands->addWidget(close);

    LabelCheckState = new QLabel(this);
    LabelCheckState->setObjectName(QStringLiteral("LabelCheckState"));
    LabelCheckState->setWordWrap(true);
    LabelCheckState->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_check = new LabelCheck(this);
    connect(m_check, &LabelCheck::progressed, this, &TFormPreview::showCheck);

    PreviewPages = new LabelPageView(m_report, this);
    PreviewPages->setObjectName(QStringLiteral("PreviewPages"));
    PreviewPages->setMinimumHeight(80);
    tabOrder.append(PreviewPages);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(commands);
    layout->addWidget(LabelCheckState);
    layout->addWidget(PreviewPages, 1);
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(PreviewPages, &LabelPageView::pageChanged, this, &TFormPreview::showPage);
    connect(ActionPrint, &QAction::triggered, this, &TFormPreview::ActionPrintClick);
    connect(ActionSavePdf, &QAction::triggered, this, &TFormPreview::ActionSavePdfClick);
    connect(ActionAlignmentSheet, &QAction::toggled, this, &TFormPreview::ActionAlignmentSheetClick);
    connect(ActionZoomOut, &QAction::triggered, PreviewPages, &LabelPageView::zoomOut);
    connect(ActionZoomIn, &QAction::triggered, PreviewPages, &LabelPageView::zoomIn);
    connect(ActionFitWidth, &QAction::triggered, PreviewPages, &LabelPageView::fitToWidth);
    connect(ActionFitPage, &QAction::triggered, PreviewPages, &LabelPageView::fitInView);
    connect(ActionSheet, &QAction::triggered, this, &TFormPreview::ActionSheetClick);
    connect(PictureCells, &SheetCellsPicture::usedChanged, this, &TFormPreview::PictureCellsChange);
    connect(ActionPriorPage, &QAction::triggered, this,
            [this] { PreviewPages->setCurrentPage(PreviewPages->currentPage() - 1); });
    connect(ActionNextPage, &QAction::triggered, this,
            [this] { PreviewPages->setCurrentPage(PreviewPages->currentPage() + 1); });
    connect(ActionClose, &QAction::triggered, this, &QDialog::reject);
    connect(SpinStart, &QSpinBox::valueChanged, this, &TFormPreview::SpinStartChange);
    connect(SpinOffsetX, &QDoubleSpinBox::valueChanged, this, &TFormPreview::SpinOffsetChange);
    connect(SpinOffsetY, &QDoubleSpinBox::valueChanged, this, &TFormPreview::SpinOffsetChange);
    showSheet();
    updatePreview(true);
    startCheck();

    // Tall enough to show the sheet at a readable size; on a narrow screen,
    // or at a large scale, the command rows wrap rather than hide anything.
    const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    resize(qMin(area.width() * 19 / 20, qMax(minimumSizeHint().width(), 1000)), area.height() * 9 / 10);
    // Opened to print: Enter or Space prints, Tab goes on to the settings.
    tabOrder.first()->setFocus();
}

TFormPreview::~TFormPreview()
{
    m_report->setAlignmentSheet(false);
}

void TFormPreview::updatePreview(bool first)
{
    ReportLayout pages;
    try {
        pages = m_report->pagesToMake();
    } catch (const AppError &e) {
        if (first)
            throw;
        platform::showError(this, e.text());
    }
    PreviewPages->setPages(pages);
}

qreal TFormPreview::printerDpi() const
{
    if (m_printer.printerName().isEmpty() || m_printer.outputFormat() == QPrinter::PdfFormat)
        return kPdfDpi;
    return m_printer.resolution();
}

void TFormPreview::showSheet()
{
    std::optional<SheetProduct> product;
    for (const SheetProduct &candidate : catalogueProducts()) {
        if (!m_report->sheetId().isEmpty() && candidate.id() == m_report->sheetId())
            product = candidate;
    }
    LabelSheet->setText(sheetName(product));
    const int places = qMax(1, m_report->positionsPerPage());
    SpinStart->blockSignals(true);
    SpinStart->setRange(1, places);
    SpinStart->blockSignals(false);
    QList<QRectF> cells;
    for (const PlacedBand &placed : m_report->alignmentPage().bands)
        cells.append(placed.rect);
    PictureCells->setSheet(cells, m_report->paperSize());

    // What the last sheet on this printer left free is offered first.
    LabelFreeCells->clear();
    const QList<int> free = readFreeCells(m_report->printerName(), m_report->sheetId());
    if (!free.isEmpty() && free.last() <= places && m_report->startPosition() == 1
        && m_report->usedPositions().isEmpty()) {
        QList<int> used;
        for (int position = free.first() + 1; position <= places; ++position) {
            if (!free.contains(position))
                used.append(position);
        }
        m_report->setStartPosition(free.first());
        m_report->setUsedPositions(used);
        LabelFreeCells->setText(freeCellsText(free.size()));
    }
    SpinStart->blockSignals(true);
    SpinStart->setValue(m_report->startPosition());
    SpinStart->blockSignals(false);
    showCells();
    showStartPlace();
}

void TFormPreview::showCells()
{
    QList<int> used = m_report->usedPositions();
    for (int position = 1; position < m_report->startPosition(); ++position)
        used.append(position);
    PictureCells->setUsedPositions(used);
}

void TFormPreview::PictureCellsChange()
{
    const QList<int> used = PictureCells->usedPositions();
    const int places = m_report->positionsPerPage();
    int start = 1;
    while (start <= places && used.contains(start))
        ++start;
    // A sheet with no free label left: the next one is fresh.
    if (start > places)
        start = 1;
    QList<int> after;
    for (int position : used) {
        if (position > start)
            after.append(position);
    }
    m_report->setStartPosition(start);
    m_report->setUsedPositions(after);
    SpinStart->blockSignals(true);
    SpinStart->setValue(start);
    SpinStart->blockSignals(false);
    showStartPlace();
    updatePreview();
    startCheck();
}

void TFormPreview::ActionSheetClick()
{
    const QPrinterInfo info(m_printer);
    const QPageSize paper
        = info.isNull() || !info.defaultPageSize().isValid() ? QPageSize(QPageSize::A4) : info.defaultPageSize();
    TFormSheetPicker picker(catalogueProducts(), paper.size(QPageSize::Millimeter), printerDpi(), m_check->symbology(),
                            m_report->sheetId(), this);
    if (picker.exec() != QDialog::Accepted)
        return;
    useSheet(m_report, picker.Picked);
    writeSheetChoice(m_report->printerName(), m_report->sheetId());
    m_printer.setPageLayout(
        QPageLayout(m_report->paper(), QPageLayout::Portrait, m_report->margins(), QPageLayout::Millimeter));
    m_report->setStartPosition(1);
    m_report->setUsedPositions({});
    showSheet();
    updatePreview();
    startCheck();
}

void TFormPreview::ActionPrintClick()
{
    QPrintDialog dialog(&m_printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (!labelsApproved(printerDpi()))
        return;
    const bool alignment = m_report->alignmentSheet();
    renderPages(m_report, &m_printer, this);
    // What the labels left free on their last sheet, for the next print.
    if (!alignment && !PreviewPages->pages().isEmpty())
        writeFreeCells(m_report->printerName(), m_report->sheetId(), m_report->freeOnLastPage(PreviewPages->pages()));
    // Printed: the preview's work is done.
    accept();
}

void TFormPreview::ActionSavePdfClick()
{
    if (!labelsApproved(kPdfDpi))
        return;
    QString fileName = platform::saveFileName(this, QStringLiteral("PDF (*.pdf)"), QString());
    if (fileName.isEmpty())
        return;
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += QStringLiteral(".pdf");
    std::optional<JobProgress> progress;
    const auto onPage = [&](qsizetype page, qsizetype pages) {
        if (!progress)
            progress.emplace(this, pages);
        return progress->onPage(page);
    };
    if (!m_report->writePdf(fileName, onPage))
        platform::showError(this, QStringLiteral("не удалось записать файл ") + QDir::toNativeSeparators(fileName));
}

void TFormPreview::ActionAlignmentSheetClick(bool on)
{
    m_report->setAlignmentSheet(on);
    // The sheet shows all places, so the first free one has no say.
    SpinStart->setEnabled(!on);
    PictureCells->setEnabled(!on);
    updatePreview();
}

void TFormPreview::SpinStartChange(int position)
{
    m_report->setStartPosition(position);
    QList<int> after;
    for (int used : m_report->usedPositions()) {
        if (used > position)
            after.append(used);
    }
    m_report->setUsedPositions(after);
    showCells();
    showStartPlace();
    updatePreview();
    startCheck();
}

void TFormPreview::SpinOffsetChange()
{
    m_report->editOffset(QPointF(SpinOffsetX->value(), SpinOffsetY->value()));
    updatePreview();
}

void TFormPreview::showStartPlace()
{
    const QPoint place = m_report->placeOf(m_report->startPosition());
    LabelStartPlace->setText(QStringLiteral("(столбец %1, ряд %2)").arg(place.x() + 1).arg(place.y() + 1));
}

void TFormPreview::startCheck()
{
    m_check->start(jobPages(), printerDpi());
}

ReportLayout TFormPreview::jobPages() const
{
    // The pages shown, which the check shares; the labels themselves while
    // the test sheet is shown in their place.
    if (!m_report->alignmentSheet())
        return PreviewPages->pages();
    try {
        return m_report->run();
    } catch (const AppError &) {
        // Too long for one job: the preview says so itself.
        return {};
    }
}

void TFormPreview::showCheck()
{
    LabelCheckState->setText(QStringLiteral("штрих-код %1, %2 точек на дюйм; %3")
                                 .arg(symbologyCaption(m_check->symbology()))
                                 .arg(m_check->dpi())
                                 .arg(m_check->summary()));
}

bool TFormPreview::labelsApproved(qreal dpi)
{
    // The test sheet carries no bar codes.
    if (m_report->alignmentSheet())
        return true;
    // Printed elsewhere than the preview's printer: read again at that
    // printer's resolution.
    if (m_check->dpi() != dpi)
        m_check->start(jobPages(), dpi);
    m_check->finish();
    const QList<LabelFault> &faults = m_check->faults();
    if (faults.isEmpty())
        return true;
    const LabelFault &first = faults.first();
    return AskYesNo(QStringLiteral("Не все наклейки прочтёт сканер: ошибок %1; первая — страница %2, столбец %3, "
                                   "ряд %4: %5.|Всё равно печатать?")
                        .arg(faults.size())
                        .arg(first.page)
                        .arg(first.column)
                        .arg(first.row)
                        .arg(first.reason),
                    this);
}

void TFormPreview::showPage()
{
    LabelPage->setText(
        QStringLiteral("страница %1 из %2").arg(PreviewPages->currentPage()).arg(PreviewPages->pageCount()));
    ActionPriorPage->setEnabled(PreviewPages->currentPage() > 1);
    ActionNextPage->setEnabled(PreviewPages->currentPage() < PreviewPages->pageCount());
}

void previewReport(BandReport *report, QWidget *parent)
{
    report->asJob([&] {
        // A range too long for one job is refused before the window opens.
        TFormPreview preview(report, parent);
        preview.exec();
    });
}

void printReport(BandReport *report, QPrinter *printer)
{
    report->asJob([&] { renderPages(report, printer, nullptr); });
}
