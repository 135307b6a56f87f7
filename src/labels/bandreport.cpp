#include "labels/bandreport.h"

#include "db/errors.h"
#include "dialogs/uiplatform.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <QStyle>
#include <QToolBar>

namespace {

constexpr qreal mmPerInch = 25.4;
// About one screen pixel, thin enough to cut along.
constexpr qreal frameWidthMm = 0.25;

QRectF toDevice(const QRectF &mm, const QPaintDevice *device)
{
    const qreal sx = device->logicalDpiX() / mmPerInch;
    const qreal sy = device->logicalDpiY() / mmPerInch;
    return QRectF(mm.x() * sx, mm.y() * sy, mm.width() * sx, mm.height() * sy);
}

QPageLayout pageLayout(const QPageSize &paper, const QMarginsF &margins)
{
    return QPageLayout(paper, QPageLayout::Portrait, margins, QPageLayout::Millimeter);
}

} // namespace

QFont reportFont(qreal pointSize, bool italic)
{
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setItalic(italic);
    return font;
}

ReportLabel::ReportLabel(const QString &name, ReportBand *band, const QRectF &geometryMm)
    : QObject(band), m_geometry(geometryMm), m_font(reportFont(10))
{
    setObjectName(name);
    band->m_labels.append(this);
}

void ReportLabel::paint(QPainter &painter, const QRectF &box, const QString &caption) const
{
    QRectF area = box;
    if (m_autoSize && !caption.isEmpty()) {
        const qreal width = QFontMetricsF(m_font, painter.device()).horizontalAdvance(caption);
        if (width > area.width())
            area.setWidth(width);
    }
    painter.fillRect(area, Qt::white);
    paintContent(painter, area, caption);
}

void ReportLabel::paintContent(QPainter &painter, const QRectF &box, const QString &caption) const
{
    if (caption.isEmpty())
        return;
    painter.setFont(m_font);
    painter.setPen(Qt::black);
    painter.drawText(box, int(m_alignment) | (m_wordWrap ? Qt::TextWordWrap : 0), caption);
}

ReportBand::ReportBand(const QString &name, BandReport *report, Kind kind, qreal heightMm)
    : QObject(report), m_kind(kind), m_height(heightMm)
{
    setObjectName(name);
    report->m_bands.append(this);
}

QString PlacedBand::caption(const QString &labelName) const
{
    const QList<ReportLabel *> &labels = band->labels();
    for (qsizetype i = 0; i < labels.size(); ++i) {
        if (labels[i]->objectName() == labelName)
            return captions.value(i);
    }
    return QString();
}

QRectF PlacedBand::labelRect(const QString &labelName) const
{
    for (const ReportLabel *label : band->labels()) {
        if (label->objectName() == labelName)
            return label->geometry().translated(rect.topLeft());
    }
    return QRectF();
}

BandReport::BandReport(const QString &name, QObject *parent) : QObject(parent)
{
    setObjectName(name);
}

void BandReport::setPage(const QPageSize &size, const QMarginsF &marginsMm)
{
    m_paper = size;
    m_margins = marginsMm;
}

void BandReport::setColumns(int count, qreal spaceMm)
{
    m_columns = qMax(1, count);
    m_columnSpace = spaceMm;
}

qreal BandReport::columnWidth() const
{
    const qreal printable = paperSize().width() - m_margins.left() - m_margins.right();
    return (printable - (m_columns - 1) * m_columnSpace) / m_columns;
}

template <typename F>
auto BandReport::asJob(F &&work)
{
    emit jobStarted();
    try {
        if constexpr (std::is_void_v<decltype(work())>) {
            work();
            emit jobFinished();
        } else {
            auto result = work();
            emit jobFinished();
            return result;
        }
    } catch (...) {
        emit jobFinished();
        throw;
    }
}

ReportLayout BandReport::layOut()
{
    return asJob([&] { return run(); });
}

PlacedBand BandReport::place(const ReportBand *band, int column, int row, const QRectF &rect) const
{
    PlacedBand placed;
    placed.band = band;
    placed.column = column;
    placed.row = row;
    placed.rect = rect;
    placed.captions.reserve(band->labels().size());
    for (const ReportLabel *label : band->labels())
        placed.captions.append(label->caption());
    return placed;
}

ReportLayout BandReport::run()
{
    ReportLayout pages;
    bool printReport = true;
    if (onBeforePrint)
        onBeforePrint(this, printReport);
    if (!printReport)
        return pages;

    ReportBand *footer = nullptr;
    ReportBand *detail = nullptr;
    for (ReportBand *band : std::as_const(m_bands)) {
        if (band->kind() == ReportBand::PageFooter && !footer)
            footer = band;
        if (band->kind() == ReportBand::Detail && !detail)
            detail = band;
    }

    const QSizeF paper = paperSize();
    const qreal footerHeight = footer ? footer->height() : 0;
    const qreal bottom = paper.height() - m_margins.bottom() - footerHeight;
    const qreal width = columnWidth();
    int rows = 0;
    if (detail && detail->height() > 0)
        rows = qMax(1, int((bottom - m_margins.top()) / detail->height() + 1e-9));

    auto closePage = [&] {
        if (!footer)
            return;
        bool printBand = true;
        if (footer->onBeforePrint)
            footer->onBeforePrint(footer, printBand);
        if (printBand) {
            const QRectF rect(m_margins.left(), bottom, paper.width() - m_margins.left() - m_margins.right(),
                              footerHeight);
            pages.last().bands.append(place(footer, 0, 0, rect));
        }
    };

    // Every page is laid out before the first is shown; a range typed with
    // a digit too many must end in a message, not in all of memory.
    constexpr qsizetype kMaxPages = 2000;

    // Printed even when empty, so the first page exists before any band.
    pages.append(ReportPage{1, {}});
    int column = 0;
    int row = 0;
    while (rows > 0 && detail->onNeedData) {
        bool moreData = false;
        detail->onNeedData(detail, moreData);
        if (!moreData)
            break;
        if (row == rows) {
            row = 0;
            if (++column == m_columns) {
                if (pages.size() == kMaxPages)
                    throw AppError(QStringLiteral("Слишком много наклеек: за один раз печатается не больше %1 страниц.")
                                       .arg(kMaxPages));
                closePage();
                pages.append(ReportPage{int(pages.size()) + 1, {}});
                column = 0;
            }
        }
        const QRectF rect(m_margins.left() + column * (width + m_columnSpace),
                          m_margins.top() + row * detail->height(), width, detail->height());
        pages.last().bands.append(place(detail, column, row, rect));
        ++row;
    }
    closePage();
    return pages;
}

