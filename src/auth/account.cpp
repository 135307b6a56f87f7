#include "auth/account.h"

#include "auth/autent.h"
#include "db/dataset.h"
#include "db/dbcreate.h"

QList<QByteArray> accountGrants(const QByteArray &user)
{
    // Sign-in reads and updates accounts; the register keeps ranges and,
    // before adding one, looks for its numbers among the books; the
    // import stores books, publishers and readers and may clear the
    // tables of its mode, and its check reads the catalogue's item
    // numbers; the first-run wipe backs the database up, then empties the
    // working tables and sets their generators back. Both count the rows of
    // the tables they would empty before they do.
    const QList<QByteArray> grants{
        "select, update on users",
        "select, insert, delete on barcodes",
        "usage on sequence nnbarcodes",
        "select, insert, delete on catalog",
        "select, insert, delete on izdatelstvo",
        "select, insert, delete on readers",
        "usage on sequence nncatalog",
        "usage on sequence nnizdatelstvo",
        "usage on sequence nnreaders",
        "select, delete on sbornik",
        "select, delete on comment",
        "select, delete on mnogotom",
        "select, delete on udkop",
        "select, delete on ruki",
        "select, delete on zakaz",
        "select, delete on complect",
        "select, delete on newbooks",
        "select, delete on spisanie",
        "select, delete on spisanieitems",
        // Setting a generator back needs this; there is no narrower right.
        "alter any sequence",
        // The backup before a wipe: Firebird 3 lets only the owner, SYSDBA
        // or a user in the database's RDB$ADMIN role back it up (select on
        // every table is not enough). A role acts only on a connection that
        // names it, and the program names it for its backups alone.
        "rdb$admin",
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
        execAndCommitOn(connection,
                        "create or alter user " + builtInUserName() + " password '" + password.replace('\'', "''")
                            + "'");
    }
    for (const QByteArray &statement : accountGrants(builtInUserName()))
        execAndCommitOn(connection, statement);
    return onServer;
}
