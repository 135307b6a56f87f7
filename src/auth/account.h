#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class DbConnection;

// The program's own database account, which every connection it makes
// uses: a user of its own rather than the server's administrator, allowed
// exactly what the program's statements do and nothing else. Its password
// is no part of the program: on a server it is made for that server and
// kept in a settings file that only root and the staff group read.

// The grants that allow it, one statement each.
QList<QByteArray> accountGrants(const QByteArray &user);

// Gives the account exactly its rights on the database the connection is
// attached to, as its owner or an administrator, after taking back whatever
// it held there (an older version's role and wider rights included). True
// when the connection goes through a server.
bool grantAccountRights(DbConnection *connection);

// A fresh password for the account on a server: letters and digits from
// the system's random source.
QByteArray newAccountPassword();

// How the server knows the account, as its administrator sees it.
enum class ServerAccount { Missing, Opens, Refused };
// Whether the server has the account, and whether password opens the
// connection's database as it.
ServerAccount serverAccount(DbConnection *adminConnection, const QByteArray &password);

// Creates the account on the connection's server, or sets its password.
void setServerAccountPassword(DbConnection *adminConnection, const QByteArray &password);

// The password the settings file holds; empty when it holds none.
QByteArray accountPasswordIn(const QString &settingsFile);

// Writes the password into the settings file, leaving every other line as
// it is. A new file is readable by root and the staff group only (by its
// owner alone where there is no such group); an existing one keeps its
// owner, group and mode, less anything other users could do with it.
void keepAccountPassword(const QString &settingsFile, const QByteArray &password);
