#include "labels/labeldata.h"

#include "base/errors.h"
#include "base/sqltext.h"

LabelTexts labelTexts(qint32 number)
{
    LabelTexts texts;
    texts.barcode = ZeroPad(number, 10);
    texts.digits.reserve(texts.barcode.size() * 2);
    for (qsizetype i = 0; i < texts.barcode.size(); ++i) {
        if (i > 0)
            texts.digits += QLatin1Char(' ');
        texts.digits += QLatin1Char(texts.barcode[i]);
    }
    return texts;
}

LabelStep stepLabels(qint32 &current, qint32 last, bool &lastSetUp)
{
    if (lastSetUp)
        return {current, false};
    const LabelStep step{current, current <= last};
    if (current == last)
        lastSetUp = true;
    else if (step.printed)
        ++current;
    return step;
}

std::optional<TypedRange> typedRange(const QByteArray &start, const QByteArray &end)
{
    if (!IsIntegerText(start) || !IsIntegerText(end))
        return std::nullopt;
    const qint32 typedStart = StrToInt(start);
    const qint32 typedEnd = StrToInt(end);
    return TypedRange{qMin(typedStart, typedEnd), qMax(typedStart, typedEnd), typedEnd < typedStart};
}

std::optional<TypedRange> printRange(const QByteArray &start, const QByteArray &end)
{
    const std::optional<TypedRange> range = typedRange(start, end);
    if (range && range->first < 0)
        throw AppError(negativeRangeText(range->first, range->last));
    return range;
}

std::optional<SheetSummary> sheetSummary(const QByteArray &start, const QByteArray &end, int labelsPerSheet)
{
    std::optional<TypedRange> range;
    try {
        range = typedRange(start, end);
    } catch (const ConvertError &) {
        return std::nullopt;
    }
    if (!range || labelsPerSheet < 1)
        return std::nullopt;
    SheetSummary summary;
    summary.reversed = range->reversed;
    summary.first = range->first;
    summary.last = range->last;
    summary.negative = summary.first < 0;
    // In 64 bits: the whole 32-bit range is more labels than 32 bits hold.
    summary.labels = qint64(summary.last) - summary.first + 1;
    summary.sheets = (summary.labels + labelsPerSheet - 1) / labelsPerSheet;
    summary.onLastSheet = summary.labels - (summary.sheets - 1) * labelsPerSheet;
    return summary;
}

QString sheetSummaryText(const SheetSummary &summary)
{
    // Nothing is counted for a print that will not happen.
    if (summary.negative)
        return QStringLiteral("номера меньше нуля не печатаются: у них нет штрих-кода");
    QString text = QStringLiteral("наклеек: %1\nлистов: %2\nна последнем листе: %3")
                       .arg(summary.labels)
                       .arg(summary.sheets)
                       .arg(summary.onLastSheet);
    if (summary.reversed) {
        text += QStringLiteral("\nконец меньше начала: наклейки пойдут от %1 до %2 по возрастанию")
                    .arg(summary.first)
                    .arg(summary.last);
    }
    if (summary.inCatalog)
        text += QStringLiteral("\nномеров в каталоге: %1").arg(*summary.inCatalog);
    return text;
}

QString negativeRangeText(qint64 first, qint64 last)
{
    return QStringLiteral("Наклейки с номерами меньше нуля не печатаются: у таких номеров нет штрих-кода. "
                          "Диапазон %1 — %2 начинается ниже нуля.")
        .arg(first)
        .arg(last);
}
