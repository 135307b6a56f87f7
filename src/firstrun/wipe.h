#pragma once

#include "firstrun/backup.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <array>
#include <functional>
#include <memory>
#include <span>

class DbSession;
class DbTransaction;

// The first-run wipe: every working table emptied and its generators set
// back, in this order. The reference tables, the accounts and the barcode
// register keep their rows.
extern const std::array<const char *, 35> kWipeStatements;

enum class WipePhase { BackingUp, Wiping, Counting };

// Hears how a wipe goes, as the first-run tab and the tests do.
class WipeObserver {
public:
    virtual ~WipeObserver() = default;
    // A new phase has begun.
    virtual void phaseChanged(WipePhase phase) = 0;
    // The backup is made; the wipe's statements follow.
    virtual void backedUp(const Backup &backup) = 0;
    // There is no backup, so nothing is wiped: the administrator was not
    // named (declined), or the backup failed with the error the wipe then
    // raises.
    virtual void notBackedUp(bool declined) = 0;
    // The rows of the tables the wipe empties, counted after it whether it
    // was done or not; or why they could not be counted.
    virtual void counted(const QList<qint64> &counts) = 0;
    virtual void countFailed(const AppError &error) = 0;
    // A statement of the wipe has run (not yet committed: the wipe is one
    // transaction): done of count.
    virtual void statementDone(qsizetype /*done*/, qsizetype /*count*/) {}
};

// The wipe on the session's database: a backup first (through a server
// the administrator is asked for by askAdministrator, as backUpDatabase
// does), then the wipe's statements through emptyTables, then the tables
// counted again. True when the wipe was done; false when the administrator
// was not named, and nothing was done. A failed backup or wipe raises its
// error; the counts follow a failed wipe all the same.
bool runWipe(DbSession &session, const AskAdministrator &askAdministrator, WipeObserver &observer);

// The tables the wipe empties, in its order.
QList<QByteArray> wipedTables();

// The rows of each of wipedTables() as they stand now, through
// runReattaching.
QList<qint64> wipeCounts(DbSession &session);

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
void emptyTables(DbSession &session, std::span<const char *const> statements,
                 const std::function<void(qsizetype done)> &progress = {});

// Holds tables for writing as long as it lives, alongside any other
// writer but against emptyTables: an import's run takes it, so that no
// clear or wipe empties the tables between its records. Waits for a
// running clear or wipe as emptyTables waits for writers.
class TablesInUse {
public:
    TablesInUse(DbSession &session, const QList<QByteArray> &tables);
    ~TablesInUse();
    TablesInUse(const TablesInUse &) = delete;
    TablesInUse &operator=(const TablesInUse &) = delete;

private:
    std::unique_ptr<DbTransaction> m_transaction;
};

// The rows each table holds, counted in one snapshot, so that a desk
// storing meanwhile cannot make them disagree.
QList<qint64> countRows(DbSession &session, const QList<QByteArray> &tables);

// "каталог 1 200, издательства 0": each table by the name the staff know it
// by and its rows, the thousands set apart as Russian text has them.
QString rowCountsText(const QList<QByteArray> &tables, const QList<qint64> &counts,
                      const QString &separator = QStringLiteral(", "));
