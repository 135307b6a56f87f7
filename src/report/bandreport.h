#pragma once

#include <QFont>
#include <QList>
#include <QMarginsF>
#include <QObject>
#include <QPageSize>
#include <QPoint>
#include <QPointF>
#include <QRectF>
#include <QStringList>

#include <functional>
#include <type_traits>

class QImage;
class QPainter;
class BandReport;
class ReportBand;

// The report's sans-serif face: Arial where installed, else its
// metric-compatible twin, so captions keep their widths.
QFont reportFont(qreal pointSize, bool italic = false);

// A text box on a band, placed in millimetres from the band's top-left corner
// and painted on an opaque white background.
class ReportLabel : public QObject {
    Q_OBJECT
public:
    ReportLabel(const QString &name, ReportBand *band, const QRectF &geometryMm);

    QRectF geometry() const { return m_geometry; }
    QString caption() const { return m_caption; }
    void setCaption(const QString &caption) { m_caption = caption; }
    QFont font() const { return m_font; }
    void setFont(const QFont &font) { m_font = font; }
    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment) { m_alignment = alignment; }
    void setAutoSize(bool autoSize) { m_autoSize = autoSize; }
    void setWordWrap(bool wordWrap) { m_wordWrap = wordWrap; }

    // Paints a caption taken at layout time into its box, given in device
    // pixels; on a band drawn at another size, its font in proportion.
    void paint(QPainter &painter, const QRectF &box, const QString &caption, qreal fontScale = 1) const;
    // Whether the caption is painted whole: within the box's width, and on
    // as many lines as its height holds. What does not fit is cut off.
    bool holds(const QString &caption) const;

protected:
    virtual void paintContent(QPainter &painter, const QRectF &box, const QString &caption) const;

private:
    QRectF m_geometry;
    QString m_caption;
    QFont m_font;
    Qt::Alignment m_alignment = Qt::AlignLeft;
    bool m_autoSize = false;
    bool m_wordWrap = true;
};

// A strip of the page that carries labels: either the repeated detail band or
// the page footer.
class ReportBand : public QObject {
    Q_OBJECT
public:
    enum Kind { Detail, PageFooter };

    ReportBand(const QString &name, BandReport *report, Kind kind, qreal heightMm);

    Kind kind() const { return m_kind; }
    qreal height() const { return m_height; }
    bool framed() const { return m_framed; }
    void setFramed(bool framed) { m_framed = framed; }
    const QList<ReportLabel *> &labels() const { return m_labels; }

    // Detail bands: asked before each band whether there is another one.
    std::function<void(QObject *sender, bool &moreData)> onNeedData;
    // Called before the band is laid out; clearing the flag skips it.
    std::function<void(ReportBand *sender, bool &printBand)> onBeforePrint;

private:
    friend class ReportLabel;
    Kind m_kind;
    qreal m_height;
    bool m_framed = false;
    QList<ReportLabel *> m_labels;
};

// One band as laid out on a page, with its labels' captions as they were
// when it was placed. Lengths are millimetres from the paper's corner.
struct PlacedBand {
    const ReportBand *band = nullptr;
    int column = 0;
    int row = 0;
    // The place on the sheet, counted from 1 down the first column.
    int position = 0;
    QRectF rect;
    // Its labels' geometry to the band's place: other than one on label
    // stock of another make.
    QSizeF scale{1, 1};
    QStringList captions;

    QString caption(const QString &labelName) const;
    QRectF labelRect(const QString &labelName) const;
};

struct ReportPage {
    int number = 0;
    QList<PlacedBand> bands;
    // The printer alignment sheet: the detail bands are outlines to hold
    // against a blank sheet, numbered, with millimetre rulers.
    bool alignment = false;
};

using ReportLayout = QList<ReportPage>;

// A banded report on one page layout: detail bands fill several columns, each
// from top to bottom before the next, under a footer on every page. It lays
// its pages out, paints them and writes them as PDF; printing and the
// preview window are the UI's (ui/labelpreview.h).
class BandReport : public QObject {
    Q_OBJECT
public:
    explicit BandReport(const QString &name, QObject *parent);

    void setPage(const QPageSize &size, const QMarginsF &marginsMm);
    void setColumns(int count, qreal spaceMm);
    QPageSize paper() const { return m_paper; }
    QMarginsF margins() const { return m_margins; }
    QSizeF paperSize() const { return m_paper.size(QPageSize::Millimeter); }
    qreal columnWidth() const;
    int columns() const { return m_columns; }
    // Detail bands down one column, and on a whole page.
    int rowsPerColumn() const;
    int positionsPerPage() const;

