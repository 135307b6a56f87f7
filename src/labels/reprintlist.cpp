#include "labels/reprintlist.h"

#include <algorithm>
#include <limits>

ReprintList readReprintList(const QString &text)
{
    ReprintList list;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty())
            continue;
        auto refuse = [&](const QString &why) {
            list.problems.append(QStringLiteral("строка %1: «%2» — %3").arg(i + 1).arg(line, why));
        };
        const bool negative = line.startsWith(QLatin1Char('-'));
        const QStringView digits = QStringView(line).mid(negative ? 1 : 0);
        const bool allDigits = !digits.isEmpty()
            && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
        if (!allDigits) {
            refuse(QStringLiteral("не номер"));
            continue;
        }
        if (negative) {
            refuse(QStringLiteral("номер меньше нуля, у такой наклейки нет штрих-кода"));
            continue;
        }
        bool ok = false;
        const qulonglong value = digits.toULongLong(&ok);
        if (!ok || value > qulonglong(std::numeric_limits<qint32>::max())) {
            refuse(QStringLiteral("номер больше %1").arg(std::numeric_limits<qint32>::max()));
            continue;
        }
        list.numbers.append(qint32(value));
    }
    return list;
}
