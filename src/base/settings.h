#pragma once

#include <QByteArray>
#include <QString>

class QSettings;

// The program's settings files, in INI format: the per-user file, which also
// holds "last login", then the system-wide one, read in that order. The
// program reads them; it writes only what the user sets in its windows.

// The key path of the per-user file as the registry reader names it.
inline constexpr char kSettingsKey[] = "Software\\Tovi\\Vesko Mika";

// Reads the text of a value of the program's per-user settings store
// (standing in for the registry); empty when missing or unreadable.
enum RegistryRoot { HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE };
QByteArray ReadRegistryText(RegistryRoot root, const QByteArray &keyPath, const QByteArray &valueName);
// The settings file that a key path under HKEY_CURRENT_USER maps to.
QString registryFileName(const QByteArray &keyPath);

QString userSettingsFile();
QString systemSettingsFile();

// The value of a key from the first file that has it; empty when none does.
QString settingText(const QString &key);

// Where the database is: the "database" setting (a file path or any Firebird
// connection string), else "vesko.mika.baza" in the program's folder.
QString databaseLocation(const QString &programFolder);

// Writes the user's own settings file out, as the umask makes it but
// nobody else's to read, since no file of the program is wider than the
// database.
void syncForOwner(QSettings &store);
