#include "labels/code39.h"

#include <QPainter>
#include <QRectF>
#include <cmath>
#include <memory>
#include <zint.h>

Code39Symbol code39Symbol(const QByteArray &text)
{
    Code39Symbol result;
    if (text.isEmpty())
        return result;
    const std::unique_ptr<zint_symbol, decltype(&ZBarcode_Delete)> symbol(ZBarcode_Create(), &ZBarcode_Delete);
    if (!symbol)
        return result;
    symbol->symbology = BARCODE_CODE39;
    symbol->option_2 = 0;
    symbol->show_hrt = 0;
    symbol->output_options |= BARCODE_QUIET_ZONES;
    if (ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char *>(text.constData()), int(text.size()))
            >= ZINT_ERROR
        || ZBarcode_Buffer_Vector(symbol.get(), 0) >= ZINT_ERROR)
        return result;

    // The vector is drawn in units of its own scale; a narrow bar is one module.
    float unit = 0;
    for (const zint_vector_rect *rect = symbol->vector->rectangles; rect; rect = rect->next) {
        if (unit == 0 || rect->width < unit)
            unit = rect->width;
    }
    if (unit <= 0)
        return result;
    for (const zint_vector_rect *rect = symbol->vector->rectangles; rect; rect = rect->next)
        result.bars.append({int(std::lround(rect->x / unit)), int(std::lround(rect->width / unit))});
    result.modules = int(std::lround(symbol->vector->width / unit));
    return result;
}

void paintCode39(QPainter &painter, const QRectF &box, const QByteArray &text)
{
    const Code39Symbol symbol = code39Symbol(text);
    if (symbol.modules == 0)
        return;
    qreal module = box.width() / symbol.modules;
    qreal left = box.left() + (box.width() - module * symbol.modules) / 2;
    // Whole device pixels per module keep every narrow bar, and so the
    // wide-to-narrow ratio, the same across the symbol.
    if (module >= 1) {
        module = std::floor(module);
        left = std::round(box.left() + (box.width() - module * symbol.modules) / 2);
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const Code39Symbol::Bar &bar : symbol.bars)
        painter.fillRect(QRectF(left + bar.start * module, box.top(), bar.width * module, box.height()), Qt::black);
    painter.restore();
}

void Code39Label::paintContent(QPainter &painter, const QRectF &box, const QString &caption) const
{
    paintCode39(painter, box, caption.toLatin1());
}
