#include "base/datetime.h"

#include "base/errors.h"
#include "base/platform.h"

#include <cmath>

TDateTime EncodeDate(int year, int month, int day)
{
    const QDate date(year, month, day);
    if (year < 1 || year > 9999 || !date.isValid())
        throw ConvertError(QStringLiteral("Invalid argument to date encode"));
    return double(dateTimeEpoch().daysTo(date));
}

void DecodeDate(TDateTime value, int &year, int &month, int &day)
{
    const QDate date = dateTimeEpoch().addDays(qint64(std::floor(value)));
    year = date.year();
    month = date.month();
    day = date.day();
}

TDateTime toTDateTime(const QDateTime &value)
{
    const qint64 days = dateTimeEpoch().daysTo(value.date());
    return double(days) + value.time().msecsSinceStartOfDay() / 86400000.0;
}

QDateTime toQDateTime(TDateTime value)
{
    const double whole = std::floor(value);
    const QDate date = dateTimeEpoch().addDays(qint64(whole));
    const int msecs = int(std::llround((value - whole) * 86400000.0));
    return QDateTime(date, QTime(0, 0)).addMSecs(msecs);
}

TDateTime Now()
{
    return toTDateTime(platform::now());
}
