#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

// A CUPS scheduler of the test's own, with two PDF queues ("labels", the
// default, and "sheets"), listening on a free loopback port, its
// configuration, spool and output in a temporary folder. The queues write
// through the cups-pdf backend, which refuses to run without root and reads
// its settings only from /etc/cups: so the scheduler runs as root inside a
// user namespace, mapped to the unprivileged "nobody" (its filters to "lp"),
// in a mount namespace where its own folder stands in for /etc/cups. Where
// user namespaces are refused, the mount namespace alone is used and the
// scheduler runs as real root. It is stopped with its owner, even when the
// owner dies (parent-death signal).
class PrivateCups {
public:
    PrivateCups() = default;
    PrivateCups(const PrivateCups &) = delete;
    PrivateCups &operator=(const PrivateCups &) = delete;
    ~PrivateCups() { stop(); }

    // Starts the scheduler and points this process's CUPS client at it
    // (before the first print call); false with the reason in error.
    bool start(QString *error)
    {
        m_dir = std::make_unique<QTemporaryDir>();
        if (!m_dir->isValid())
            return fail(error, QStringLiteral("no temporary folder"));
        ::chmod(QFile::encodeName(m_dir->path()).constData(), 0755);
        for (const char *folder : {"etc/ppd", "spool", "tmp", "state", "cache", "log", "out", "pdfspool"})
            QDir(m_dir->path()).mkpath(QLatin1String(folder));
        ::chmod(QFile::encodeName(path("tmp")).constData(), 01777);
        // The scheduler checks the owner of every filter and backend it runs,
        // so it gets a copy of them that its own root owns.
        if (QProcess::execute(QStringLiteral("cp"),
                              {QStringLiteral("-a"), QStringLiteral("/usr/lib/cups"), path("bin")})
            != 0)
            return fail(error, QStringLiteral("could not copy /usr/lib/cups"));

        m_port = freePort();
        if (m_port == 0)
            return fail(error, QStringLiteral("no free port"));

        if (!writeConfiguration(error))
            return false;
        if (!launch(error))
            return false;
        qputenv("CUPS_SERVER", server().toLatin1());

        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 20000) {
            if (!running())
                return fail(error, QStringLiteral("cupsd ended: ") + logTail());
            if (QProcess::execute(QStringLiteral("lpstat"),
                                  {QStringLiteral("-h"), server(), QStringLiteral("-p"), QStringLiteral("labels"),
                                   QStringLiteral("sheets")})
                == 0)
                return true;
            QThread::msleep(100);
        }
        return fail(error, QStringLiteral("cupsd did not answer: ") + logTail());
    }

    void stop()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                return;
            }
            QThread::msleep(50);
        }
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

    QString server() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    QString path(const QString &relative) const { return m_dir->filePath(relative); }
    bool userNamespace() const { return m_userNamespace; }

    // Waits until the queues are idle and count PDFs have come out; their
    // paths, oldest first, or empty on a timeout or a failed job.
    QStringList waitForOutput(int count, QString *error, int timeoutMs = 90000)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            QProcess lpstat;
            lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-h"), server(), QStringLiteral("-o")});
            lpstat.waitForFinished(10000);
            const bool idle = lpstat.readAllStandardOutput().trimmed().isEmpty();
            const QStringList files
                = QDir(path(QStringLiteral("out")))
                      .entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Time | QDir::Reversed);
            if (idle && files.size() >= count) {
                QStringList paths;
                for (const QString &file : files)
                    paths.append(path(QStringLiteral("out/") + file));
                return paths;
            }
            if (log().contains("Job stopped")) {
                fail(error, QStringLiteral("a job failed: ") + logTail());
                return {};
            }
            QThread::msleep(200);
        }
        fail(error, QStringLiteral("no output in time: ") + logTail());
        return {};
    }

    // The options the scheduler handed the filters of a job (numbered from 1).
    QString jobOptions(int job) const
    {
        const QByteArray tag = "[Job " + QByteArray::number(job) + "] argv[5]=\"";
        for (const QByteArray &line : log().split('\n')) {
            const qsizetype at = line.indexOf(tag);
            if (at >= 0)
                return QString::fromUtf8(line.mid(at + tag.size())).chopped(1);
        }
        return QString();
    }

    QByteArray log() const
    {
        QFile file(path(QStringLiteral("log/error_log")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    static bool fail(QString *error, const QString &text)
    {
        if (error)
            *error = text;
        return false;
    }

    QString logTail() const
    {
        QStringList lines = QString::fromUtf8(log()).split(u'\n');
        QFile out(path(QStringLiteral("log/stdout")));
        if (out.open(QIODevice::ReadOnly))
            lines += QString::fromUtf8(out.readAll()).split(u'\n');
        QStringList errors;
        for (const QString &line : lines) {
            if (line.startsWith(QLatin1String("E ")) || line.contains(QLatin1String("rror")))
                errors.append(line);
        }
        return errors.mid(qMax(0, int(errors.size()) - 8)).join(u'\n');
    }

    // A port the system hands out on loopback, closed again for cupsd.
    static quint16 freePort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return 0;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof(address);
        quint16 port = 0;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) == 0)
            port = ntohs(address.sin_port);
        ::close(fd);
        return port;
    }

    bool running() const { return m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) == 0; }

    bool writeText(const QString &relative, const QByteArray &text) const
    {
        QFile file(path(relative));
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
    }

    bool writeConfiguration(QString *error)
    {
        const QByteArray root = QFile::encodeName(m_dir->path());
        const QByteArray cupsd = "Listen 127.0.0.1:" + QByteArray::number(m_port)
            + "\n"
              "LogLevel debug\nBrowsing No\nWebInterface No\nDefaultEncryption Never\n"
              "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
              "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
        const QByteArray files = "ServerRoot " + root + "/etc\nRequestRoot " + root + "/spool\nTempDir " + root
            + "/tmp\nStateDir " + root + "/state\nCacheDir " + root + "/cache\nServerBin " + root + "/bin\nAccessLog "
            + root + "/log/access_log\nErrorLog " + root + "/log/error_log\nPageLog " + root
            + "/log/page_log\nPrintcap " + root
            + "/state/printcap\nFileDevice No\nCreateSelfSignedCerts no\nUser lp\nGroup lp\n" + "SystemGroup root\n";
        // cups-pdf reads this as /etc/cups/cups-pdf.conf, seen through the
        // mount namespace.
        const QByteArray pdf = "Out " + root + "/out\nAnonDirName " + root + "/out\nSpool " + root + "/pdfspool\nLog "
            + root + "/log\nGSTmp " + root + "/tmp\nLogType 3\nGrp root\nUserUMask 0022\n";
        QByteArray printers;
        for (const char *name : {"labels", "sheets"}) {
            printers += QByteArray(qstrcmp(name, "labels") == 0 ? "<DefaultPrinter " : "<Printer ") + name + ">\n"
                + "Info PDF queue " + name + "\nDeviceURI cups-pdf:/\nState Idle\nAccepting Yes\nShared No\n"
                + "JobSheets none none\nOpPolicy default\nErrorPolicy abort-job\n"
                + (qstrcmp(name, "labels") == 0 ? "</DefaultPrinter>\n" : "</Printer>\n");
        }
        QFile model(QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"));
        if (!model.open(QIODevice::ReadOnly))
            return fail(error, QStringLiteral("no cups-pdf PPD (printer-driver-cups-pdf)"));
        // Two paper trays and a manual feed, so that a paper source can be
        // chosen and seen in the job.
        const QByteArray ppd = model.readAll()
            + "\n*OpenUI *InputSlot/Media Source: PickOne\n*OrderDependency: 20 AnySetup *InputSlot\n"
              "*DefaultInputSlot: Tray1\n*InputSlot Tray1/Tray 1: \"\"\n*InputSlot Tray2/Tray 2: \"\"\n"
              "*InputSlot Manual/Manual Feed: \"\"\n*CloseUI: *InputSlot\n";
        if (!writeText(QStringLiteral("etc/cupsd.conf"), cupsd)
            || !writeText(QStringLiteral("etc/cups-files.conf"), files)
            || !writeText(QStringLiteral("etc/cups-pdf.conf"), pdf)
            || !writeText(QStringLiteral("etc/printers.conf"), printers)
            || !writeText(QStringLiteral("etc/ppd/labels.ppd"), ppd)
            || !writeText(QStringLiteral("etc/ppd/sheets.ppd"), ppd))
            return fail(error, QStringLiteral("could not write the configuration"));
        return true;
    }

    // Hands the whole tree to the namespace's root.
    void chownTree(uid_t uid, gid_t gid) const
    {
        namespace fs = std::filesystem;
        const fs::path top(m_dir->path().toStdString());
        ::lchown(top.c_str(), uid, gid);
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(top, ec); it != fs::recursive_directory_iterator();
             it.increment(ec))
            ::lchown(it->path().c_str(), uid, gid);
    }

    bool launch(QString *error)
    {
        int toParent[2];
        int toChild[2];
        if (::pipe2(toParent, O_CLOEXEC) != 0 || ::pipe2(toChild, O_CLOEXEC) != 0)
            return fail(error, QStringLiteral("no pipe"));
        const QByteArray etc = QFile::encodeName(path(QStringLiteral("etc")));
        const QByteArray conf = etc + "/cupsd.conf";
        const QByteArray filesConf = etc + "/cups-files.conf";
        const QByteArray out = QFile::encodeName(path(QStringLiteral("log/stdout")));
        const pid_t parent = ::getpid();

        const pid_t pid = ::fork();
        if (pid < 0)
            return fail(error, QStringLiteral("fork failed"));
        if (pid == 0) {
            // Only async-signal-safe calls from here to exec.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            char mode = 'U';
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
                mode = ::unshare(CLONE_NEWNS) == 0 ? 'M' : 'X';
            }
            if (::write(toParent[1], &mode, 1) != 1 || mode == 'X')
                ::_exit(20);
            char go = 0;
            if (::read(toChild[0], &go, 1) != 1 || go != 'G')
                ::_exit(21);
            if (mode == 'U') {
                if (::setresgid(0, 0, 0) != 0 || ::setgroups(0, nullptr) != 0 || ::setresuid(0, 0, 0) != 0)
                    ::_exit(22);
                // A change of user clears the parent-death signal.
                ::prctl(PR_SET_PDEATHSIG, SIGKILL);
                if (::getppid() != parent)
                    ::_exit(23);
            }
            if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                || ::mount(etc.constData(), "/etc/cups", nullptr, MS_BIND, nullptr) != 0)
                ::_exit(24);
            const int log = ::open(out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (log >= 0) {
                ::dup2(log, 1);
                ::dup2(log, 2);
            }
            const char *argv[] = {"cupsd", "-f", "-c", conf.constData(), "-s", filesConf.constData(), nullptr};
            ::execv("/usr/sbin/cupsd", const_cast<char **>(argv));
            ::_exit(25);
        }
        ::close(toParent[1]);
        ::close(toChild[0]);
        m_pid = pid;
        char mode = 0;
        const bool told = ::read(toParent[0], &mode, 1) == 1;
        ::close(toParent[0]);
        if (!told || mode == 'X') {
            ::close(toChild[1]);
            stop();
            return fail(error, QStringLiteral("neither a user nor a mount namespace can be made here"));
        }
        m_userNamespace = mode == 'U';
        if (m_userNamespace) {
            // Root inside is "nobody" outside, and the filters' "lp" stays lp.
            const QByteArray maps = "0 65534 1\n7 7 1\n";
            for (const char *map : {"uid_map", "gid_map"}) {
                QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(map)));
                if (!file.open(QIODevice::WriteOnly) || file.write(maps) != maps.size()) {
                    ::close(toChild[1]);
                    stop();
                    return fail(error, QStringLiteral("could not map the namespace's users"));
                }
            }
            chownTree(65534, 65534);
        }
        const char go = 'G';
        const bool sent = ::write(toChild[1], &go, 1) == 1;
        ::close(toChild[1]);
        return sent || fail(error, QStringLiteral("cupsd's launcher went away"));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    quint16 m_port = 0;
    pid_t m_pid = -1;
    bool m_userNamespace = false;
};
