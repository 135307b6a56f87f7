// Runs the suite's private Firebird server for the end-to-end run: makes a
// demo database on it with the program's account readied, prints
//   database=<connection string>
//   password=<the administrator's password>
//   account=<the program's account password that the tool's grant made>
// and keeps the server until it is told to stop (SIGTERM, SIGINT, SIGHUP).
// Should this process die any other way, the server goes with it.

#include "fbserver.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    FbServer server;
    if (!server.running()) {
        std::fprintf(stderr, "e2e-fbserver: %s\n", qPrintable(server.error()));
        return 1;
    }
    const QString database = server.createDatabase(QStringLiteral("vesko.mika.baza"));
    if (database.isEmpty()) {
        std::fprintf(stderr, "e2e-fbserver: %s\n", qPrintable(server.failure()));
        return 1;
    }
    // Blocked only now, so that the server itself still hears them.
    sigset_t stop;
    sigemptyset(&stop);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&stop, signal);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    std::printf("database=%s\npassword=%s\naccount=%s\n", qPrintable(database), server.adminPassword().constData(),
                server.accountPassword().constData());
    std::fflush(stdout);
    int received = 0;
    sigwait(&stop, &received);
    return 0;
}
