#include "base/dates.h"

#include <QDate>

TDateTime AddDays(qint32 count, TDateTime moment)
{
    int year = 0;
    int month = 0;
    int day = 0;
    DecodeDate(moment, year, month, day);
    // Whole-day arithmetic on the Gregorian calendar gives the same date as
    // stepping one day at a time, without a cost that grows with count.
    const QDate result = QDate(year, month, day).addDays(count);
    return EncodeDate(result.year(), result.month(), result.day());
}

qint32 WeekOfYear(TDateTime date)
{
    int year = 0;
    int month = 0;
    int day = 0;
    DecodeDate(date, year, month, day);
    const QDate first(year, 1, 1);
    const int daysAfterFirst = first.daysTo(QDate(year, month, day));
    // Offset of the first Monday that lies after 1 January: 1 to 7.
    const int firstMonday = 7 - (first.dayOfWeek() + 6) % 7;
    if (daysAfterFirst < firstMonday)
        return 1;
    return 2 + (daysAfterFirst - firstMonday) / 7;
}
