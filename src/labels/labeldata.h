#pragma once

#include <QByteArray>
#include <QString>

// The data side of the label sheet, free of any window: the texts of one
// label and the walk over a range's numbers that the report's need-data
// callback makes.

struct LabelTexts {
    QByteArray barcode; // ten digits with leading zeros; empty for a negative number
    QString digits;     // the same digits, one blank between each two
};
LabelTexts labelTexts(qint32 number);

// One call of the walk: the number to set up now and whether it is printed.
struct LabelStep {
    qint32 number = 0;
    bool printed = false;
};

// Sets up current and moves it on by one while it is below last. Once the
// last number has been set up (lastSetUp), every further step is not
// printed and current stays, so a range ending at the largest 32-bit number
// never overflows.
LabelStep stepLabels(qint32 &current, qint32 last, bool &lastSetUp);