void BandReport::paintPage(QPainter &painter, const ReportPage &page) const
{
    const QPaintDevice *device = painter.device();
    painter.save();
    // Bars and frames on whole device pixels; antialiasing would grey their edges.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    QPen frame(Qt::black, frameWidthMm * device->logicalDpiX() / mmPerInch);
    frame.setJoinStyle(Qt::MiterJoin);
    for (const PlacedBand &placed : page.bands) {
        const QList<ReportLabel *> &labels = placed.band->labels();
        for (qsizetype i = 0; i < labels.size(); ++i) {
            const QRectF box = toDevice(labels[i]->geometry().translated(placed.rect.topLeft()), device);
            labels[i]->paint(painter, box, placed.captions.value(i));
        }
        if (placed.band->framed()) {
            painter.setPen(frame);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(toDevice(placed.rect, device));
        }
    }
    painter.restore();
}

QImage BandReport::pageImage(const ReportPage &page, qreal dpi) const
{
    const QSizeF paper = paperSize();
    QImage image(qRound(paper.width() * dpi / mmPerInch), qRound(paper.height() * dpi / mmPerInch),
                 QImage::Format_RGB32);
    const int dotsPerMeter = qRound(dpi / mmPerInch * 1000);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.fill(Qt::white);
    QPainter painter(&image);
    paintPage(painter, page);
    return image;
}

void BandReport::render(QPrinter *printer)
{
    // The layout places everything from the paper's corner, margins included.
    printer->setFullPage(true);
    QPainter painter;
    if (!painter.begin(printer))
        return;
    ReportLayout pages;
    try {
        pages = run();
    } catch (const AppError &e) {
        // Called from the preview's repaint, where no error may pass.
        painter.end();
        platform::showError(nullptr, e.text());
        return;
    }
    for (qsizetype i = 0; i < pages.size(); ++i) {
        if (i > 0)
            printer->newPage();
        paintPage(painter, pages[i]);
    }
    painter.end();
}



bool BandReport::writePdf(const QString &fileName)
{
    QPdfWriter writer(fileName);
    writer.setPageLayout(pageLayout(m_paper, QMarginsF()));
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    const ReportLayout pages = run();
    for (qsizetype i = 0; i < pages.size(); ++i) {
        if (i > 0)
            writer.newPage();
        paintPage(painter, pages[i]);
    }
    return painter.end();
}

void BandReport::print(QPrinter *printer)
{
    asJob([&] { render(printer); });
}

bool BandReport::exportPdf(const QString &fileName)
{
    return asJob([&] { return writePdf(fileName); });
}

void BandReport::savePdf(QWidget *parent)
{
    QString fileName = platform::saveFileName(parent, QStringLiteral("PDF (*.pdf)"));
    if (fileName.isEmpty())
        return;
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += QStringLiteral(".pdf");
    if (!writePdf(fileName))
        platform::showError(parent, QStringLiteral("не удалось записать файл ") + QDir::toNativeSeparators(fileName));
}

void BandReport::Preview(QWidget *parent)
{
    asJob([&] { showPreview(parent); });
}

void BandReport::showPreview(QWidget *parent)
{
    // A range too long for one job is refused before the window opens.
    run();
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(pageLayout(m_paper, m_margins));
    printer.setFullPage(true);
    printer.setCopyCount(1);
    printer.setDuplex(QPrinter::DuplexNone);
    printer.setPrintRange(QPrinter::AllPages);
    printer.setPaperSource(QPrinter::Auto);

    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("предварительный просмотр"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, &BandReport::render);
    if (QToolBar *toolBar = dialog.findChild<QToolBar *>()) {
        toolBar->addSeparator();
        QAction *save = toolBar->addAction(dialog.style()->standardIcon(QStyle::SP_DialogSaveButton),
                                           QStringLiteral("сохранить в PDF"));
        save->setObjectName(QStringLiteral("ActionSavePdf"));
        save->setShortcut(QKeySequence::Save);
        save->setToolTip(QStringLiteral("сохранить в PDF (%1)").arg(save->shortcut().toString(QKeySequence::NativeText)));
        connect(save, &QAction::triggered, &dialog, [this, &dialog] { savePdf(&dialog); });
        // At its default width the dialog hides the last commands, the PDF
        // export among them, behind the toolbar's overflow button; and a
        // taller window shows the sheet at a readable size.
        const QRect area = dialog.screen()->availableGeometry();
        dialog.resize(qMin(area.width(), qMax(dialog.sizeHint().width(), toolBar->sizeHint().width() + 24)),
                      area.height() * 9 / 10);
    }
    dialog.exec();
}
