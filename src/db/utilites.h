#pragma once

#include "db/dataset.h"

#include <QByteArray>
#include <QString>

class DbConnection;
class DbQuery;
class DbSession;

// The SQL text and database routines that every task builds its statements
// with. Text is Windows-1251 bytes.

// The statement being built by whichever handler runs now.
extern QByteArray SqlText;

bool IsIntegerText(const QByteArray &text);
QByteArray ZeroPad(qint32 number, qint32 width);
QByteArray UniqueSuffix();
// Reads the generator's next value on the session's scratch query.
QByteArray NextGeneratorValue(DbSession &session, const QByteArray &generator);

// Reads the text of a value of the program's per-user settings store
// (standing in for the registry); empty when missing or unreadable.
enum RegistryRoot { HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE };
QByteArray ReadRegistryText(RegistryRoot root, const QByteArray &keyPath, const QByteArray &valueName);
// The settings file that a key path under HKEY_CURRENT_USER maps to.
QString registryFileName(const QByteArray &keyPath);

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

QByteArray SqlValue(const QByteArray &value, char kind, char trailer);
QByteArray WhereTerm(const QByteArray &value, char op, char kind, char trailer);
QByteArray EscapeQuotes(const QByteArray &text);

enum LocateOption { loCaseInsensitive = 1, loPartialKey = 2 };
bool LocateQuietly(DbQuery *query, const QByteArray &keyFields, const QByteArray &keyValue, int options);

// Reads a decimal 32-bit integer; throws ConvertError with the message
// "'<text>' is not a valid integer value" otherwise.
qint32 StrToInt(const QByteArray &text);
