#include "firstrun/wipe.h"

#include "base/errors.h"
#include "base/sqltext.h"
#include "db/dataset.h"
#include "db/dberror.h"
#include "db/refusals.h"
#include "db/session.h"
#include "db/utilites.h"
#include "firstrun/names.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>

const std::array<const char *, 35> kWipeStatements = {
    "delete from catalog",
    "set generator nncatalog to 0",
    "set generator aacatalog to 0",
    "delete from udkop",
    "set generator nnudkop to 0",
    "delete from izdatelstvo",
    "set generator nnizdatelstvo to 0",
    "set generator ssizdatelstvo to 0",
    "delete from mnogotom",
    "set generator nnmnogotom to 0",
    "set generator ssmnogotom to 0",
    "delete from comment",
    "set generator nncomment to 0",
    "set generator sscomment to 0",
    "delete from sbornik",
    "set generator nnsbornik to 0",
    "set generator sssbornik to 0",
    "delete from complect",
    "set generator nncomplect to 0",
    "set generator rrcomplect to 0",
    "set generator ddcomplect to 0",
    "delete from newbooks",
    "set generator nnnewbooks to 0",
    "delete from spisanie",
    "set generator nnspisanie to 0",
    "set generator llspisanie to 0",
    "delete from spisanieitems",
    "set generator nnspisanieitems to 0",
    "delete from readers",
    "set generator nnreaders to 0",
    "set generator ooreaders to 0",
    "delete from zakaz",
    "set generator nnzakaz to 0",
    "delete from ruki",
    "set generator nnruki to 0",
};

QList<QByteArray> emptiedTables(std::span<const char *const> statements)
{
    static constexpr QByteArrayView kDelete = "delete from ";
    QList<QByteArray> tables;
    for (const char *statement : statements) {
        const QByteArrayView text(statement);
        if (text.startsWith(kDelete))
            tables.append(text.sliced(kDelete.size()).toByteArray());
    }
    return tables;
}

namespace {

// One row: the rows of each table, in order.
QByteArray countStatement(const QList<QByteArray> &tables)
{
    QByteArray statement = "select ";
    for (const QByteArray &table : tables)
        statement += "(select count(*) from " + table + "), ";
    statement.chop(2);
    return statement + " from rdb$database";
}

QList<qint64> countsOf(const DbQuery &read, qsizetype columns)
{
    QList<qint64> counts;
    for (int column = 0; column < columns; ++column)
        counts.append(read.fieldAt(0, column).asString().toLongLong());
    return counts;
}

QList<QByteArray> upperCase(QList<QByteArray> tables)
{
    for (QByteArray &table : tables)
        table = table.toUpper();
    return tables;
}

// Starts the transaction with the tables taken as lock says; another
// desk's hold on them is said in the user's words.
void reserve(DbTransaction &transaction, const QList<QByteArray> &tables, TableLock lock)
{
    try {
        transaction.startReserving(upperCase(tables), lock, kTablesWaitSeconds);
    } catch (const DbError &e) {
        if (e.cause() == DbError::Cause::Busy)
            throw e.explainedAs(tablesBusyText());
        throw;
    }
}

} // namespace

QList<qint64> countRows(DbSession &session, const QList<QByteArray> &tables)
{
    if (tables.isEmpty())
        return {};
    const SnapshotRead read(session.connection(), countStatement(tables));
    return countsOf(read.rows(), tables.size());
}

namespace {

void emptyInOneTransaction(DbConnection &connection, std::span<const char *const> statements,
                           const std::function<void(qsizetype done)> &progress)
{
    const QList<QByteArray> tables = emptiedTables(statements);
    DbTransaction transaction(connection);
    reserve(transaction, tables, TableLock::ProtectedWrite);
    qsizetype done = 0;
    for (const char *statement : statements) {
        SqlText = statement;
        DbQuery(connection, transaction, SqlText).execSql();
        if (progress)
            progress(++done);
    }
    // The generators are set back only at the commit, and only over
    // tables this count has seen empty.
    QList<qint64> counts;
    {
        DbQuery count(connection, transaction, countStatement(tables));
        count.open();
        counts = countsOf(count, tables.size());
    }
    if (std::any_of(counts.begin(), counts.end(), [](qint64 rows) { return rows != 0; })) {
        throw AppError(QStringLiteral("таблицы не опустели (%1); ничего не изменено, повторите позже")
                           .arg(rowCountsText(tables, counts)));
    }
    transaction.commit();
}

} // namespace

void emptyTables(DbSession &session, std::span<const char *const> statements,
                 const std::function<void(qsizetype done)> &progress)
{
    try {
        emptyInOneTransaction(session.connection(), statements, progress);
    } catch (const DbError &e) {
        throw explained(e, session.connection().databaseName);
    }
}

TablesInUse::TablesInUse(DbSession &session, const QList<QByteArray> &tables)
    : m_transaction(std::make_unique<DbTransaction>(session.connection()))
{
    reserve(*m_transaction, tables, TableLock::SharedWrite);
}

TablesInUse::~TablesInUse() = default;

QString rowCountsText(const QList<QByteArray> &tables, const QList<qint64> &counts, const QString &separator)
{
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    QStringList parts;
    for (qsizetype i = 0; i < tables.size() && i < counts.size(); ++i)
        parts.append(tableTitle(tables[i]) + u' ' + russian.toString(counts[i]));
    return parts.join(separator);
}

QList<QByteArray> wipedTables()
{
    return emptiedTables(kWipeStatements);
}

QList<qint64> wipeCounts(DbSession &session)
{
    QList<qint64> counts;
    runReattaching(&session.connection(), [&] { counts = countRows(session, wipedTables()); });
    return counts;
}

bool runWipe(DbSession &session, const AskAdministrator &askAdministrator, WipeObserver &observer)
{
    observer.phaseChanged(WipePhase::BackingUp);
    // The way back comes first: without a backup no statement runs.
    std::optional<Backup> backup;
    try {
        backup = backUpDatabase(&session.connection(), askAdministrator);
    } catch (...) {
        observer.notBackedUp(false);
        throw;
    }
    if (!backup) {
        observer.notBackedUp(true);
        return false;
    }
    observer.backedUp(*backup);
    // The counts follow the wipe, done or undone.
    const auto recount = [&] {
        observer.phaseChanged(WipePhase::Counting);
        try {
            observer.counted(wipeCounts(session));
        } catch (const AppError &e) {
            observer.countFailed(e);
        }
    };
    observer.phaseChanged(WipePhase::Wiping);
    try {
        emptyTables(session, kWipeStatements,
                    [&](qsizetype done) { observer.statementDone(done, qsizetype(kWipeStatements.size())); });
    } catch (...) {
        recount();
        throw;
    }
    recount();
    return true;
}
