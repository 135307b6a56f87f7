#include "report/symbols.h"

#include <QPainter>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <memory>
#include <zint.h>

namespace {

// Quiet zone each side, in narrow elements (Code 128: modules).
constexpr int kQuietModules = 10;

// zint's bars of data, as element widths in its modules.
QList<int> zintModules(int symbology, int option2, const QByteArray &data)
{
    const std::unique_ptr<zint_symbol, decltype(&ZBarcode_Delete)> symbol(ZBarcode_Create(), &ZBarcode_Delete);
    if (!symbol)
        return {};
    symbol->symbology = symbology;
    symbol->option_2 = option2;
    symbol->show_hrt = 0;
    if (ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char *>(data.constData()), int(data.size()))
            >= ZINT_ERROR
        || ZBarcode_Buffer_Vector(symbol.get(), 0) >= ZINT_ERROR || !symbol->vector)
        return {};
    float unit = 0;
    for (const zint_vector_rect *rect = symbol->vector->rectangles; rect; rect = rect->next) {
        if (unit == 0 || rect->width < unit)
            unit = rect->width;
    }
    if (unit <= 0)
        return {};
    QList<int> modules;
    long end = -1;
    for (const zint_vector_rect *rect = symbol->vector->rectangles; rect; rect = rect->next) {
        const long left = std::lround(rect->x / unit);
        const long width = std::lround(rect->width / unit);
        if (end >= 0) {
            // Bars come left to right, a space between each two.
            if (left <= end)
                return {};
            modules.append(int(left - end));
        }
        modules.append(int(width));
        end = left + width;
    }
    return modules;
}

bool digitsOnly(const QByteArray &text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Code 128's bars: every module the same whole number of pixels (of 300
// dpi dots on a finer device whose resolution is a multiple of 300) where
// the symbol and its quiet zones fit so, else fractions of a pixel.
QList<QRectF> moduleBars(const QList<int> &modules, const QRectF &box, qreal dpi)
{
    QList<QRectF> bars;
    int total = 0;
    for (int width : modules)
        total += width;
    if (total == 0 || box.width() <= 0)
        return bars;
    const qreal units = total + 2 * kQuietModules;
    const int dotsPer300 = dpi > 300 && std::fmod(dpi, 300) == 0 ? int(dpi / 300) : 1;
    qreal module = std::floor(box.width() / units / dotsPer300) * dotsPer300;
    if (module < 1)
        module = std::floor(box.width() / units);
    const bool whole = module >= 1;
    if (!whole)
        module = box.width() / units;
    qreal x = box.left() + (box.width() - total * module) / 2;
    qreal top = box.top();
    qreal bottom = box.bottom();
    if (whole) {
        x = std::floor(x);
        top = std::round(top);
        bottom = std::round(bottom);
    }
    for (qsizetype i = 0; i < modules.size(); ++i) {
        const qreal width = modules[i] * module;
        if (i % 2 == 0)
            bars.append(QRectF(x, top, width, bottom - top));
        x += width;
    }
    return bars;
}

} // namespace

bool twoWidth(Symbology symbology)
{
    return symbology != Symbology::Code128;
}

QList<int> symbolModules(Symbology symbology, const QByteArray &text)
{
    if (text.isEmpty())
        return {};
    switch (symbology) {
    case Symbology::Code39: {
        QList<int> modules;
        for (bool wide : code39Symbol(text).wide)
            modules.append(wide ? 2 : 1);
        return modules;
    }
    case Symbology::Code39Mod43:
        return text.contains('*') ? QList<int>() : zintModules(BARCODE_CODE39, 1, text);
    case Symbology::Code128:
        // Ten digits are five characters of subset C, which zint chooses
        // for any run of pairs.
        return zintModules(BARCODE_CODE128, 0, text);
    case Symbology::Codabar:
        // Our numbers only: the start and stop characters frame digits.
        return digitsOnly(text) ? zintModules(BARCODE_CODABAR, 0, 'A' + text + 'A') : QList<int>();
    }
    return {};
}

QList<QRectF> symbolBars(Symbology symbology, const QRectF &box, const QByteArray &text, qreal dpi)
{
    if (symbology == Symbology::Code39)
        return code39Bars(box, text, dpi);
    const QList<int> modules = symbolModules(symbology, text);
    if (!twoWidth(symbology))
        return moduleBars(modules, box, dpi);
    Code39Symbol symbol;
    for (int width : modules)
        symbol.wide.append(width > 1);
    return twoWidthBars(symbol, box, dpi);
}

void paintSymbol(QPainter &painter, const QRectF &box, const QByteArray &text, Symbology symbology)
{
    if (symbology == Symbology::Code39) {
        paintCode39(painter, box, text);
        return;
    }
    paintBars(painter, symbolBars(symbology, box, text, painter.device()->logicalDpiX()));
}

void SymbolLabel::paintContent(QPainter &painter, const QRectF &box, const QString &caption) const
{
    if (m_symbology == Symbology::Code39) {
        Code39Label::paintContent(painter, box, caption);
        return;
    }
    paintSymbol(painter, box, caption.toLatin1(), m_symbology);
}
