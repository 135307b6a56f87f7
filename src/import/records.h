#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>
#include <span>

// Reading an import file's records and turning one record into the insert
// statements that store it. Text is Windows-1251 bytes, taken from the file
// unconverted (or converted from UTF-8 before, see encoding.h).

// What ends a line in the file. A file with a CR LF anywhere keeps the
// CR LF rule, lone CR and LF inside records included; one with no CR LF at
// all is split at LF, and one with neither at a lone CR.
enum class LineEnds { CrLf, Lf, Cr, None };

LineEnds detectLineEnds(QByteArrayView buffer);

// Where a record begins: byte 0 and right after every CR LF that has at least
// one byte after it. Returns the start of the record after the one at
// position, or -1 when there is none; a negative position means "no record".
qsizetype NextRecordStart(QByteArrayView buffer, qsizetype position);
// The same for the file's own line ends: after an LF, or after a CR, with at
// least one byte after it.
qsizetype NextRecordStart(QByteArrayView buffer, qsizetype position, LineEnds ends);

// Where the text of the record at position ends: at the first CR (CR LF and
// CR files), the first LF (LF files), or the end of the buffer.
qsizetype recordTextEnd(QByteArrayView buffer, qsizetype position, LineEnds ends);

// The text of the record at position: up to the first CR or the end of the
// buffer, every apostrophe doubled, trailing spaces removed.
QByteArray ReadRecordText(QByteArrayView buffer, qsizetype position);
QByteArray ReadRecordText(QByteArrayView buffer, qsizetype position, LineEnds ends);

// Removes the characters of codes 0 to 32 from both ends.
QByteArray trimBlanks(QByteArrayView text);

// The record at position as store2baza takes it: ReadRecordText trimmed of
// codes 0 to 32 at both ends. Empty text is skipped by the run.
QByteArray recordText(QByteArrayView buffer, qsizetype position, LineEnds ends = LineEnds::CrLf);

// The number of records the run will visit; an empty file has one.
qsizetype countRecords(QByteArrayView buffer, LineEnds ends = LineEnds::CrLf);

// Line breaks in the text, as an editor counts them to number its lines:
// CR LF, a lone CR and a lone LF each end one line.
qsizetype countLineBreaks(QByteArrayView text);

bool charInSet(char c, QByteArrayView set);

// Takes the field in front of the first separator out of rest; rest keeps
// what follows that separator, or becomes empty when there is none.
QByteArray CutField(QByteArray &rest, QByteArrayView separators);

// Trims codes 0 to 32, drops one enclosing apostrophe and then one enclosing
// double quote at each end, and trims again.
QByteArray CleanField(const QByteArray &field);

// A price: digits, optionally grouped in threes by single spaces or
// no-break spaces (byte A0), then at most one "," or "." with one or two
// digits. "12" is 1200 hundredths, "12,5" and "12.5" 1250, "1 000,00"
// 100000; an empty price is 0. Anything else is unreadable rather than read
// as another amount, and a count above 2147483647 is too large.
struct Price {
    enum Status { Read, Unreadable, TooLarge } status = Unreadable;
    qint32 hundredths = 0;
};
Price readPrice(QByteArrayView text);

// The price as a count of hundredths by readPrice; empty when it is not read.
std::optional<qint32> ParseCostHundredths(QByteArrayView text);

// A catalogue item number: IsIntegerText, not below zero, and within 32 bits.
struct ItemNumber {
    enum Status { Read, NotANumber, Negative, TooLarge } status = NotANumber;
    qint32 value = 0;
};
ItemNumber readItemNumber(const QByteArray &text);

enum class ImportMode { Catalogue, Readers };

// Why a record is not stored.
enum class Rejection {
    None,
    NotANumber,     // first field empty or not an integer (a header line too)
    NegativeNumber, // a catalogue item number below zero
    NumberTooLarge, // a catalogue item number beyond 32 bits
    PriceUnreadable,
    PriceTooLarge,
    Unencodable, // a character Windows-1251 cannot hold (reason in encoding.h)
};
// Says in Russian why, with the value that failed (as cleaned, the file's
// apostrophes still doubled) quoted after it: "цена не читается: «12,345»".
QString rejectionReason(Rejection rejection, QByteArrayView value = {});

// One field of a mode's record that goes to a text column, and how many of
// its characters the column keeps. Its Russian name is columnTitle's.
struct ImportField {
    int number; // 1-based position in the record
    const char *table;
    const char *column;
    qsizetype kept;
};
std::span<const ImportField> importFields(ImportMode mode);

// What store2baza makes of one record.
struct RecordPlan {
    Rejection rejection = Rejection::None;
    // The field that rejected the record (1-based, 0 when none) and its
    // value as cleaned.
    int rejectedField = 0;
    QByteArray rejectedValue;
    // In order: the catalog insert and, when the record names a place or a
    // publisher, the izdatelstvo insert; or the readers insert.
    QList<QByteArray> statements;
    // Catalogue mode: the item number as stored in barcod.
    QByteArray barcode;
    // Bit n - 1 set when field n is longer than its column keeps.
    quint32 cutFields = 0;
};
RecordPlan planRecord(const QByteArray &record, ImportMode mode);

// The statements of planRecord; empty when the record is rejected.
std::optional<QList<QByteArray>> recordStatements(const QByteArray &record, ImportMode mode);
