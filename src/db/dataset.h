#pragma once

#include "base/errors.h"
#include "db/dberror.h"
#include "db/dbvalue.h"
#include "db/fbref.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <vector>

namespace Firebird {
class IAttachment;
class ITransaction;
class IStatement;
} // namespace Firebird

class DbTransaction;
class DbQuery;

// One attachment to a database through the Firebird client library: a file
// opened by the embedded engine, or any connection string that names a
// server. Parameters are "name=value" lines.
class DbConnection : public QObject {
    Q_OBJECT

public:
    explicit DbConnection(QObject *parent = nullptr);
    ~DbConnection() override;

    QList<QByteArray> params;
    QString databaseName;
    // We never prompt for a login; the flag is kept for callers that set it.
    bool loginPrompt = false;
    int sqlDialect = 3;
    // Seconds to wait for a server that does not answer, so that an
    // unreachable one cannot freeze the window for minutes.
    int connectTimeout = 15;

    DbTransaction *defaultTransaction() const { return m_defaultTransaction; }
    void setDefaultTransaction(DbTransaction *transaction) { m_defaultTransaction = transaction; }

    void open();
    // Ends every running transaction with its default action, then detaches.
    void close();
    // Like close, but never fails: whatever the engine refuses is dropped.
    void forceClose();
    // Deletes the attached database and detaches: only its owner or an
    // administrator may, and no other attachment may be open.
    void dropDatabase();
    bool connected() const { return bool(m_attachment); }
    // Drops an attachment that the server no longer knows (every running
    // transaction and prepared statement on it goes too) and attaches
    // again with the same parameters. When that fails, the connection
    // stays lost until an attach succeeds.
    void reattach();
    bool lost() const { return m_lost; }
    // Commits made through this connection so far: whether some work
    // has changed the database.
    quint64 commits() const { return m_commits; }

    Firebird::IAttachment *handle() const { return m_attachment.get(); }

private:
    friend class DbTransaction;
    friend class DbQuery;
    void shutDown(bool force);

    FbRef<Firebird::IAttachment> m_attachment;
    bool m_lost = false;
    quint64 m_commits = 0;
    DbTransaction *m_defaultTransaction = nullptr;
    QList<DbTransaction *> m_transactions;
    QList<DbQuery *> m_queries;
};

// How a transaction takes tables for itself when it starts: shared with
// other writers that share them, or alone against every other writer.
enum class TableLock { SharedWrite, ProtectedWrite };

// A transaction on one connection, bound to it for life; several may run
// side by side.
class DbTransaction : public QObject {
    Q_OBJECT

public:
    enum class Action { Rollback, Commit, CommitRetaining, RollbackRetaining };

    explicit DbTransaction(DbConnection &connection, Action defaultAction = Action::Rollback,
                           QObject *parent = nullptr);
    // An unfinished transaction ends with its default action; never throws.
    ~DbTransaction() override;

    DbConnection *database() const { return m_connection; }

    // How an unfinished transaction ends: when its connection closes, or
    // when it goes.
    Action defaultAction;

    void start();
    // Starts reading committed rows, with the tables (their names as the
    // database stores them) taken as lock says before anything runs. A
    // writer of theirs that the lock excludes is waited for at most
    // waitSeconds, then the start fails with a lock error; so does any
    // record conflict later on.
    void startReserving(const QList<QByteArray> &tables, TableLock lock, int waitSeconds);
    void commit();
    void rollback();
    void commitRetaining();
    bool inTransaction() const { return bool(m_handle); }

    Firebird::ITransaction *handle() const { return m_handle.get(); }

private:
    friend class DbConnection;
    // Ends with the default action; a retaining action ends for good here.
    void finish() noexcept;

    QPointer<DbConnection> m_connection;
    FbRef<Firebird::ITransaction> m_handle;
};

// A statement on a connection, bound to it for life, run in a transaction
// of that connection. A select is fetched whole into memory on open, so
// later commits are not seen until it is opened again.
class DbQuery : public QObject {
    Q_OBJECT

public:
    DbQuery(DbConnection &connection, DbTransaction &transaction, const QByteArray &sql = {},
            QObject *parent = nullptr);
    ~DbQuery() override;

    DbConnection *database() const { return m_connection; }
    void setTransaction(DbTransaction *transaction) { m_transaction = transaction; }
    DbTransaction *transaction() const { return m_transaction; }

    // The one SQL text; setting another releases the prepared statement.
    void setSql(const QByteArray &sql);
    const QByteArray &sql() const { return m_sql; }
    // Statements are complete texts; a statement that asks for parameters is
    // refused at prepare, so there are never any to clear.
    int paramCount() const { return 0; }

    void prepare();
    void unprepare();
    bool prepared() const { return bool(m_statement); }

    void open();
    void close();
    bool active() const { return m_active; }
    void execSql();

    int recordCount() const { return int(m_rows.size()); }
    bool isEmpty() const { return m_rows.empty(); }
    bool eof() const { return m_eof; }
    int recNo() const { return m_current; }
    void first();
    void next();
    void moveTo(int row);

    enum LocateOption { CaseInsensitive = 1, PartialKey = 2 };
    // Finds the first row whose fields (names joined by ';') equal the values
    // (joined by ';' for several fields) and makes it current.
    bool locate(const QByteArray &fields, const QByteArray &values, int options);

    int fieldCount() const { return int(m_names.size()); }
    QByteArray fieldName(int column) const { return m_names.value(column); }
    int fieldIndex(const QByteArray &name) const;
    DbField field(const QByteArray &name) const;
    DbField fieldAt(int row, int column) const;

    // Dataset events; each may be detached (empty) and attached again.
    std::function<void(DbQuery *)> afterScroll;
    std::function<void(DbQuery *)> onCalcFields;

signals:
    // The rows were replaced or dropped.
    void rowsChanged();
    // The current row moved.
    void scrolled();

private:
    friend class DbConnection;
    void ensureTransaction();
    void scrollTo(int row);

    QPointer<DbConnection> m_connection;
    QPointer<DbTransaction> m_transaction;
    QByteArray m_sql;
    FbRef<Firebird::IStatement> m_statement;
    bool m_active = false;
    bool m_eof = true;
    int m_current = -1;
    QList<QByteArray> m_names;
    std::vector<std::vector<DbValue>> m_rows;
};

// Creates a new database file with the given default character set and page
// size, attaching as user; the file must not exist yet.
void createDatabaseFile(const QString &path, const QByteArray &user, const QByteArray &charset);

// True when the engine refused an attachment's user name and password.
bool loginRefused(const DbError &error);
