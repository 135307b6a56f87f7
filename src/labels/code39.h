#pragma once

#include "labels/bandreport.h"

#include <QByteArray>
#include <QList>

class QPainter;
class QRectF;

// A Code 39 symbol in module units: its bars from the left edge, and its
// whole width with the quiet zones on both sides.
struct Code39Symbol {
    struct Bar {
        int start = 0;
        int width = 0;
    };
    QList<Bar> bars;
    int modules = 0;
};

// Encodes text with start and stop characters and quiet zones, without a
// check character; empty when the text cannot be encoded.
Code39Symbol code39Symbol(const QByteArray &text);

// Draws text's symbol centred in box (device pixels), bars the full box
// height, as vector rectangles so they stay sharp at any resolution.
void paintCode39(QPainter &painter, const QRectF &box, const QByteArray &text);

// A report label that shows its caption as a Code 39 symbol instead of text.
class Code39Label : public ReportLabel
{
    Q_OBJECT
public:
    using ReportLabel::ReportLabel;

protected:
    void paintContent(QPainter &painter, const QRectF &box, const QString &caption) const override;
};
