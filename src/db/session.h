#pragma once

#include "db/dataset.h"

#include <QByteArray>
#include <QList>
#include <QString>

// An open database as the program works on it: the connection, its default
// transaction and the scratch query that the generator reads and the
// account lookup use. The main window owns one and names its parts
// IBDatabase1, IBTransaction1 and IBQXXMAIN; the database tool and the tests
// make their own. Every unit that touches the database is handed one.
class DbSession {
public:
    DbSession();
    DbSession(const DbSession &) = delete;
    DbSession &operator=(const DbSession &) = delete;

    DbConnection &connection() { return m_connection; }
    DbTransaction &defaultTransaction() { return m_defaultTransaction; }
    DbQuery &scratch() { return m_scratch; }

    // Attaches to the database with these parameters, set afresh.
    void open(const QString &database, const QList<QByteArray> &params);

private:
    // In this order, so that the scratch query goes first and the
    // connection last.
    DbConnection m_connection;
    DbTransaction m_defaultTransaction;
    DbQuery m_scratch;
};
