#pragma once

#include <QList>
#include <QString>

// What is left of the last sheet printed, per user, printer and label
// stock, so that the next print can start on its free labels; and the
// stock last chosen for each printer.

// The free places of the last sheet, counted from 1 down the first column;
// empty when nothing is kept (a fresh sheet).
QList<int> readFreeCells(const QString &printerName, const QString &sheetId);
// An empty list forgets the sheet: nothing of it is free.
void writeFreeCells(const QString &printerName, const QString &sheetId, const QList<int> &freeCells);

// The product id last chosen for the printer; empty for the designed sheet.
QString readSheetChoice(const QString &printerName);
void writeSheetChoice(const QString &printerName, const QString &sheetId);

// "свободно 24 наклейки на последнем листе", in the right grammatical number.
QString freeCellsText(qsizetype count);
