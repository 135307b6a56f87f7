#pragma once

#include "base/errors.h"
#include "db/fbservice.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class DbConnection;

// The backup that the first-run wipe makes before its first statement,
// through Firebird's own backup service, and the keeping of the backups the
// program made: the newest few of each database stay, older ones go,
// nothing else is touched.

// The name of a backup the program makes of a database file at a time:
// "<database file>.<yyyy-MM-dd_HH-mm-ss-zzz>.vesko-mika-backup.fbk". The
// milliseconds keep two backups of one second apart.
QString backupFileName(const QString &databaseFile, const QDateTime &when);

// The time in name when it is a backup the program made of databaseFile;
// an invalid time for every other name.
QDateTime programBackupTime(const QString &name, const QString &databaseFile);

// The name a backup is written under until the service has confirmed it.
QString partialBackupName(const QString &backupFile);

// The record beside a backup: ".fbk" becomes ".txt".
QString backupRecordName(const QString &backupFile);

// What the record beside a backup says: the database it holds, as the
// engine names it (its full path on the machine that holds it), the
// backup file's SHA-256, and the rows the backup wrote of each table.
struct BackupRecord {
    QString database;
    QByteArray sha256;
    TableRows rows;
};
QByteArray backupRecordText(const BackupRecord &record);
// Empty when the file is missing, a link, or says no database.
std::optional<BackupRecord> readBackupRecord(const QString &recordFile);

// The SHA-256 of a file in hex; empty when it cannot be read.
QByteArray fileSha256(const QString &file);

// Deletes from folder all but the newest `kept` of the program's own backups
// of database (as the engine names it) with their records, and the partial
// backups of its earlier attempts, and no other file: a backup is the
// database's only when its record names it. Returns the names deleted.
QStringList pruneBackups(const QString &folder, const QString &databaseFile, const QString &database, int kept);

// How many of its backups of a database the program keeps: the "backups
// kept" setting, 5 when it is not a number, at least 1.
int backupsKept();

// A backup that could not be made: a Russian sentence saying what it means
// for the user, then the backup service's own words.
class BackupError : public AppError {
public:
    using AppError::AppError;
};

struct Backup {
    // The backup file as the engine that wrote it names it: on the server's
    // machine when onServer.
    QString file;
    bool onServer = false;
    // The program's older backups deleted to keep the newest few.
    QStringList removed;
};

// Asks for the database administrator's name and password for a backup
// through a server; nothing when the user declined. They are never kept.
using AskAdministrator = std::function<std::optional<ServiceLogin>()>;

// Backs up the database the connection is attached to, into the "backup
// folder" setting's folder or beside the database. A file opened by the
// embedded engine is backed up there by name alone; through a server the
// administrator is asked for, and nothing is done when the question is
// declined. Where this machine sees the folder, the file is written under
// a temporary name, recorded, given the database file's owner, group and
// mode (as far as this process may), renamed once the service confirmed it,
// and the database's older backups beyond backupsKept() are deleted.
// Throws BackupError when there is no backup.
std::optional<Backup> backUpDatabase(DbConnection *connection, const AskAdministrator &askAdministrator);
