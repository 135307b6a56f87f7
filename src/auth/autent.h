#pragma once

#include "base/datetime.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class DbSession;

// Asks for a new password, typed twice; empty when none was given.
using AskNewPassword = std::function<QByteArray()>;

// Who signs in where, as typed.
struct SignInRequest {
    QString databasePath;
    QByteArray userName;
    QByteArray password;
};

// How a sign-in check ended. A grace sign-in is one accepted on an expired
// password with the renewal dismissed: graceLeft more such sign-ins the
// account allows before the next one blocks it, and the password was valid
// until validUntil.
struct SignInOutcome {
    bool accepted = false;
    bool grace = false;
    qint64 graceLeft = 0;
    TDateTime validUntil = 0;
};

// What the window says after a grace sign-in.
QString graceSignInText(const SignInOutcome &outcome);

// Signs a member of staff in: attaches the session with the program's own
// database account, then checks the typed name and password against users,
// asking for a new password where the account needs one (an unset ask
// asks nobody). A failed attach throws AttachError, saying why; an account
// without the rights the check needs closes the connection and throws
// MissingRightError. Refused, the connection is closed.
SignInOutcome ConnectUser(DbSession &session, const SignInRequest &request, const AskNewPassword &ask);
// Looks the name up on the session's scratch query, then checks its first row.
SignInOutcome CheckUser(DbSession &session, const QByteArray &userName, const QByteArray &password,
                        const AskNewPassword &ask);
// The checks and updates on the row current in the session's scratch query.
SignInOutcome CheckAccount(DbSession &session, const QByteArray &password, const AskNewPassword &ask);
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
