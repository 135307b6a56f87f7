#include "db/utilites.h"

#include "base/errors.h"
#include "base/platform.h"
#include "base/sqltext.h"
#include "db/dataset.h"
#include "db/dberror.h"
#include "db/session.h"

#include <QDateTime>
#include <QThread>

QByteArray UniqueSuffix()
{
    QThread::msleep(10);
    const QDateTime now = platform::now();
    const qint64 day = QDate(1, 1, 1).daysTo(now.date()) + 1;
    return QByteArray::number(day * 86400000LL + now.time().msecsSinceStartOfDay());
}

namespace {

// A query still reading in the connection's default transaction gets one of
// its own, kept until its owner (or the query itself, when it has none)
// goes; reads then never hold up the default.
void givePrivateTransaction(DbQuery *query)
{
    DbConnection *connection = query->database();
    if (query->transaction() && (!connection || query->transaction() != connection->defaultTransaction()))
        return;
    if (!connection)
        throw DbError(QStringLiteral("Database not connected"));
    query->close();
    QObject *owner = query->parent() ? query->parent() : query;
    auto *transaction = new DbTransaction(*connection, DbTransaction::Action::CommitRetaining, owner);
    transaction->setObjectName(QStringLiteral("TR") + QString::fromLatin1(UniqueSuffix()));
    query->setTransaction(transaction);
}

void openOn(DbQuery *query, const QByteArray &statement, bool endPreviousRead)
{
    givePrivateTransaction(query);
    if (endPreviousRead && query->transaction()->inTransaction())
        query->transaction()->rollback();
    query->close();
    query->unprepare();
    query->setSql(statement);
    query->prepare();
    query->open();
}

} // namespace

void OpenScratchSelect(DbQuery *query)
{
    openOn(query, SqlText, query->objectName() == QLatin1String("IBQXXMAIN"));
}

void OpenSelect(DbQuery *query, char mode)
{
    openOn(query, SqlText, mode != 'n');
}

void OpenSelectText(DbQuery *query, const QByteArray &statement, char mode)
{
    openOn(query, statement, mode != 'n');
}

QByteArray NextGeneratorValue(DbSession &session, const QByteArray &generator)
{
    OpenSelectText(&session.scratch(), "select gen_id(" + generator + ",1) zz from rdb$database", '*');
    return session.scratch().field("zz").asString();
}

SnapshotRead::SnapshotRead(DbConnection &connection, const QByteArray &statement)
    : m_transaction(connection), m_query(connection, m_transaction, statement)
{
    m_query.open();
}

void ExecAndCommit(DbConnection &connection, const QByteArray &statement)
{
    // Declared in this order so the statement is freed before its
    // transaction, which then commits if it is still running.
    DbTransaction transaction(connection, DbTransaction::Action::Commit);
    DbQuery query(connection, transaction, statement);
    transaction.start();
    query.prepare();
    query.execSql();
    transaction.commit();
}

void ExecAllOrNothing(DbConnection &connection, const QList<QByteArray> &statements)
{
    DbTransaction transaction(connection);
    transaction.start();
    for (const QByteArray &statement : statements) {
        SqlText = statement;
        DbQuery(connection, transaction, SqlText).execSql();
    }
    transaction.commit();
}

bool LocateQuietly(DbQuery *query, const QByteArray &keyFields, const QByteArray &keyValue, int options)
{
    const auto afterScroll = std::exchange(query->afterScroll, nullptr);
    const auto onCalcFields = std::exchange(query->onCalcFields, nullptr);
    bool found = false;
    try {
        found = query->locate(keyFields, keyValue,
                              ((options & loCaseInsensitive) ? DbQuery::CaseInsensitive : 0)
                                  | ((options & loPartialKey) ? DbQuery::PartialKey : 0));
    } catch (...) {
        query->afterScroll = afterScroll;
        query->onCalcFields = onCalcFields;
        throw;
    }
    query->afterScroll = afterScroll;
    query->onCalcFields = onCalcFields;
    if (query->onCalcFields)
        query->onCalcFields(query);
    if (query->afterScroll)
        query->afterScroll(query);
    return found;
}
