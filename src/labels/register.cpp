#include "labels/register.h"

#include "db/utilites.h"

#include <utility>

void selectRanges(DbQuery *list)
{
    SqlText = "select * from barcodes order by bs asc";
    OpenSelect(list, '*');
}

std::optional<QByteArray> addRange(const QByteArray &start, const QByteArray &end, const QByteArray &mark)
{
    if (!IsIntegerText(start) || !IsIntegerText(end))
        return std::nullopt;
    const QByteArray key = NextGeneratorValue("nnbarcodes");
    SqlText = "insert into barcodes (num,bs,bp,me) values(" + key + "," + start + "," + end + ","
        + SqlValue(mark, 's', ')');
    ExecAndCommit(SqlText);
    return key;
}

void deleteRange(const QByteArray &num)
{
    SqlText = "delete from barcodes where num = " + num;
    ExecAndCommit(SqlText);
}

std::optional<PrintRange> printRange(const QByteArray &start, const QByteArray &end)
{
    if (!IsIntegerText(start) || !IsIntegerText(end))
        return std::nullopt;
    PrintRange range{StrToInt(start), StrToInt(end)};
    // A reversed range prints in order; the fields stay as typed.
    if (range.last < range.first)
        std::swap(range.first, range.last);
    return range;
}
