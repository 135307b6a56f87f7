#include "report/bandreport.h"

#include "base/errors.h"

#include <QFile>
#include <QFontMetricsF>
#include <QImage>
#include <QLocale>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

#include <cmath>

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

void ReportLabel::paint(QPainter &painter, const QRectF &box, const QString &caption, qreal fontScale) const
{
    QFont font = m_font;
    if (fontScale != 1)
        font.setPointSizeF(m_font.pointSizeF() * fontScale);
    QRectF area = box;
    if (m_autoSize && !caption.isEmpty()) {
        const qreal width = QFontMetricsF(font, painter.device()).horizontalAdvance(caption);
        if (width > area.width())
            area.setWidth(width);
    }
    painter.fillRect(area, Qt::white);
    painter.setFont(font);
    paintContent(painter, area, caption);
}

void ReportLabel::paintContent(QPainter &painter, const QRectF &box, const QString &caption) const
{
    if (caption.isEmpty())
        return;
    painter.setPen(Qt::black);
    // A label that grows with its caption keeps it on one line: measured
    // by advance, an italic caption's last glyph overhangs the box and
    // word wrap would push the page number onto a second, clipped line.
    const bool wrap = m_wordWrap && !m_autoSize;
    painter.drawText(box, int(m_alignment) | (wrap ? Qt::TextWordWrap : Qt::TextSingleLine), caption);
}

