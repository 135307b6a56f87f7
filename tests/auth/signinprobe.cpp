// Signs in once as the program's window does and says how it went, so that
// a test can sign in as another account: "signed in" and status 0, "refused"
// and 2, or what the sign-in said on standard error and 1.
//
//   signin-probe DATABASE USER PASSWORD

#include "auth/autent.h"
#include "base/errors.h"
#include "db/session.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 4)
        return 3;
    DbSession session;
    try {
        const bool accepted
            = ConnectUser(session, SignInRequest{QString::fromLocal8Bit(argv[1]), argv[2], argv[3]}, {}).accepted;
        std::puts(accepted ? "signed in" : "refused");
        return accepted ? 0 : 2;
    } catch (const AppError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
