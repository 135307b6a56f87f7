#pragma once

#include "report/bandreport.h"

#include <QByteArray>
#include <QList>

class QPainter;
class QRectF;

// A Code 39 symbol as its elements from the left: bars and spaces taking
// turns, a bar first, each narrow or wide. Characters are parted by one
// narrow space; the start and stop characters are included.
struct Code39Symbol {
    QList<bool> wide;

    bool isEmpty() const { return wide.isEmpty(); }
    qsizetype wideCount() const { return wide.count(true); }
    qsizetype narrowCount() const { return wide.count(false); }
};

// Encodes text between start and stop characters, without a check
// character; empty when the text is empty or has a character Code 39 lacks.
Code39Symbol code39Symbol(const QByteArray &text);

// Element widths on a device. ISO/IEC 16388 asks for a wide-to-narrow ratio
// of 2.5 to 3 and a quiet zone of at least ten narrow elements each side.
struct Code39Metrics {
    qreal narrow = 0;
    qreal wide = 0;
    qreal quiet = 0;
    // The bars alone, without the quiet zones.
    qreal barsWidth = 0;
};

// The widest elements that fit the symbol and its quiet zones into
// availableWidth device pixels: whole pixels where they fit (on a device
// finer than 300 dpi whose resolution is a multiple of 300, whole 300 dpi
// dots too, so that a PDF keeps exact bars on 300 and 600 dpi printers),
// fractions of a pixel, at a ratio of 3, only where not even one-pixel
// elements fit. Zero widths when the symbol is empty.
Code39Metrics code39Metrics(const Code39Symbol &symbol, qreal availableWidth, qreal dpi);

// The bars of any symbol of narrow and wide elements centred in box
// (device pixels), placed as Code 39's are.
QList<QRectF> twoWidthBars(const Code39Symbol &symbol, const QRectF &box, qreal dpi);

// The bars of text's symbol centred in box (device pixels), full box height,
// edges on whole pixels.
QList<QRectF> code39Bars(const QRectF &box, const QByteArray &text, qreal dpi);

// Draws text's symbol in box as vector rectangles, sharp at any resolution.
void paintCode39(QPainter &painter, const QRectF &box, const QByteArray &text);
// Fills bars black, edges sharp, on whatever the painter holds.
void paintBars(QPainter &painter, const QList<QRectF> &bars);

// A report label that shows its caption as a Code 39 symbol instead of text.
class Code39Label : public ReportLabel {
    Q_OBJECT
public:
    using ReportLabel::ReportLabel;

protected:
    void paintContent(QPainter &painter, const QRectF &box, const QString &caption) const override;
};
