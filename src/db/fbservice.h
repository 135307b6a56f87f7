#pragma once

#include "base/errors.h"
#include "db/dberror.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// Firebird's service manager through the client library: backups and
// restores made by the engine itself, embedded in this process or on a
// server, never by copying a database file that may be open.

// Where a connection string's database is for the service manager: the
// manager's name ("service_mgr" for the embedded engine, "host/port:service_mgr"
// and the like for a server) and the database as that engine names it (a
// path on the server's machine, or a server's alias).
struct ServiceTarget {
    QString manager;
    QString database;
    // The server's host as written (IPv6 without brackets); empty when the
    // embedded engine of this process does the work.
    QString host;
    bool onServer() const { return !host.isEmpty(); }
};

// Works the target out from a connection string in any form the client
// library takes: a file path, "host:path", "host/port:path", "[v6]/port:path",
// "inet://host:port/path" and its siblings, or "\\host\path".
ServiceTarget serviceTarget(const QString &connectionString);

// Who the service runs as. The embedded engine takes the name on trust.
struct ServiceLogin {
    QByteArray user;
    QByteArray password;
    QByteArray role;
};

// The login of connection parameters ("user_name=", "password=",
// "sql_role_name=" lines).
ServiceLogin serviceLogin(const QList<QByteArray> &params);

// A service that failed or did not confirm its work. text() is the engine's
// own words; reason() sorts the failures a user can do something about.
class ServiceError : public DbError {
public:
    enum class Reason { Other, NoRight, NoSpace, CannotOpenFile, Exists };
    ServiceError(const QString &text, QList<qint64> codes, Reason reason, QStringList arguments = {},
                 QList<int> systemErrors = {})
        : DbError(text, std::move(codes), std::move(arguments), std::move(systemErrors)), m_reason(reason)
    {
    }
    Reason reason() const { return m_reason; }

    // What the service wrote before it failed, line by line.
    QStringList output;

private:
    Reason m_reason;
};

// The rows of each table as a backup or a restore reported them, in its
// order, each table named as the engine writes it.
using TableRows = QList<QPair<QString, qint64>>;

// Backs database up into file, both named as the manager's engine sees them.
struct BackupReport {
    qint64 bytes = 0;
    TableRows rows;
};

// Throws ServiceError unless the service confirmed the backup to its end.
BackupReport backUpThroughService(const QString &manager, const ServiceLogin &login, const QString &database,
                                  const QString &file);

// Restores the backup file into a new database (both named as the manager's
// engine sees them); an existing database is replaced only when asked, else
// refused by the service. Returns the rows it restored into each table.
// Throws ServiceError unless the service confirmed the restore to its end
// without one error or warning on the way.
TableRows restoreThroughService(const QString &manager, const ServiceLogin &login, const QString &backupFile,
                                const QString &database, bool replace);

// The lines of a service's output in which the engine reports an error or
// a warning: a damaged backup may be seen only in such words, with the
// service ending "successfully".
QStringList serviceTrouble(const QStringList &output);

// True when a restore's output shows that it made the new database, so
// that whatever it left there is its own.
bool restoreMadeDatabase(const QStringList &output);
