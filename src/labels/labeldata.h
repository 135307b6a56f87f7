#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

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

// A range as typed into the start and end fields, lower number first.
// reversed: the end was typed below the start, so the labels come out from
// first to last rather than as typed.
struct TypedRange {
    qint32 first = 0;
    qint32 last = 0;
    bool reversed = false;
};

// The one reading of the two fields, for the print, the overlap check and
// the sheet summary alike. Nothing when either text is not an integer text
// (IsIntegerText); a number beyond 32 bits, which the register's columns
// cannot hold either, raises ConvertError as StrToInt does.
std::optional<TypedRange> typedRange(const QByteArray &start, const QByteArray &end);

// The numbers a print covers, lower first; nothing when either text is not
// an integer text. A number beyond 32 bits raises ConvertError; a range
// holding a number below zero raises AppError with the reason
// (negativeRangeText), as such labels carry no bar code.
std::optional<TypedRange> printRange(const QByteArray &start, const QByteArray &end);

// What a print of the typed range takes: labels, sheets of labelsPerSheet
// and the labels on the last sheet, counted from the top of a fresh sheet.
// negative: the range holds a number below zero, which the print refuses.
// inCatalog: how many of its numbers already stand on catalogue books,
// once counted.
struct SheetSummary {
    qint64 labels = 0;
    qint64 sheets = 0;
    qint64 onLastSheet = 0;
    bool reversed = false;
    bool negative = false;
    qint32 first = 0;
    qint32 last = 0;
    std::optional<qint64> inCatalog;
};

// Nothing for what the print refuses: a text that is not an integer text,
// a number beyond 32 bits.
std::optional<SheetSummary> sheetSummary(const QByteArray &start, const QByteArray &end, int labelsPerSheet);

// The summary as the barcode tab shows it, one item a line.
QString sheetSummaryText(const SheetSummary &summary);

// Why the print refuses a range from first to last that holds a number
// below zero: such a number has no barcode text, so its labels would carry
// no bar code and no digits.
QString negativeRangeText(qint64 first, qint64 last);