bool ReportLabel::holds(const QString &caption) const
{
    if (m_autoSize || caption.isEmpty())
        return true;
    // Measured at a printer's resolution, where the sheet is made.
    constexpr qreal dpi = 1200;
    QImage device(1, 1, QImage::Format_Mono);
    device.setDotsPerMeterX(qRound(dpi / mmPerInch * 1000));
    device.setDotsPerMeterY(qRound(dpi / mmPerInch * 1000));
    const QRectF box = toDevice(QRectF(QPointF(), m_geometry.size()), &device);
    const int flags = int(m_alignment) | (m_wordWrap ? Qt::TextWordWrap : Qt::TextSingleLine);
    const QRectF needed = QFontMetricsF(m_font, &device).boundingRect(box, flags, caption);
    return needed.width() <= box.width() && needed.height() <= box.height();
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
        if (label->objectName() == labelName) {
            const QRectF g = label->geometry();
            return QRectF(rect.x() + g.x() * scale.width(), rect.y() + g.y() * scale.height(),
                          g.width() * scale.width(), g.height() * scale.height());
        }
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

const ReportBand *BandReport::firstBand(ReportBand::Kind kind) const
{
    for (const ReportBand *band : m_bands) {
        if (band->kind() == kind)
            return band;
    }
    return nullptr;
}

int BandReport::positionsPerPage() const
{
    return m_cells.isEmpty() ? rowsPerColumn() * m_columns : int(m_cells.size());
}

void BandReport::setCells(const QList<QRectF> &cellsMm, const QSizeF &designMm)
{
    m_cells = cellsMm;
    m_design = designMm;
    m_cellPlaces.clear();
    // A new column wherever the places step to the right.
    int column = -1;
    int row = 0;
    for (qsizetype i = 0; i < m_cells.size(); ++i) {
        if (i == 0 || m_cells[i].x() > m_cells[i - 1].x() + 0.05) {
            ++column;
            row = 0;
        }
        m_cellPlaces.append(QPoint(column, row++));
    }
    setStartPosition(m_startPosition);
}

int BandReport::positionOf(int column, int row) const
{
    if (m_cells.isEmpty())
        return column * rowsPerColumn() + row + 1;
    return int(m_cellPlaces.indexOf(QPoint(column, row))) + 1;
}

QList<int> BandReport::freeOnLastPage(const ReportLayout &pages) const
{
    QList<int> free;
    if (pages.isEmpty())
        return free;
    QList<bool> taken(positionsPerPage() + 1, false);
    for (const PlacedBand &placed : pages.last().bands) {
        if (placed.band->kind() == ReportBand::Detail && placed.position < taken.size())
            taken[placed.position] = true;
    }
    const bool firstPage = pages.size() == 1;
    // On the first page, the places passed over were used before.
    for (int position = 1; position < taken.size(); ++position) {
        if (taken[position])
            continue;
        if (firstPage && (position < m_startPosition || m_used.contains(position)))
            continue;
        free.append(position);
    }
    return free;
}

QPoint BandReport::placeOf(int position) const
{
    if (!m_cells.isEmpty())
        return m_cellPlaces.value(qBound(1, position, int(m_cells.size())) - 1);
    const int rows = qMax(1, rowsPerColumn());
    return QPoint((position - 1) / rows, (position - 1) % rows);
}

int BandReport::rowsPerColumn() const
{
    if (!m_cells.isEmpty()) {
        int rows = 0;
        for (const QPoint &place : m_cellPlaces)
            rows = qMax(rows, place.y() + 1);
        return rows;
    }
    const ReportBand *detail = firstBand(ReportBand::Detail);
    const ReportBand *footer = firstBand(ReportBand::PageFooter);
    if (!detail || detail->height() <= 0)
        return 0;
    const qreal bottom = paperSize().height() - m_margins.bottom() - (footer ? footer->height() : 0);
    return qMax(1, int((bottom - m_margins.top()) / detail->height() + 1e-9));
}

void BandReport::setStartPosition(int position)
{
    m_startPosition = qBound(1, position, qMax(1, positionsPerPage()));
}

void BandReport::setOffset(const QPointF &offsetMm)
{
    // Tenths of a millimetre, within the range a printer can be off by.
    auto tenths = [](qreal mm) {
        return std::isfinite(mm) ? std::round(qBound(-kMaxOffsetMm, mm, kMaxOffsetMm) * 10) / 10 : 0.0;
    };
    m_offset = QPointF(tenths(offsetMm.x()), tenths(offsetMm.y()));
}

void BandReport::setPrinterChoice(const QString &printerName, const QString &paperSource)
{
    m_printerName = printerName;
    m_paperSource = paperSource;
}

void BandReport::choosePrinter(const QString &printerName, const QString &paperSource)
{
    setPrinterChoice(printerName, paperSource);
    emit printerChosen(printerName, paperSource);
}

void BandReport::editOffset(const QPointF &offsetMm)
{
    setOffset(offsetMm);
    emit offsetChanged(m_offset);
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
    placed.position = positionOf(column, row);
    if (!m_cells.isEmpty() && band->kind() == ReportBand::Detail)
        placed.scale = QSizeF(rect.width() / m_design.width(), rect.height() / m_design.height());
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

    ReportBand *footer = const_cast<ReportBand *>(firstBand(ReportBand::PageFooter));
    ReportBand *detail = const_cast<ReportBand *>(firstBand(ReportBand::Detail));

    const QSizeF paper = paperSize();
    const qreal footerHeight = footer ? footer->height() : 0;
    const qreal bottom = paper.height() - m_margins.bottom() - footerHeight;
    const qreal width = columnWidth();
    const int rows = rowsPerColumn();

    // On stock of another make the page number goes below the labels, where
    // there is room for it.
    qreal lowest = 0;
    for (const QRectF &cell : std::as_const(m_cells))
        lowest = qMax(lowest, cell.bottom());
    const bool footerRoom = m_cells.isEmpty() || lowest <= bottom;

    auto closePage = [&] {
        if (!footer || !footerRoom)
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
    // The used places at the head of the first sheet are skipped.
    const int skipped = rows > 0 ? qBound(0, m_startPosition - 1, rows * m_columns - 1) : 0;
    int column = rows > 0 ? skipped / rows : 0;
    int row = rows > 0 ? skipped % rows : 0;
    if (!m_cells.isEmpty()) {
        const int places = int(m_cells.size());
        int place = qBound(0, m_startPosition - 1, places - 1);
        while (detail && detail->onNeedData) {
            bool moreData = false;
            detail->onNeedData(detail, moreData);
            if (!moreData)
                break;
            while (pages.size() == 1 && place < places && m_used.contains(place + 1))
                ++place;
            if (place == places) {
                if (pages.size() == kMaxPages)
                    throw AppError(QStringLiteral("Слишком много наклеек: за один раз печатается не больше %1 страниц.")
                                       .arg(kMaxPages));
                closePage();
                pages.append(ReportPage{int(pages.size()) + 1, {}});
                place = 0;
            }
            const QPoint at = m_cellPlaces[place];
            pages.last().bands.append(this->place(detail, at.x(), at.y(), m_cells[place]));
            ++place;
        }
        closePage();
        return pages;
    }
    while (rows > 0 && detail->onNeedData) {
        bool moreData = false;
        detail->onNeedData(detail, moreData);
        if (!moreData)
            break;
        for (;;) {
            if (row == rows) {
                row = 0;
                if (++column == m_columns) {
                    if (pages.size() == kMaxPages)
                        throw AppError(
                            QStringLiteral("Слишком много наклеек: за один раз печатается не больше %1 страниц.")
                                .arg(kMaxPages));
                    closePage();
                    pages.append(ReportPage{int(pages.size()) + 1, {}});
                    column = 0;
                }
            }
            // Used places of the first sheet stay blank.
            if (pages.size() > 1 || !m_used.contains(column * rows + row + 1))
                break;
            ++row;
        }
        const QRectF rect(m_margins.left() + column * (width + m_columnSpace), m_margins.top() + row * detail->height(),
                          width, detail->height());
        pages.last().bands.append(place(detail, column, row, rect));
        ++row;
    }
    closePage();
    return pages;
}

void BandReport::beginPage(QPainter &painter) const
{
    const QPaintDevice *device = painter.device();
    // Bars and frames on whole device pixels; antialiasing would grey their
    // edges, and so would an offset of a fraction of a pixel.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.translate(std::round(m_offset.x() * device->logicalDpiX() / mmPerInch),
                      std::round(m_offset.y() * device->logicalDpiY() / mmPerInch));
}

void BandReport::paintPage(QPainter &painter, const ReportPage &page) const
{
    if (page.alignment) {
        paintAlignment(painter, page);
        return;
    }
    const QPaintDevice *device = painter.device();
    painter.save();
    beginPage(painter);
    QPen frame(Qt::black, frameWidthMm * device->logicalDpiX() / mmPerInch);
    frame.setJoinStyle(Qt::MiterJoin);
    for (const PlacedBand &placed : page.bands) {
        const QList<ReportLabel *> &labels = placed.band->labels();
        // A band on a place of another size, in proportion.
        const bool scaled = !m_cells.isEmpty() && placed.band->kind() == ReportBand::Detail;
        const qreal sx = placed.scale.width();
        const qreal sy = placed.scale.height();
        for (qsizetype i = 0; i < labels.size(); ++i) {
            if (scaled) {
                const QRectF g = labels[i]->geometry();
                const QRectF box(placed.rect.x() + g.x() * sx, placed.rect.y() + g.y() * sy, g.width() * sx,
                                 g.height() * sy);
                labels[i]->paint(painter, toDevice(box, device), placed.captions.value(i), sy);
                continue;
            }
            const QRectF box = toDevice(labels[i]->geometry().translated(placed.rect.topLeft()), device);
            labels[i]->paint(painter, box, placed.captions.value(i));
        }
        if (placed.band->framed() && !scaled) {
            painter.setPen(frame);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(toDevice(placed.rect, device));
        }
    }
    painter.restore();
}

ReportPage BandReport::alignmentPage() const
{
    ReportPage page{1, {}, true};
    const ReportBand *detail = firstBand(ReportBand::Detail);
    const int rows = rowsPerColumn();
    if (!detail)
        return page;
    for (qsizetype i = 0; i < m_cells.size(); ++i) {
        PlacedBand placed;
        placed.band = detail;
        placed.column = m_cellPlaces[i].x();
        placed.row = m_cellPlaces[i].y();
        placed.rect = m_cells[i];
        page.bands.append(placed);
    }
    if (!m_cells.isEmpty())
        return page;
    // The same places a run of labels fills, column by column.
    const qreal width = columnWidth();
    for (int column = 0; column < m_columns; ++column) {
        for (int row = 0; row < rows; ++row) {
            const QRectF rect(m_margins.left() + column * (width + m_columnSpace),
                              m_margins.top() + row * detail->height(), width, detail->height());
            PlacedBand placed;
            placed.band = detail;
            placed.column = column;
            placed.row = row;
            placed.rect = rect;
            page.bands.append(placed);
        }
    }
    return page;
}

void BandReport::paintAlignment(QPainter &painter, const ReportPage &page) const
{
    const QPaintDevice *device = painter.device();
    const qreal dots = device->logicalDpiX() / mmPerInch;
    painter.save();
    beginPage(painter);
    painter.setBrush(Qt::NoBrush);

    // The outlines, drawn as the labels' frames are, each with its place
    // number as the first free label counts it.
    QPen frame(Qt::black, frameWidthMm * dots);
    frame.setJoinStyle(Qt::MiterJoin);
    QFont number = reportFont(14);
    number.setBold(true);
    QRectF cells;
    int position = 0;
    for (const PlacedBand &placed : page.bands) {
        ++position;
        const QRectF rect = toDevice(placed.rect, device);
        painter.setPen(frame);
        painter.drawRect(rect);
        painter.setFont(number);
        painter.setPen(QColor(96, 96, 96));
        painter.drawText(rect, Qt::AlignCenter, QString::number(position));
        cells |= placed.rect;
    }
    if (cells.isEmpty()) {
        painter.restore();
        return;
    }

    // Millimetres from the paper's corner, along the outlines' top and left
    // edges, ticks pointing inwards: a tick's number is where it should lie
    // on the paper.
    painter.setPen(QPen(Qt::black, 0.15 * dots));
    QFont scale = reportFont(5);
    painter.setFont(scale);
    const auto tickLength = [](int mm) { return mm % 10 == 0 ? 3.0 : mm % 5 == 0 ? 2.0 : 1.2; };
    for (int mm = int(std::ceil(cells.left())); mm <= int(std::floor(cells.right())); ++mm) {
        painter.drawLine(QPointF(mm, cells.top()) * dots, QPointF(mm, cells.top() + tickLength(mm)) * dots);
        if (mm % 10 == 0)
            painter.drawText(QPointF(mm + 0.4, cells.top() + 2.6) * dots, QString::number(mm));
    }
    for (int mm = int(std::ceil(cells.top())); mm <= int(std::floor(cells.bottom())); ++mm) {
        painter.drawLine(QPointF(cells.left(), mm) * dots, QPointF(cells.left() + tickLength(mm), mm) * dots);
        if (mm % 10 == 0)
            painter.drawText(QPointF(cells.left() + 3.4, mm + 0.7) * dots, QString::number(mm));
    }

    // What the sheet is for, in the free strip below the outlines.
    painter.setFont(reportFont(8));
    painter.setPen(Qt::black);
    const QRectF note(cells.left(), cells.bottom() + 1.5, cells.width(), 4.5);
    painter.drawText(toDevice(note, device), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     QStringLiteral("пробный лист: наложите на чистый лист наклеек и сверьте рамки с прорезями; "
                                    "сдвиг вправо %1 мм, вниз %2 мм")
                         .arg(QLocale(QLocale::Russian).toString(m_offset.x(), 'f', 1),
                              QLocale(QLocale::Russian).toString(m_offset.y(), 'f', 1)));
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

ReportLayout BandReport::pagesToMake()
{
    if (m_alignmentSheet)
        return {alignmentPage()};
    return run();
}

bool BandReport::writePdf(const QString &fileName, const PageProgress &progress)
{
    QPdfWriter writer(fileName);
    writer.setPageLayout(QPageLayout(m_paper, QPageLayout::Portrait, QMarginsF(), QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    const ReportLayout pages = pagesToMake();
    for (qsizetype i = 0; i < pages.size(); ++i) {
        if (progress && !progress(i, pages.size())) {
            painter.end();
            QFile::remove(fileName);
            return true;
        }
        if (i > 0)
            writer.newPage();
        paintPage(painter, pages[i]);
    }
    return painter.end();
}

bool BandReport::exportPdf(const QString &fileName)
{
    return asJob([&] { return writePdf(fileName); });
}
