#include "fbserver.h"

#include "testdb.h"

#include "auth/account.h"
#include "db/dbcreate.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr char kServerBinary[] = "/usr/sbin/firebird";
constexpr char kSystemRoot[] = FIREBIRD_SYSTEM_ROOT;

bool listening(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

bool writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

FbServer::FbServer()
{
    if (!start()) {
        stop();
        if (m_error.isEmpty())
            m_error = QStringLiteral("the private Firebird server did not start");
    }
}

FbServer::~FbServer()
{
    stop();
}

QProcessEnvironment FbServer::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("FIREBIRD"), m_dir.path());
    environment.insert(QStringLiteral("FIREBIRD_LOCK"), m_dir.filePath(QStringLiteral("lock")));
    environment.insert(QStringLiteral("FIREBIRD_TMP"), m_dir.filePath(QStringLiteral("tmp")));
    return environment;
}

bool FbServer::start()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString root = m_dir.path();
    const QString system = QString::fromLatin1(kSystemRoot);
    for (const char *folder : {"intl", "lock", "tmp", "data"})
        QDir(root).mkpath(QLatin1String(folder));
    m_port = freeLoopbackPort();
    m_password = QByteArray::number(QRandomGenerator::global()->generate64(), 36).left(12);

    // Links back to the system's plugins and messages; the character set
    // module is a copy, since the engine checks where it really lies.
    const bool linked = QFile::link(system + QStringLiteral("/plugins"), root + QStringLiteral("/plugins"))
        && QFile::link(system + QStringLiteral("/firebird.msg"), root + QStringLiteral("/firebird.msg"))
        && QFile::copy(system + QStringLiteral("/intl/libfbintl.so"), root + QStringLiteral("/intl/libfbintl.so"));
    const QByteArray config = "ServerMode = Super\n"
                              "RemoteServicePort = "
        + QByteArray::number(m_port)
        + "\n"
          "RemoteBindAddress = 127.0.0.1\n"
          "SecurityDatabase = "
        + QFile::encodeName(root)
        + "/security3.fdb\n"
          "AuthServer = Srp\n"
          "UserManager = Srp\n";
    if (!linked || m_port == 0 || !writeFile(root + QStringLiteral("/firebird.conf"), config)) {
        m_error = QStringLiteral("could not lay out the server's folder in %1").arg(root);
        return false;
    }

    // The security database with the administrator's password, made by the
    // engine embedded in isql-fb under the server's configuration.
    QProcess isql;
    isql.setProcessEnvironment(environment());
    isql.setProcessChannelMode(QProcess::MergedChannels);
    isql.start(QStringLiteral("isql-fb"), {QStringLiteral("-q"), QStringLiteral("-user"), QStringLiteral("SYSDBA")});
    isql.write("create database '" + QFile::encodeName(root)
               + "/security3.fdb';\n"
                 "create user SYSDBA password '"
               + m_password + "';\ncommit;\nquit;\n");
    isql.closeWriteChannel();
    if (!isql.waitForFinished(60000) || isql.exitCode() != 0) {
        m_error
            = QStringLiteral("could not make the security database: %1").arg(QString::fromLocal8Bit(isql.readAll()));
        return false;
    }

    return launch();
}

bool FbServer::launch()
{
    const QString root = m_dir.path();
    m_process.setProcessEnvironment(environment());
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(root + QStringLiteral("/server.log"), QIODevice::Append);
    // Goes with the test process, whatever ends it.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_process.start(QString::fromLatin1(kServerBinary), {});
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("%1 did not start: %2").arg(QLatin1String(kServerBinary), m_process.errorString());
        return false;
    }
    for (int i = 0; i < 200 && !listening(m_port); ++i) {
        if (m_process.state() != QProcess::Running)
            break;
        QThread::msleep(50);
    }
    if (!listening(m_port)) {
        QFile log(root + QStringLiteral("/server.log"));
        log.open(QIODevice::ReadOnly);
        m_error = QStringLiteral("the server does not listen on port %1: %2")
                      .arg(m_port)
                      .arg(QString::fromLocal8Bit(log.readAll()));
        return false;
    }
    return true;
}

bool FbServer::restart()
{
    stop();
    m_error.clear();
    if (!launch()) {
        stop();
        if (m_error.isEmpty())
            m_error = QStringLiteral("the private Firebird server did not start again");
        return false;
    }
    return true;
}

void FbServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString FbServer::connectionString(const QString &file) const
{
    return QStringLiteral("localhost/%1:%2").arg(m_port).arg(file);
}

QList<QByteArray> FbServer::adminParams() const
{
    return ::adminParams("SYSDBA", m_password);
}

QByteArray FbServer::accountPassword() const
{
    return accountPasswordIn(settingsFile());
}

QString FbServer::createDatabase(const QString &name, bool demo)
{
    const QString file = QDir(dataFolder()).filePath(name);
    QStringList create{QStringLiteral("create"), file};
    if (demo)
        create << QStringLiteral("--demo");
    QByteArray output;
    if (runDbTool(create, &output) != 0) {
        m_failure = QStringLiteral("the tool could not create %1: %2").arg(file, QString::fromLocal8Bit(output));
        return QString();
    }
    const QString database = connectionString(file);
    if (runDbTool({QStringLiteral("grant"), database, QStringLiteral("--user"), QStringLiteral("SYSDBA"),
                   QStringLiteral("--password"), QString::fromLatin1(m_password), QStringLiteral("--settings"),
                   settingsFile()},
                  &output)
        != 0) {
        m_failure = QStringLiteral("the tool could not ready the account: %1").arg(QString::fromLocal8Bit(output));
        return QString();
    }
    return database;
}
