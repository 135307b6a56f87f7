#pragma once

#include <QByteArray>

class DbConnection;

// The program's own settings kept in the database, a value per name, so
// that every desk working on it does the same. The database tool makes the
// table as the database's administrator, who alone writes it; the
// program's account only reads it.
inline constexpr char kOwnSettingsTable[] = "utilities_settings";

// Makes the table where the database has none yet.
void createOwnSettings(DbConnection &connection);

// The value kept under name; empty when the table, the row or the value
// is missing.
QByteArray readOwnSetting(DbConnection *connection, const QByteArray &name);

// Keeps value under name, making the table first where it is missing.
void writeOwnSetting(DbConnection &connection, const QByteArray &name, const QByteArray &value);
