#pragma once

#include "db/datetime.h"

#include <QByteArray>
#include <QList>
#include <QString>

class DbConnection;

// A sign-in accepted on an expired password with the renewal dismissed:
// how many more such sign-ins the account allows before the next one
// blocks it, and until when the password was valid.
struct GraceSignIn {
    bool used = false;
    qint64 remaining = 0;
    TDateTime validUntil = 0;
};

// What the last sign-in check reported; emptied at the start of each.
extern GraceSignIn LastGraceSignIn;

// What the window says after a grace sign-in.
QString graceSignInText(const GraceSignIn &grace);

// Signs a member of staff in: attaches with the program's own database
// account, then checks the typed name and password against users. A failed
// attach throws AttachError, saying why; an account without the rights the
// check needs closes the connection and throws MissingRightError.
bool ConnectUser(DbConnection *connection, const QString &databasePath, const QByteArray &userName,
                 const QByteArray &password);
bool CheckUser(const QByteArray &userName, const QByteArray &password);
bool CheckAccount(const QByteArray &password);
QByteArray MakeUserParam();
// The password line, built at run time from the settings; empty when no
// password is set.
QByteArray MakePassParam();

// The parameters of every connection the program makes: its own account
// and the character set of its text.
QList<QByteArray> builtInConnectionParams();
QByteArray builtInUserName();

// The settings key of the account's password on a server, which
// "utilities-db grant" writes into the system-wide settings file; the
// package lets only root and this group read that file.
inline constexpr char kAccountPasswordKey[] = "account password";
inline constexpr char kStaffGroup[] = "vesko-mika";

// The account's password from the settings; empty when none is set, as for
// files opened by the embedded engine, which takes the name on trust.
QByteArray accountPassword();

// What the user is told when the database cannot be attached: which one,
// where another is set, what to do when the server refused the program's
// account (loginRefused), and the client library's own words.
QString attachFailure(const QString &database, const QString &why, bool loginRefused = false);
