#include "auth/account.h"

#include "auth/autent.h"
#include "db/dataset.h"
#include "db/dbcreate.h"

QList<QByteArray> accountGrants(const QByteArray &user)
{
    // Sign-in reads and updates accounts; the register keeps ranges and,
    // before adding one, looks for its numbers among the books; the
    // import stores books, publishers and readers and may clear the
    // tables of its mode; the first-run wipe empties the working tables
    // and sets their generators back.
    const QList<QByteArray> grants{
        "select, update on users",
        "select, insert, delete on barcodes",
        "usage on sequence nnbarcodes",
        "insert, delete on catalog",
        "select on catalog",
        "insert, delete on izdatelstvo",
        "insert, delete on readers",
        "usage on sequence nncatalog",
        "usage on sequence nnizdatelstvo",
        "usage on sequence nnreaders",
        "delete on sbornik",
        "delete on comment",
        "delete on mnogotom",
        "delete on udkop",
        "delete on ruki",
        "delete on zakaz",
        "delete on complect",
        "delete on newbooks",
        "delete on spisanie",
        "delete on spisanieitems",
        // Setting a generator back needs this; there is no narrower right.
        "alter any sequence",
    };
    QList<QByteArray> statements;
    for (const QByteArray &grant : grants)
        statements.append("grant " + grant + " to " + user);
    return statements;
}

bool setUpProgramAccount(DbConnection *connection)
{
    // An embedded attachment has no network protocol; its engine takes any
    // user name on trust, so only a server needs the user made.
    const bool onServer
        = !selectValue(connection, "select rdb$get_context('SYSTEM', 'NETWORK_PROTOCOL') from rdb$database").isEmpty();
    if (onServer) {
        QByteArray password = builtInPassword();
        execAndCommitOn(connection, "create or alter user " + builtInUserName() + " password '"
                                        + password.replace('\'', "''") + "'");
    }
    for (const QByteArray &statement : accountGrants(builtInUserName()))
        execAndCommitOn(connection, statement);
    return onServer;
}
