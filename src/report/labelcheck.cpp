#include "report/labelcheck.h"

#include "report/symbols.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QStringList>

#include <algorithm>
#include <cmath>

#define ZX_USE_UTF8
#include <ZXing/ReadBarcode.h>

namespace {

constexpr qreal mmPerInch = 25.4;
constexpr int kQuietNarrow = 10;
// A slice of the check between two turns of the event loop.
constexpr int kSliceMs = 15;
// Failing labels the status line names; the rest are counted.
constexpr int kNamedFaults = 5;

ZXing::BarcodeFormat formatOf(Symbology symbology)
{
    switch (symbology) {
    case Symbology::Code39:
    case Symbology::Code39Mod43:
        return ZXing::BarcodeFormat::Code39;
    case Symbology::Code128:
        return ZXing::BarcodeFormat::Code128;
    case Symbology::Codabar:
        return ZXing::BarcodeFormat::Codabar;
    }
    return ZXing::BarcodeFormat::None;
}

// Codabar characters with three wide elements; the rest have two.
bool codabarThreeWide(char c)
{
    return QByteArrayView(":/.+ABCD").contains(c);
}

// The symbol's width in narrow elements, each wide one counted at the
// widest ratio (3) where there are two widths, from what was read and the
// count of its bars; 0 when they do not agree.
qreal narrowUnits(Symbology symbology, const QByteArray &text, qsizetype bars)
{
    switch (symbology) {
    case Symbology::Code39:
    case Symbology::Code39Mod43: {
        // Five bars and four spaces a character, three of the nine wide,
        // and a narrow gap between characters; the check character was
        // read and dropped, so it is counted from the bars.
        if (bars % 5 != 0)
            return 0;
        const qsizetype characters = bars / 5;
        return 16 * characters - 1;
    }
    case Symbology::Codabar: {
        // Four bars and three spaces a character, two or three wide, and a
        // narrow gap between characters.
        const QByteArray framed = 'A' + text + 'A';
        if (framed.size() * 4 != bars)
            return 0;
        qsizetype wide = 0;
        for (char c : framed)
            wide += codabarThreeWide(c) ? 3 : 2;
        return framed.size() * 8 - 1 + 2 * wide;
    }
    case Symbology::Code128:
        // Three bars to a character of eleven modules, four to the stop
        // character of thirteen.
        if (bars < 7 || (bars - 4) % 3 != 0)
            return 0;
        return 11 * ((bars - 4) / 3) + 13;
    }
    return 0;
}

// The mean width of the narrow elements among runs: those nearer the
// narrowest than the widest.
qreal meanNarrow(const QList<int> &runs)
{
    if (runs.isEmpty())
        return 0;
    const auto [low, high] = std::minmax_element(runs.begin(), runs.end());
    const qreal threshold = (*low + *high) / 2.0;
    qreal sum = 0;
    int count = 0;
    for (int run : runs) {
        if (run < threshold || *low == *high) {
            sum += run;
            ++count;
        }
    }
    return sum / count;
}

const SymbolLabel *symbolLabel(const ReportBand *band)
{
    for (const ReportLabel *label : band->labels()) {
        if (const auto *symbol = qobject_cast<const SymbolLabel *>(label))
            return symbol;
    }
    return nullptr;
}

} // namespace

LabelReading readLabelImage(const QImage &image, Symbology symbology)
{
    LabelReading reading;
    if (image.isNull() || image.format() != QImage::Format_RGB32)
        return reading;
    ZXing::DecodeHints hints;
    // A clean picture the right way up: no second tries, no rotation, a
    // fixed threshold.
    hints.setFormats(formatOf(symbology))
        .setTryHarder(false)
        .setTryRotate(false)
        .setTryDownscale(false)
        .setBinarizer(ZXing::Binarizer::FixedThreshold)
        .setMaxNumberOfSymbols(1)
        .setValidateCode39CheckSum(symbology == Symbology::Code39Mod43);
    // Blue, green, red and a byte unused, as a 32-bit pixel lies in memory.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
    const ZXing::ImageView view(image.constBits(), image.width(), image.height(), ZXing::ImageFormat::BGRX,
                                int(image.bytesPerLine()));
    const ZXing::Result result = ZXing::ReadBarcode(view, hints);
    if (!result.isValid())
        return reading;

    // The bars along the line read, from the first bar found at the
    // symbol's start to the last at its end.
    const int y = qBound(0, result.position().topLeft().y, image.height() - 1);
    const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
    const auto isDark = [&](int x) { return x >= 0 && x < image.width() && qGray(line[x]) < 128; };
    int from = qBound(0, result.position().topLeft().x, image.width() - 1);
    int to = qBound(0, result.position().topRight().x, image.width() - 1);
    while (from > 0 && isDark(from - 1))
        --from;
    while (from < to && !isDark(from))
        ++from;
    while (to + 1 < image.width() && isDark(to + 1))
        ++to;
    while (to > from && !isDark(to))
        --to;
    // Bars and spaces in turn, a bar first.
    QList<int> runs;
    for (int x = from; x <= to; ++x) {
        if (x == from || isDark(x) != isDark(x - 1))
            runs.append(0);
        ++runs.last();
    }
    const qsizetype bars = (runs.size() + 1) / 2;
    int left = from;
    while (left > 0 && !isDark(left - 1))
        --left;
    int right = to;
    while (right + 1 < image.width() && !isDark(right + 1))
        ++right;

    const QByteArray text = QByteArray::fromStdString(result.text());
    reading.text = QString::fromLatin1(text);
    const qreal units = narrowUnits(symbology, text, bars);
    if (units <= 0)
        return reading;
    // A printer's dot is the least it can draw: bars meant thinner come out
    // a dot wide or not at all, which only the whole symbol's width shows.
    reading.narrowDots = (to - from + 1) / units;
    // The quiet zones against the narrow elements as printed.
    const qreal narrow = symbology == Symbology::Code128 ? reading.narrowDots : meanNarrow(runs);
    reading.quietLeft = (from - left) / narrow;
    reading.quietRight = (right - to) / narrow;
    return reading;
}

