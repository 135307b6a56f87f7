#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <array>
#include <functional>
#include <span>

// The first-run wipe: every working table emptied and its generators set
// back, in this order. The reference tables, the accounts and the barcode
// register keep their rows.
extern const std::array<const char *, 35> kWipeStatements;

// Runs the wipe's statements as one transaction: all of them, or, when one
// fails, none. progress, when given, hears each statement done.
void runWipe(const std::function<void(qsizetype done)> &progress = {});

// The tables a list of statements empties, in its order: the table of each
// "delete from".
QList<QByteArray> emptiedTables(std::span<const char *const> statements);

// The rows each table holds, counted in one snapshot through the shared
// connection, so that a desk storing meanwhile cannot make them disagree.
QList<qint64> countRows(const QList<QByteArray> &tables);

// "каталог 1 200, издательства 0": each table by the name the staff know it
// by and its rows, the thousands set apart as Russian text has them.
QString rowCountsText(const QList<QByteArray> &tables, const QList<qint64> &counts,
                      const QString &separator = QStringLiteral(", "));
