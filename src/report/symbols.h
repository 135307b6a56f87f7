#pragma once

#include "labels/symbology.h"
#include "report/code39.h"

#include <QByteArray>
#include <QList>

class QPainter;
class QRectF;

// A symbol as the widths of its elements in modules, from the left: bars
// and spaces taking turns, a bar first; no quiet zones. Code 39 comes from
// our own table, the others from zint: Code 39 with its mod 43 check
// character, Code 128 (subset C for pairs of digits), Codabar between the
// start and stop character A. Empty when the text cannot be encoded.
QList<int> symbolModules(Symbology symbology, const QByteArray &text);

// Where the elements are narrow or wide only; Code 128's take one to four
// modules.
bool twoWidth(Symbology symbology);

// The bars of text's symbol centred in box (device pixels), with a quiet
// zone of ten narrow elements each side and edges on whole pixels where
// they fit: narrow and wide elements as Code 39's (ratio 2.5 to 3), or
// Code 128's modules each a whole number of pixels.
QList<QRectF> symbolBars(Symbology symbology, const QRectF &box, const QByteArray &text, qreal dpi);

// Draws text's symbol in box as vector rectangles; Code 39 exactly as
// paintCode39 does.
void paintSymbol(QPainter &painter, const QRectF &box, const QByteArray &text, Symbology symbology);

// A report label that shows its caption as a bar code of the symbology
// set for it, Code 39 unless told otherwise.
class SymbolLabel : public Code39Label {
    Q_OBJECT
public:
    using Code39Label::Code39Label;

    Symbology symbology() const { return m_symbology; }
    void setSymbology(Symbology symbology) { m_symbology = symbology; }

protected:
    void paintContent(QPainter &painter, const QRectF &box, const QString &caption) const override;

private:
    Symbology m_symbology = Symbology::Code39;
};
