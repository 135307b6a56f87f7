#include "report/code39.h"

#include <QPainter>
#include <QRectF>
#include <cmath>

namespace {

// Narrow elements of quiet zone on each side of the bars.
constexpr int kQuietNarrow = 10;
constexpr qreal kMinRatio = 2.5;
constexpr int kMaxRatio = 3;

// The character table: nine elements each, bar first, '1' for a wide one.
struct Code39Char {
    char character;
    const char *elements;
};
constexpr Code39Char kTable[] = {
    {'0', "000110100"}, {'1', "100100001"}, {'2', "001100001"}, {'3', "101100000"}, {'4', "000110001"},
    {'5', "100110000"}, {'6', "001110000"}, {'7', "000100101"}, {'8', "100100100"}, {'9', "001100100"},
    {'A', "100001001"}, {'B', "001001001"}, {'C', "101001000"}, {'D', "000011001"}, {'E', "100011000"},
    {'F', "001011000"}, {'G', "000001101"}, {'H', "100001100"}, {'I', "001001100"}, {'J', "000011100"},
    {'K', "100000011"}, {'L', "001000011"}, {'M', "101000010"}, {'N', "000010011"}, {'O', "100010010"},
    {'P', "001010010"}, {'Q', "000000111"}, {'R', "100000110"}, {'S', "001000110"}, {'T', "000010110"},
    {'U', "110000001"}, {'V', "011000001"}, {'W', "111000000"}, {'X', "010010001"}, {'Y', "110010000"},
    {'Z', "011010000"}, {'-', "010000101"}, {'.', "110000100"}, {' ', "011000100"}, {'$', "010101000"},
    {'/', "010100010"}, {'+', "010001010"}, {'%', "000101010"}, {'*', "010010100"},
};

const char *elementsOf(char c)
{
    for (const Code39Char &entry : kTable) {
        if (entry.character == c)
            return entry.elements;
    }
    return nullptr;
}

} // namespace

Code39Symbol code39Symbol(const QByteArray &text)
{
    Code39Symbol symbol;
    // The start and stop character is the framing one; inside the text it
    // would end the symbol early.
    if (text.isEmpty() || text.contains('*'))
        return symbol;
    const QByteArray framed = '*' + text + '*';
    symbol.wide.reserve(framed.size() * 10);
    for (qsizetype i = 0; i < framed.size(); ++i) {
        const char *elements = elementsOf(framed[i]);
        if (!elements)
            return Code39Symbol();
        if (i > 0)
            symbol.wide.append(false);
        for (int e = 0; e < 9; ++e)
            symbol.wide.append(elements[e] == '1');
    }
    return symbol;
}

Code39Metrics code39Metrics(const Code39Symbol &symbol, qreal availableWidth, qreal dpi)
{
    Code39Metrics metrics;
    if (symbol.isEmpty() || availableWidth <= 0)
        return metrics;
    const qreal narrowUnits = qreal(symbol.narrowCount() + 2 * kQuietNarrow);
    const qreal wideUnits = qreal(symbol.wideCount());
    auto set = [&](qreal narrow, qreal wide) {
        metrics.narrow = narrow;
        metrics.wide = wide;
        metrics.quiet = kQuietNarrow * narrow;
        metrics.barsWidth = symbol.narrowCount() * narrow + symbol.wideCount() * wide;
        return metrics;
    };
    const int dotsPer300 = dpi > 300 && std::fmod(dpi, 300) == 0 ? int(dpi / 300) : 1;
    for (int step : {dotsPer300, 1}) {
        for (int narrow = int(availableWidth / (narrowUnits + kMinRatio * wideUnits)); narrow >= 1; --narrow) {
            if (narrow % step != 0)
                continue;
            for (int wide = kMaxRatio * narrow; wide >= std::ceil(kMinRatio * narrow); --wide) {
                if (wide % step == 0 && narrowUnits * narrow + wideUnits * wide <= availableWidth)
                    return set(narrow, wide);
            }
        }
    }
    const qreal narrow = availableWidth / (narrowUnits + kMaxRatio * wideUnits);
    return set(narrow, kMaxRatio * narrow);
}

QList<QRectF> twoWidthBars(const Code39Symbol &symbol, const QRectF &box, qreal dpi)
{
    QList<QRectF> bars;
    const Code39Metrics metrics = code39Metrics(symbol, box.width(), dpi);
    if (metrics.narrow <= 0)
        return bars;
    qreal x = box.left() + (box.width() - metrics.barsWidth) / 2;
    qreal top = box.top();
    qreal bottom = box.bottom();
    if (metrics.narrow == std::floor(metrics.narrow)) {
        x = std::floor(x);
        top = std::round(top);
        bottom = std::round(bottom);
    }
    bars.reserve(symbol.wide.size() / 2 + 1);
    for (qsizetype i = 0; i < symbol.wide.size(); ++i) {
        const qreal width = symbol.wide[i] ? metrics.wide : metrics.narrow;
        if (i % 2 == 0)
            bars.append(QRectF(x, top, width, bottom - top));
        x += width;
    }
    return bars;
}

QList<QRectF> code39Bars(const QRectF &box, const QByteArray &text, qreal dpi)
{
    return twoWidthBars(code39Symbol(text), box, dpi);
}

void paintCode39(QPainter &painter, const QRectF &box, const QByteArray &text)
{
    paintBars(painter, code39Bars(box, text, painter.device()->logicalDpiX()));
}

void paintBars(QPainter &painter, const QList<QRectF> &bars)
{
    if (bars.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawRects(bars.constData(), int(bars.size()));
    painter.restore();
}

void Code39Label::paintContent(QPainter &painter, const QRectF &box, const QString &caption) const
{
    paintCode39(painter, box, caption.toLatin1());
}
