#pragma once

#include <QByteArray>
#include <QList>

class DbConnection;

// The program's own database account, which every connection it makes
// uses: a user of its own rather than the server's administrator, allowed
// exactly what the program's statements do.

// The grants that allow it, one statement each.
QList<QByteArray> accountGrants(const QByteArray &user);

// Readies the account on the database the connection is attached to, as
// its owner or an administrator: through a server the user is created, or
// its password set again; on any database it gets its rights. True when a
// server's user was created or reset.
bool setUpProgramAccount(DbConnection *connection);
