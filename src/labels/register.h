#pragma once

#include <QByteArray>

#include <optional>

class DbQuery;

// The register of barcode label ranges (table barcodes), free of any
// window: the list's statement, the checks of the typed fields, adding and
// deleting. The barcode tab keeps the grid and the fields and calls these.

// Opens every range on the list query, by start number (the tab's SelectBC).
void selectRanges(DbQuery *list);

// Adds a range as typed and returns the key it was stored under. Start and
// end go into the statement as typed and must pass IsIntegerText; when
// either does not, nothing is stored, no key is taken and nothing is
// returned. An empty mark is stored as null.
std::optional<QByteArray> addRange(const QByteArray &start, const QByteArray &end, const QByteArray &mark);

// Deletes the range stored under the key.
void deleteRange(const QByteArray &num);

// The numbers a print covers, lower first, from the two typed texts;
// nothing when either is not an integer text. A number beyond 32 bits
// raises ConvertError.
struct PrintRange {
    qint32 first = 0;
    qint32 last = 0;
};
std::optional<PrintRange> printRange(const QByteArray &start, const QByteArray &end);
