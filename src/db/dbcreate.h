#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Splits a script into statements at each ";" outside quotes and comments.
QList<QByteArray> splitSqlScript(const QByteArray &script);

// Creates a database file and runs the scripts on it, each statement
// committed on its own. The scripts are Windows-1251 text.
void createDatabase(const QString &path, const QList<QByteArray> &scripts);
