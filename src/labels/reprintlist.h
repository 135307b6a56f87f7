#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// A list of numbers to print again, one a line as typed, pasted or read by
// a scanner that types: blanks around a number and empty lines are
// passed over, anything else that is not a number the labels carry is
// named with its line.
struct ReprintList {
    QList<qint32> numbers;
    // "строка 3: «12a» — не номер", one a line that is refused.
    QStringList problems;
};

ReprintList readReprintList(const QString &text);