    // The detail bands' places on label stock of another make, in
    // millimetres from the paper's corner, column by column; each band is
    // drawn at its place's size, its labels and fonts in proportion to
    // designMm, without a frame. Empty: the columns of setColumns().
    void setCells(const QList<QRectF> &cellsMm, const QSizeF &designMm);
    const QList<QRectF> &cells() const { return m_cells; }
    // The label stock's product id, empty for the designed sheet; kept by
    // whoever sets the cells.
    QString sheetId() const { return m_sheetId; }
    void setSheetId(const QString &id) { m_sheetId = id; }
    // The column and row, from 0, of a place counted from 1.
    QPoint placeOf(int position) const;

    // The first place on the first page that gets a detail band, counted down
    // the first column, then down the next (1 is the top of the first
    // column); the places before it stay blank, as on a sheet of labels whose
    // first ones are used. Later pages start at 1.
    int startPosition() const { return m_startPosition; }
    void setStartPosition(int position);
    // Places of the first page after the start that are used too, left
    // blank as those before it.
    const QList<int> &usedPositions() const { return m_used; }
    void setUsedPositions(const QList<int> &positions) { m_used = positions; }
    // The places of the last page a run leaves free, counted from 1.
    QList<int> freeOnLastPage(const ReportLayout &pages) const;

    // Moves everything on the page by this many millimetres (right and
    // down), for a printer that does not put the image where it should;
    // up to this far either way, in tenths.
    static constexpr qreal kMaxOffsetMm = 10;
    QPointF offset() const { return m_offset; }
    void setOffset(const QPointF &offsetMm);
    // The same, as the user set it in the preview: kept for them
    // (offsetChanged).
    void editOffset(const QPointF &offsetMm);

    // The alignment sheet: one page with an empty detail band at every
    // place, where a run of labels would put them. While alignmentSheet()
    // is on, a print or export makes that page instead of the labels; the
    // preview's "пробный лист" switches it for as long as it is open.
    ReportPage alignmentPage() const;
    bool alignmentSheet() const { return m_alignmentSheet; }
    void setAlignmentSheet(bool on) { m_alignmentSheet = on; }

    // The printer and paper source the preview's print command offers; a
    // print through it reports what was used with choosePrinter().
    void setPrinterChoice(const QString &printerName, const QString &paperSource);
    QString printerName() const { return m_printerName; }
    QString paperSource() const { return m_paperSource; }
    // A print went to this printer with this paper source (printerChosen).
    void choosePrinter(const QString &printerName, const QString &paperSource);

    // Called at the start of every run.
    std::function<void(BandReport *sender, bool &printReport)> onBeforePrint;

    // A run of the report: its pages laid out. Every page is laid out
    // before the first is shown; a range of more than 2,000 pages raises
    // AppError.
    ReportLayout run();
    // What a print or export makes: the labels, or the alignment sheet.
    ReportLayout pagesToMake();

    // Asked before each page of a long job: the page's index and the
    // pages there are; false stops the job.
    using PageProgress = std::function<bool(qsizetype page, qsizetype pages)>;

    // Each of these is one job: one run of the report, or for the preview one
    // run per repaint, print or save.
    ReportLayout layOut();
    // False when the file cannot be written.
    bool exportPdf(const QString &fileName);
    // The same within a job already going (the preview's); stopped by
    // progress, it leaves no file.
    bool writePdf(const QString &fileName, const PageProgress &progress = {});
    // Runs work between jobStarted and jobFinished, also when it throws.
    template <typename F> auto asJob(F &&work);

    // Paints one laid-out page; the painter's origin is the paper's corner.
    void paintPage(QPainter &painter, const ReportPage &page) const;
    QImage pageImage(const ReportPage &page, qreal dpi) const;

signals:
    // A preview, print or export is about to run the report, or is over.
    void jobStarted();
    void jobFinished();
    // The offset was changed in the preview.
    void offsetChanged(const QPointF &offsetMm);
    // A print went to this printer, with this paper source (empty: the
    // printer's own choice).
    void printerChosen(const QString &printerName, const QString &paperSource);

private:
    friend class ReportBand;
    void beginPage(QPainter &painter) const;
    void paintAlignment(QPainter &painter, const ReportPage &page) const;
    PlacedBand place(const ReportBand *band, int column, int row, const QRectF &rect) const;
    const ReportBand *firstBand(ReportBand::Kind kind) const;
    int positionOf(int column, int row) const;

    QPageSize m_paper = QPageSize(QPageSize::A4);
    QMarginsF m_margins;
    int m_columns = 1;
    qreal m_columnSpace = 0;
    int m_startPosition = 1;
    QPointF m_offset;
    QString m_printerName;
    QString m_paperSource;
    QList<ReportBand *> m_bands;
    bool m_alignmentSheet = false;
    QList<int> m_used;
    QString m_sheetId;
    QList<QRectF> m_cells;
    QList<QPoint> m_cellPlaces;
    QSizeF m_design;
};

template <typename F> auto BandReport::asJob(F &&work)
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
