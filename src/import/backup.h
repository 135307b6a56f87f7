#pragma once

#include "db/errors.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

class DbConnection;

// The backup that the first-run wipe makes before its first statement,
// through Firebird's own backup service, and the keeping of the backups the
// program made: the newest few stay, older ones go, nothing else is touched.

// The name of a backup the program makes of a database file at a time:
// "<database file>.<yyyy-MM-dd_HH-mm-ss-zzz>.vesko-mika-backup.fbk". The
// milliseconds keep two backups of one second apart.
QString backupFileName(const QString &databaseFile, const QDateTime &when);

// The time in name when it is a backup the program made of databaseFile;
// an invalid time for every other name.
QDateTime programBackupTime(const QString &name, const QString &databaseFile);

// Deletes from folder all but the newest `kept` of the program's own backups
// of databaseFile, and no other file; returns the names deleted.
QStringList pruneBackups(const QString &folder, const QString &databaseFile, int kept);

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

// Backs up the database the connection is attached to, with the
// connection's account in its RDB$ADMIN role, into the "backup folder"
// setting's folder or beside the database, then deletes the program's
// backups of it beyond the newest backupsKept(). Through a server the
// server writes the file; the old ones are deleted only where this machine
// sees that folder. Throws BackupError when there is no backup.
Backup backUpDatabase(DbConnection *connection);
