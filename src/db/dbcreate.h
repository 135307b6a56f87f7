#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class DbConnection;

// Splits a script into statements at each ";" outside quotes and comments.
QList<QByteArray> splitSqlScript(const QByteArray &script);

// Connection parameters of an administrator: on an embedded file the name
// is taken on trust and the password may stay empty.
QList<QByteArray> adminParams(const QByteArray &user = "SYSDBA", const QByteArray &password = QByteArray());

// Creates a database file owned by the administrator and runs the scripts
// on it, each statement committed on its own. The scripts are Windows-1251
// text.
void createDatabase(const QString &path, const QList<QByteArray> &scripts);

// The first column of the first row as text; empty for no row or null.
QByteArray selectValue(DbConnection *connection, const QByteArray &select);