QImage labelImage(const PlacedBand &band, qreal dpi)
{
    const SymbolLabel *symbol = symbolLabel(band.band);
    if (!symbol)
        return QImage();
    // The bars as far down as no label painted after them covers them
    // (the digits line hides their foot); in the band's place, which on
    // another make's stock is scaled.
    const QRectF placed = band.labelRect(symbol->objectName());
    qreal visibleBottom = placed.bottom();
    bool after = false;
    for (const ReportLabel *label : band.band->labels()) {
        const QRectF other = band.labelRect(label->objectName());
        if (label == symbol) {
            after = true;
        } else if (after && other.intersects(placed) && other.top() > placed.top()) {
            visibleBottom = qMin(visibleBottom, other.top());
        }
    }
    const qreal scale = dpi / mmPerInch;
    // Only the bar code's own box: the label's frame beside it would be
    // taken for a bar where the reader looks for the symbol's start. On
    // the page's own pixels, which the printer's offset moves by whole
    // pixels only.
    const int left = qRound(placed.left() * scale);
    const int right = qRound(placed.right() * scale);
    const int top = int(std::ceil(placed.top() * scale));
    const int bottom = int(std::floor(visibleBottom * scale));
    if (right <= left || bottom <= top)
        return QImage();
    // Painted in colour, which Qt paints several times faster than grey.
    QImage image(right - left, bottom - top, QImage::Format_RGB32);
    const int dotsPerMeter = qRound(scale * 1000);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.translate(-left, -top);
    // Painted as the page paints it: the labels before it lie under its
    // white ground.
    symbol->paint(painter, QRectF(placed.topLeft() * scale, placed.size() * scale), band.caption(symbol->objectName()),
                  band.scale.height());
    return image;
}

QString labelFault(const LabelReading &reading, const QString &number)
{
    if (reading.text.isEmpty())
        return QStringLiteral("штрих-код не читается");
    if (reading.text != number)
        return QStringLiteral("читается как %1").arg(reading.text);
    if (reading.narrowDots < 1)
        return QStringLiteral("узкий штрих тоньше точки принтера");
    if (std::min(reading.quietLeft, reading.quietRight) < kQuietNarrow)
        return QStringLiteral("свободное поле по краям уже десяти узких штрихов");
    return QString();
}

LabelCheck::LabelCheck(QObject *parent) : QObject(parent)
{
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &LabelCheck::step);
}

void LabelCheck::start(const ReportLayout &pages, qreal dpi)
{
    m_labels.clear();
    m_faults.clear();
    m_next = 0;
    m_dpi = dpi;
    m_symbology = Symbology::Code39;
    // Shared with the caller's layout, not copied: a long range holds
    // over a hundred thousand labels.
    m_pages = pages;
    for (qsizetype p = 0; p < m_pages.size(); ++p) {
        const ReportPage &page = m_pages[p];
        if (page.alignment)
            continue;
        for (qsizetype b = 0; b < page.bands.size(); ++b) {
            const PlacedBand &band = page.bands[b];
            const SymbolLabel *symbol = symbolLabel(band.band);
            if (band.band->kind() != ReportBand::Detail || !symbol)
                continue;
            m_symbology = symbol->symbology();
            m_labels.append({qint32(p), qint32(b)});
        }
    }
    if (running())
        m_timer.start();
    emit progressed();
}

void LabelCheck::finish()
{
    m_timer.stop();
    while (running())
        checkNext();
    emit progressed();
}

void LabelCheck::step()
{
    QElapsedTimer slice;
    slice.start();
    while (running() && slice.elapsed() < kSliceMs)
        checkNext();
    if (!running())
        m_timer.stop();
    emit progressed();
}

void LabelCheck::checkNext()
{
    const auto [p, b] = m_labels[m_next++];
    const ReportPage &page = std::as_const(m_pages)[p];
    const PlacedBand &band = page.bands[b];
    const SymbolLabel *symbol = symbolLabel(band.band);
    const QString number = band.caption(symbol->objectName());
    const QString reason = labelFault(readLabelImage(labelImage(band, m_dpi), symbol->symbology()), number);
    if (!reason.isEmpty())
        m_faults.append({page.number, band.column + 1, band.row + 1, number, reason});
}

QString LabelCheck::summary() const
{
    if (running())
        return QStringLiteral("проверка наклеек: %1 из %2").arg(m_next).arg(m_labels.size());
    QString text = QStringLiteral("проверено %1 наклеек, ошибок %2").arg(m_labels.size()).arg(m_faults.size());
    QStringList named;
    for (qsizetype i = 0; i < m_faults.size() && i < kNamedFaults; ++i) {
        const LabelFault &fault = m_faults[i];
        named.append(QStringLiteral("стр. %1, столбец %2, ряд %3%4: %5")
                         .arg(fault.page)
                         .arg(fault.column)
                         .arg(fault.row)
                         .arg(fault.number.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(fault.number))
                         .arg(fault.reason));
    }
    if (!named.isEmpty())
        text += QStringLiteral(": ") + named.join(QStringLiteral("; "));
    if (m_faults.size() > kNamedFaults)
        text += QStringLiteral(" и ещё %1").arg(m_faults.size() - kNamedFaults);
    return text;
}
