#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

class DbQuery;
class DbSession;

// The register of barcode label ranges (table barcodes), free of any
// window: the list's statement, the checks of the typed fields, adding and
// deleting. The barcode tab keeps the grid and the fields and calls these.

// Opens every range on the list query, by start number (the tab's SelectBC).
void selectRanges(DbQuery *list);

// Adds a range as typed and returns the key it was stored under. Start and
// end go into the statement as typed and must pass IsIntegerText; when
// either does not, nothing is stored, no key is taken and nothing is
// returned. An empty mark is stored as null.
std::optional<QByteArray> addRange(DbSession &session, const QByteArray &start, const QByteArray &end,
                                   const QByteArray &mark);

// Deletes the range stored under the key.
void deleteRange(DbSession &session, const QByteArray &num);

// A range as the register holds it: start and end as typed, so either may
// be the larger.
struct RegisteredRange {
    QByteArray num;
    qint64 start = 0;
    qint64 end = 0;
    QByteArray mark;

    qint64 low() const { return qMin(start, end); }
    qint64 high() const { return qMax(start, end); }
    bool overlaps(const RegisteredRange &other) const { return low() <= other.high() && other.low() <= high(); }
};

// Every registered range with both numbers, in the list's order.
QList<RegisteredRange> registeredRanges(DbSession &session);

// What a new range would clash with: the registered ranges that share a
// number with it, in the list's order. Numbers already on catalogue books
// are no clash: labels for an imported catalogue carry exactly those.
struct RangeClash {
    QList<RegisteredRange> overlapping;

    bool any() const { return !overlapping.isEmpty(); }
};

// Looks before an add, reading the fields as typedRange does; nothing when
// either text is not an integer text, as the add then stores nothing
// either, and no clash for a number beyond 32 bits, which the database
// refuses itself. Reads only: no key is taken.
std::optional<RangeClash> rangeClash(DbSession &session, const QByteArray &start, const QByteArray &end);

// How many distinct numbers from low to high stand as catalog.barcod (the
// ten-digit text a label carries), read in a snapshot of its own.
// Negative numbers have no barcode text and so are never taken.
qint64 takenInCatalog(DbSession &session, qint64 low, qint64 high);

// The question put before storing a clashing range; "|" breaks the lines.
QString rangeClashQuestion(const RangeClash &clash);

// Two registered ranges that share at least one number.
struct RangeOverlap {
    RegisteredRange first;
    RegisteredRange second;
};

// Every pair of the ranges that overlap, each pair once, ordered by the
// lower range of the pair.
QList<RangeOverlap> overlapsAmong(QList<RegisteredRange> ranges);

// "100 — 199 «A-1»": a range as the messages name it.
QString rangeText(const RegisteredRange &range);
