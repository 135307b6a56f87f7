#pragma once

#include <QByteArray>
#include <QString>

class DbConnection;

// Signs a member of staff in: attaches with the program's own database
// account, then checks the typed name and password against users.
bool ConnectUser(DbConnection *connection, const QString &databasePath, const QByteArray &userName,
                 const QByteArray &password);
bool CheckUser(const QByteArray &userName, const QByteArray &password);
bool CheckAccount(const QByteArray &password);
QByteArray MakeUserParam();
QByteArray MakePassParam();
