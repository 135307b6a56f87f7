// Signs in once as the program's window does and says how it went, so that
// a test can sign in as another account: "signed in" and status 0, "refused"
// and 2, or what the sign-in said on standard error and 1.
//
//   signin-probe DATABASE USER PASSWORD

#include "auth/autent.h"
#include "db/dataset.h"
#include "db/errors.h"
#include "db/utilites.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 4)
        return 3;
    QObject owner;
    auto *connection = new DbConnection(&owner);
    auto *transaction = new DbTransaction(&owner);
    transaction->setDatabase(connection);
    connection->setDefaultTransaction(transaction);
    auto *scratch = new DbQuery(&owner);
    scratch->setDatabase(connection);
    scratch->setTransaction(transaction);
    sharedDb() = SharedDb{&owner, connection, scratch};
    try {
        const bool accepted = ConnectUser(connection, QString::fromLocal8Bit(argv[1]), argv[2], argv[3]);
        std::puts(accepted ? "signed in" : "refused");
        sharedDb() = SharedDb{};
        return accepted ? 0 : 2;
    } catch (const AppError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        sharedDb() = SharedDb{};
        return 1;
    }
}
