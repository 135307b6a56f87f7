#pragma once

#include "db/dbcreate.h"

#include <QByteArray>
#include <QList>
#include <QString>

class DbReader;

// Everything a database holds as data, as text to compare byte for byte:
// every user table's rows in key order (the primary key, else all columns),
// then every user generator's value. Read as the administrator unless
// params say otherwise.
QByteArray dumpDatabase(const QString &database, const QList<QByteArray> &params = adminParams());

// Puts rows into every table of the schema (Cyrillic text, quotes, nulls,
// dates, numbers) and moves every generator on, so that a dump shows
// whether any of it went missing.
void fillEveryTable(DbReader &reader);
