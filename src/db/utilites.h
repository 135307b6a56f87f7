#pragma once

#include "db/dataset.h"

#include <QByteArray>
#include <QString>

class DbConnection;
class DbQuery;
class DbSession;

// The database routines through which every task runs the statements it
// builds (see base/sqltext.h). Text is Windows-1251 bytes.

QByteArray UniqueSuffix();
// Reads the generator's next value on the session's scratch query.
QByteArray NextGeneratorValue(DbSession &session, const QByteArray &generator);

void OpenScratchSelect(DbQuery *query);
void OpenSelect(DbQuery *query, char mode);
void OpenSelectText(DbQuery *query, const QByteArray &statement, char mode);
// Runs one statement on the connection in a transaction of its own and
// commits it.
void ExecAndCommit(DbConnection &connection, const QByteArray &statement);

// A select's rows read through the connection in a snapshot of their own,
// which ends (rolled back) with this object: no read stays open after it to
// hold the tables it named.
class SnapshotRead {
public:
    SnapshotRead(DbConnection &connection, const QByteArray &statement);
    const DbQuery &rows() const { return m_query; }

private:
    // In this order, so that the statement is freed before its transaction.
    DbTransaction m_transaction;
    DbQuery m_query;
};
// Runs statements in order, each put into SqlText, in one transaction that
// commits only when all of them have run: a failure, another desk's lock
// among them, leaves nothing of the list behind.
void ExecAllOrNothing(DbConnection &connection, const QList<QByteArray> &statements);

enum LocateOption { loCaseInsensitive = 1, loPartialKey = 2 };
bool LocateQuietly(DbQuery *query, const QByteArray &keyFields, const QByteArray &keyValue, int options);
