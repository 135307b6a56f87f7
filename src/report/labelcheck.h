#pragma once

#include "labels/symbology.h"
#include "report/bandreport.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class QImage;

// What a scanner makes of one label as a printer prints it.
struct LabelReading {
    // The text read; empty when nothing was.
    QString text;
    // The narrow element, in the printer's dots.
    qreal narrowDots = 0;
    // The blank paper either side of the bars, in narrow elements.
    qreal quietLeft = 0;
    qreal quietRight = 0;
};

// Reads the bar code of a label's picture (QImage::Format_RGB32, one pixel
// a printer's dot). The narrow element is measured across the whole
// symbol, so that bars thinner than a dot, which a printer rounds away or
// up, show as such; the quiet zones run to the nearest dark pixel or to
// the picture's edge.
LabelReading readLabelImage(const QImage &image, Symbology symbology);

// The band's bar code painted as it prints at dpi, cut to its box as far
// down as the labels painted after it leave it seen; null when the band
// has no bar code label.
QImage labelImage(const PlacedBand &band, qreal dpi);

// Why a label would not scan, as the user is told; empty when it reads as
// its number with quiet zones of ten narrow elements and a narrow element
// of at least one dot.
QString labelFault(const LabelReading &reading, const QString &number);

// A label that failed, by its place on the sheet.
struct LabelFault {
    int page = 0;
    int column = 0;
    int row = 0;
    QString number;
    QString reason;
};

// Every label of a job painted at the printer's resolution and read back
// before it goes to paper. It works in short slices on the event loop,
// so that the window stays live; finish() does the rest at once.
class LabelCheck : public QObject {
    Q_OBJECT
public:
    explicit LabelCheck(QObject *parent = nullptr);

    // Starts over on the labels of pages, read at dpi.
    void start(const ReportLayout &pages, qreal dpi);
    void finish();

    bool running() const { return m_next < m_labels.size(); }
    bool started() const { return m_dpi > 0; }
    qreal dpi() const { return m_dpi; }
    qsizetype checked() const { return m_next; }
    qsizetype total() const { return m_labels.size(); }
    const QList<LabelFault> &faults() const { return m_faults; }
    // The labels' symbology; Code 39 for a job without labels.
    Symbology symbology() const { return m_symbology; }

    // The state for the preview's status line: how far it has come, or
    // the result with the failing labels' places.
    QString summary() const;

signals:
    // Some labels more are checked; or all are.
    void progressed();

private:
    void step();
    void checkNext();

    QList<LabelFault> m_faults;
    ReportLayout m_pages;
    // The bar code labels of the job: their page and band in m_pages.
    QList<QPair<qint32, qint32>> m_labels;
    qsizetype m_next = 0;
    qreal m_dpi = 0;
    Symbology m_symbology = Symbology::Code39;
    QTimer m_timer;
};
