#pragma once

#include "db/dataset.h"
#include "db/dbcreate.h"
#include "db/session.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// An attachment of its own to a database file, for checking what reached
// it and for setting up rows behind the program's back.
class DbReader {
public:
    // As the administrator, on a file or through a server.
    explicit DbReader(const QString &path, const QList<QByteArray> &params = adminParams());
    // Every row, fields joined by '|' (null shown as "<null>").
    QList<QByteArray> rows(const QByteArray &select);
    QByteArray value(const QByteArray &select) { return rows(select).value(0); }
    // Runs and commits one statement.
    void exec(const QByteArray &statement);

    DbConnection *connection() { return &m_connection; }

private:
    DbConnection m_connection;
};

// Another desk in the middle of its work: statements run in a transaction
// that stays open, holding its locks, until it is rolled back or this goes.
class OpenTransaction {
public:
    OpenTransaction(const QString &path, const QList<QByteArray> &statements,
                    const QList<QByteArray> &params = adminParams());
    void rollback() { m_transaction.rollback(); }

private:
    DbConnection m_connection;
    DbTransaction m_transaction;
};

// A fresh embedded database for each test, copied from one that the
// project's database tool built once per test program.
class TestDb {
public:
    // demo: with the demo accounts and ranges.
    explicit TestDb(bool demo = true);
    ~TestDb();

    // Copies the template to a new file and returns its path.
    QString freshFile();
    // A fresh file, attached in a session of its own.
    void connectFresh();
    void disconnect();

    DbSession &session() const { return *m_session; }
    DbConnection *connection() const { return &m_session->connection(); }
    DbQuery *scratch() const { return &m_session->scratch(); }
    QString path() const { return m_path; }

    // Runs a select on an attachment of its own (see DbReader).
    QList<QByteArray> rows(const QByteArray &select) const { return DbReader(m_path).rows(select); }
    QByteArray value(const QByteArray &select) const { return rows(select).value(0); }

private:
    QTemporaryDir m_dir;
    QString m_template;
    QString m_path;
    int m_copies = 0;
    std::unique_ptr<DbSession> m_session;
};

// Runs the database tool; returns its exit code and fills output.
int runDbTool(const QStringList &arguments, QByteArray *output = nullptr);
