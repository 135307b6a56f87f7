#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A Firebird server of the suite's own (Debian's firebird3.0-server binary),
// never the machine's: its configuration folder, security database, lock
// folder and data folder in a temporary folder, listening on a free
// loopback port. It stops when this object goes, and with the test process
// should that die first.
class FbServer {
public:
    FbServer();
    ~FbServer();
    FbServer(const FbServer &) = delete;
    FbServer &operator=(const FbServer &) = delete;

    // Empty when the server runs; else what went wrong.
    QString error() const { return m_error; }
    bool running() const { return m_error.isEmpty(); }

    int port() const { return m_port; }
    QByteArray adminPassword() const { return m_password; }
    // A folder the server reads and writes database files in.
    QString dataFolder() const { return m_dir.filePath(QStringLiteral("data")); }
    // The connection string of a file, as "localhost/port:path".
    QString connectionString(const QString &file) const;
    // The administrator's connection parameters.
    QList<QByteArray> adminParams() const;

    // The folder standing for /etc/xdg on the desks of this server: its
    // Tovi/Vesko Mika.conf holds the program's account password that the
    // tool's grant made.
    QString settingsFolder() const { return m_dir.filePath(QStringLiteral("settings")); }
    QString settingsFile() const { return settingsFolder() + QStringLiteral("/Tovi/Vesko Mika.conf"); }
    QByteArray accountPassword() const;

    // A database in the data folder made by the project's tool, with the
    // program's account readied on the server by the tool's grant command
    // (its password kept in settingsFile());
    // returns its connection string, or an empty one with the reason in
    // failure().
    QString createDatabase(const QString &name, bool demo = true);
    QString failure() const { return m_failure; }

    // The environment for one of Firebird's own tools run against this
    // server's configuration (isql-fb creating the security database).
    QProcessEnvironment environment() const;

    // Stops the server; the destructor does it too.
    void stop();
    // Starts the stopped server again, on the same port with the same
    // files, as after a restart of the machine's server. False when it
    // does not come up, with the reason in error().
    bool restart();

private:
    bool start();
    bool launch();

    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    QByteArray m_password;
    QString m_error;
    QString m_failure;
};

// A loopback port with nobody listening on it, at the time of the call.
int freeLoopbackPort();
