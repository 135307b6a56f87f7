#include "labels/register.h"

#include "base/errors.h"
#include "base/sqltext.h"
#include "base/text1251.h"
#include "db/dataset.h"
#include "db/session.h"
#include "db/utilites.h"
#include "labels/labeldata.h"

#include <QStringList>

#include <algorithm>

namespace {

// The largest number that has a ten-digit barcode text.
constexpr qint64 kLargestBarcode = 9999999999LL;

} // namespace

void selectRanges(DbQuery *list)
{
    SqlText = "select * from barcodes order by bs asc";
    OpenSelect(list, '*');
}

std::optional<QByteArray> addRange(DbSession &session, const QByteArray &start, const QByteArray &end,
                                   const QByteArray &mark)
{
    if (!IsIntegerText(start) || !IsIntegerText(end))
        return std::nullopt;
    const QByteArray key = NextGeneratorValue(session, "nnbarcodes");
    SqlText = "insert into barcodes (num,bs,bp,me) values(" + key + "," + start + "," + end + ","
        + SqlValue(mark, 's', ')');
    ExecAndCommit(session.connection(), SqlText);
    return key;
}

void deleteRange(DbSession &session, const QByteArray &num)
{
    SqlText = "delete from barcodes where num = " + num;
    ExecAndCommit(session.connection(), SqlText);
}

QList<RegisteredRange> registeredRanges(DbSession &session)
{
    DbQuery *query = &session.scratch();
    OpenSelectText(query, "select num, bs, bp, me from barcodes order by bs asc, num asc", '*');
    QList<RegisteredRange> ranges;
    ranges.reserve(query->recordCount());
    for (int row = 0; row < query->recordCount(); ++row) {
        const DbField start = query->fieldAt(row, 1);
        const DbField end = query->fieldAt(row, 2);
        // A range without both ends covers no number.
        if (start.isNull() || end.isNull())
            continue;
        ranges.append(
            {query->fieldAt(row, 0).asString(), start.asInteger(), end.asInteger(), query->fieldAt(row, 3).asString()});
    }
    query->close();
    return ranges;
}

qint64 takenInCatalog(DbSession &session, qint64 low, qint64 high)
{
    low = qMax<qint64>(low, 0);
    high = qMin(high, kLargestBarcode);
    if (low > high)
        return 0;
    const QByteArray first = QByteArray::number(low).rightJustified(10, '0');
    const QByteArray last = QByteArray::number(high).rightJustified(10, '0');
    qsizetype common = 0;
    while (common < 10 && first[common] == last[common])
        ++common;
    // No index on barcod, and the program never adds one: one pass over the
    // table, which costs what each row's test costs. The shared leading
    // digits are the cheapest test and leave few rows for the others; the
    // last two keep out texts that sort among the numbers without being
    // one (a letter, a longer text).
    QByteArray select = "select count(distinct barcod) n from catalog where ";
    if (common > 0)
        select += "barcod starting with '" + first.left(common) + "' and ";
    select += "barcod between '" + first + "' and '" + last
        + "' and char_length(barcod) = 10 and barcod similar to '[0-9]*'";
    const SnapshotRead read(session.connection(), select);
    return read.rows().field("n").asString().toLongLong();
}

std::optional<RangeClash> rangeClash(DbSession &session, const QByteArray &start, const QByteArray &end)
{
    std::optional<TypedRange> typed;
    try {
        typed = typedRange(start, end);
    } catch (const ConvertError &) {
        // Too long for the columns: the database refuses the add itself.
        return RangeClash();
    }
    if (!typed)
        return std::nullopt;
    RangeClash clash;
    const RegisteredRange added{{}, typed->first, typed->last, {}};
    for (const RegisteredRange &range : registeredRanges(session)) {
        if (range.overlaps(added))
            clash.overlapping.append(range);
    }
    return clash;
}

QString rangeText(const RegisteredRange &range)
{
    QString text = QStringLiteral("%1 — %2").arg(range.start).arg(range.end);
    if (!range.mark.isEmpty())
        text += QStringLiteral(" «%1»").arg(fromCp1251(range.mark));
    return text;
}

QString rangeClashQuestion(const RangeClash &clash)
{
    QStringList lines;
    if (!clash.overlapping.isEmpty()) {
        QString line = QStringLiteral("Пересекается с диапазоном %1").arg(rangeText(clash.overlapping.first()));
        if (clash.overlapping.size() > 1)
            line += QStringLiteral(" (пересечений всего: %1)").arg(clash.overlapping.size());
        lines.append(line + QLatin1Char('.'));
    }
    lines.append(QStringLiteral("Всё равно добавить?"));
    return lines.join(QLatin1Char('|'));
}

QList<RangeOverlap> overlapsAmong(QList<RegisteredRange> ranges)
{
    // By lower end, so each range meets only those that start within it.
    std::stable_sort(ranges.begin(), ranges.end(),
                     [](const RegisteredRange &a, const RegisteredRange &b) { return a.low() < b.low(); });
    QList<RangeOverlap> overlaps;
    for (qsizetype i = 0; i < ranges.size(); ++i) {
        for (qsizetype j = i + 1; j < ranges.size() && ranges[j].low() <= ranges[i].high(); ++j)
            overlaps.append({ranges[i], ranges[j]});
    }
    return overlaps;
}
