#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <optional>

// Reading an import file's records and turning one record into the insert
// statements that store it. Text is Windows-1251 bytes, taken from the file
// unconverted.

// Where a record begins: byte 0 and right after every CR LF that has at least
// one byte after it. Returns the start of the record after the one at
// position, or -1 when there is none; a negative position means "no record".
qsizetype NextRecordStart(QByteArrayView buffer, qsizetype position);

// The text of the record at position: up to the first CR or the end of the
// buffer, every apostrophe doubled, trailing spaces removed.
QByteArray ReadRecordText(QByteArrayView buffer, qsizetype position);

// Removes the characters of codes 0 to 32 from both ends.
QByteArray trimBlanks(QByteArrayView text);

// The record at position as store2baza takes it: ReadRecordText trimmed of
// codes 0 to 32 at both ends. Empty text is skipped by the run.
QByteArray recordText(QByteArrayView buffer, qsizetype position);

// The number of records the run will visit; an empty file has one.
qsizetype countRecords(QByteArrayView buffer);

bool charInSet(char c, QByteArrayView set);

// Takes the field in front of the first separator out of rest; rest keeps
// what follows that separator, or becomes empty when there is none.
QByteArray CutField(QByteArray &rest, QByteArrayView separators);

// Trims codes 0 to 32, drops one enclosing apostrophe and then one enclosing
// double quote at each end, and trims again.
QByteArray CleanField(const QByteArray &field);

// The price as a count of hundredths: the leading digits are whole units, one
// character is skipped as the separator, the next digits are added as they
// are (12,50 -> 1250, 12.5 -> 1205). Empty when the count exceeds 2147483647.
std::optional<qint32> ParseCostHundredths(QByteArrayView text);

enum class ImportMode { Catalogue, Readers };

// The statements store2baza runs for one record, in order: the catalog insert
// and, when the record names a place or a publisher, the izdatelstvo insert;
// or the readers insert. Empty when the record is rejected (first field not an
// integer, price too large). Throws ConvertError when a catalogue item number
// does not fit 32 bits.
std::optional<QList<QByteArray>> recordStatements(const QByteArray &record, ImportMode mode);
