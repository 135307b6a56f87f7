#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <array>
#include <functional>
#include <memory>
#include <span>

class DbTransaction;

// The first-run wipe: every working table emptied and its generators set
// back, in this order. The reference tables, the accounts and the barcode
// register keep their rows.
extern const std::array<const char *, 35> kWipeStatements;

// Runs the wipe's statements through emptyTables.
void runWipe(const std::function<void(qsizetype done)> &progress = {});

// The tables a list of statements empties, in its order: the table of each
// "delete from".
QList<QByteArray> emptiedTables(std::span<const char *const> statements);

// Seconds a clear or a wipe waits for another desk's writing to those
// tables to end, and an import for a clear or a wipe to end, before it
// refuses.
inline constexpr int kTablesWaitSeconds = 5;

// Runs a list of "delete from" and generator statements, each put into
// SqlText, in one transaction that first takes the tables it empties for
// itself: while another desk writes to any of them (an import's whole run
// included), it waits kTablesWaitSeconds, then refuses with
// tablesBusyText() and changes nothing. It commits only when a count in
// the same transaction finds every table empty, so no generator is ever
// set back below a key that stands. progress hears each statement done.
void emptyTables(std::span<const char *const> statements, const std::function<void(qsizetype done)> &progress = {});

// Holds tables for writing as long as it lives, alongside any other
// writer but against emptyTables: an import's run takes it, so that no
// clear or wipe empties the tables between its records. Waits for a
// running clear or wipe as emptyTables waits for writers.
class TablesInUse {
public:
    explicit TablesInUse(const QList<QByteArray> &tables);
    ~TablesInUse();
    TablesInUse(const TablesInUse &) = delete;
    TablesInUse &operator=(const TablesInUse &) = delete;

private:
    std::unique_ptr<DbTransaction> m_transaction;
};

// The rows each table holds, counted in one snapshot through the shared
// connection, so that a desk storing meanwhile cannot make them disagree.
QList<qint64> countRows(const QList<QByteArray> &tables);

// "каталог 1 200, издательства 0": each table by the name the staff know it
// by and its rows, the thousands set apart as Russian text has them.
QString rowCountsText(const QList<QByteArray> &tables, const QList<qint64> &counts,
                      const QString &separator = QStringLiteral(", "));
