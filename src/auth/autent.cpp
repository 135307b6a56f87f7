#include "auth/autent.h"

#include "base/dates.h"
#include "base/datetime.h"
#include "base/errors.h"
#include "base/settings.h"
#include "base/sqltext.h"
#include "base/text1251.h"
#include "db/dataset.h"
#include "db/dberror.h"
#include "db/refusals.h"
#include "db/session.h"
#include "db/utilites.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace {

// Pieces the program's own database account name is put together from at
// run time. Its password is no part of the program: a server's is kept in
// the settings.
constexpr char kUserPieces[] = "q_us=rnamxVMUsTILe";

const QByteArray &statusEnabled()
{
    static const QByteArray text = toCp1251(QStringLiteral("включен"));
    return text;
}

const QByteArray &statusNeedsPassword()
{
    static const QByteArray text = toCp1251(QStringLiteral("требуется пароль"));
    return text;
}

const QByteArray &statusBlocked()
{
    static const QByteArray text = toCp1251(QStringLiteral("заблокирован"));
    return text;
}

// Between single quotes with every quote doubled, so the stored password is
// exactly the typed one.
QByteArray quotedPassword(QByteArray text)
{
    return '\'' + text.replace('\'', "''") + '\'';
}

// The answer to the question: what was confirmed, or nothing.
QByteArray newPasswordAsked(const AskNewPassword &ask)
{
    return ask ? ask() : QByteArray();
}

} // namespace

QByteArray MakeUserParam()
{
    const QByteArray p(kUserPieces);
    // "user_name=" + "VMU" + "TIL"
    return p.mid(2, 2) + p.at(17) + p.at(5) + p.at(1) + p.mid(6, 3) + p.at(17) + p.at(4) + p.mid(10, 3) + p.mid(14, 3);
}

QList<QByteArray> builtInConnectionParams()
{
    // None is sent where none is set: the embedded engine needs none.
    QList<QByteArray> params{MakeUserParam()};
    const QByteArray password = MakePassParam();
    if (!password.isEmpty())
        params.append(password);
    params.append("lc_ctype=WIN1251");
    return params;
}

QByteArray builtInUserName()
{
    const QByteArray line = MakeUserParam();
    return line.mid(line.indexOf('=') + 1);
}

QByteArray accountPassword()
{
    return settingText(QLatin1String(kAccountPasswordKey)).toUtf8();
}

QString attachFailure(const QString &database, const QString &why, bool loginRefused)
{
    // Both files, since an installed program is usually set up in the
    // system-wide one.
    QString text = QStringLiteral("Не удалось открыть базу данных «%1»; другую базу указывает значение database "
                                  "в файле настроек «%2» или «%3».")
                       .arg(database, QDir::toNativeSeparators(userSettingsFile()),
                            QDir::toNativeSeparators(systemSettingsFile()));
    const QString system = QDir::toNativeSeparators(systemSettingsFile());
    const QFileInfo systemFile(systemSettingsFile());
    if (systemFile.exists() && !systemFile.isReadable()) {
        text += QStringLiteral("\n\nФайл настроек «%1» этому пользователю не прочесть: его читают только root и "
                               "группа %2. Администратор добавляет пользователя в группу командой «adduser ИМЯ %2»; "
                               "это действует со следующего входа в систему.")
                    .arg(system, QLatin1String(kStaffGroup));
    } else if (loginRefused && accountPassword().isEmpty()) {
        text += QStringLiteral("\n\nНа этом рабочем месте не задан пароль учётной записи программы: строки "
                               "«account password» нет в файле настроек «%1». Её записывает туда команда "
                               "«utilities-db grant»; на другие рабочие места её переносят из того файла.")
                    .arg(system);
    } else if (loginRefused) {
        text += QStringLiteral("\n\nСервер не принял пароль учётной записи программы из файла настроек: строка "
                               "«account password» должна быть такой же, как на рабочем месте, где администратор "
                               "последним выполнил «utilities-db grant» для этого сервера.");
    }
    return text + QStringLiteral("\n\n") + why;
}

QByteArray MakePassParam()
{
    const QByteArray password = accountPassword();
    if (password.isEmpty())
        return QByteArray();
    return "password=" + password;
}

SignInOutcome ConnectUser(DbSession &session, const SignInRequest &request, const AskNewPassword &ask)
{
    DbConnection &connection = session.connection();
    connection.loginPrompt = false;
    try {
        session.open(request.databasePath, builtInConnectionParams());
    } catch (const std::exception &e) {
        // Said, not swallowed: a file held elsewhere or a server that does
        // not answer must not look like a wrong password.
        const auto *refusal = dynamic_cast<const DbError *>(&e);
        throw AttachError(
            attachFailure(request.databasePath, attachRefusalText(e), refusal && loginRefused(*refusal)));
    }
    if (!connection.connected())
        return {};
    SignInOutcome outcome;
    try {
        outcome = CheckUser(session, request.userName, request.password, ask);
    } catch (const DbError &e) {
        if (!e.lacksRight())
            throw;
        // Usual on a database not readied yet: nothing works until it is,
        // so the connection is not kept.
        connection.forceClose();
        throw MissingRightError(missingRightText(request.databasePath, e.text()));
    }
    if (!outcome.accepted)
        connection.close();
    return outcome;
}

SignInOutcome CheckUser(DbSession &session, const QByteArray &userName, const QByteArray &password,
                        const AskNewPassword &ask)
{
    SqlText = "select * from users where ";
    SqlText += "xuser ";
    SqlText += WhereTerm(userName, '!', 's', ' ');
    OpenScratchSelect(&session.scratch());
    if (session.scratch().isEmpty())
        return {};
    return CheckAccount(session, password, ask);
}

SignInOutcome CheckAccount(DbSession &session, const QByteArray &password, const AskNewPassword &ask)
{
    const DbQuery &row = session.scratch();
    const QByteArray num = QByteArray::number(row.field("num").asInteger());
    if (row.field("xmass").asString() != password)
        return {};

    const auto accepted = [] { return SignInOutcome{true}; };
    const QByteArray status = row.field("status").asString();
    if (status == statusEnabled()) {
        if (row.field("expdate").asString().isEmpty())
            return accepted();
        if (Now() < row.field("expdate").asDateTime())
            return accepted();

        // The grace count and validity period are read before the dialog,
        // while the row is certainly still current.
        const qint32 expdays = row.field("expdays").asInteger();
        const qint32 explogins = row.field("explogins").asInteger();
        const TDateTime expired = row.field("expdate").asDateTime();
        const QByteArray newPassword = newPasswordAsked(ask);
        if (!newPassword.isEmpty()) {
            // Written as yyyy-mm-dd, which the database never reads as
            // another date, whatever the regional settings.
            const QByteArray date = toQDateTime(AddDays(expdays, Now())).date().toString(Qt::ISODate).toLatin1();
            SqlText = "update users set xmass = " + quotedPassword(newPassword) + "," + "explogins = 6," + "expdate = '"
                + date + "' " + "where num = " + num;
            ExecAndCommit(session.connection(), SqlText);
            return accepted();
        }
        const qint64 left = qint64(explogins) - 1;
        if (left > 0) {
            SqlText = "update users set explogins = '" + QByteArray::number(left) + "' where num = " + num;
            ExecAndCommit(session.connection(), SqlText);
            // Each later dismissal counts one down; the one that finds 1 blocks.
            return {true, true, left - 1, expired};
        }
        SqlText = "update users set status = '" + statusBlocked() + "' where num = " + num;
        ExecAndCommit(session.connection(), SqlText);
        return {};
    }
    if (status == statusNeedsPassword()) {
        const QByteArray newPassword = newPasswordAsked(ask);
        if (newPassword.isEmpty())
            return {};
        SqlText = "update users set xmass = " + quotedPassword(newPassword) + "," + "status = '" + statusEnabled()
            + "' " + "where num = " + num;
        ExecAndCommit(session.connection(), SqlText);
        return accepted();
    }
    return {};
}

QString graceSignInText(const SignInOutcome &outcome)
{
    const QDateTime until = toQDateTime(outcome.validUntil);
    const QString when = until.time() == QTime(0, 0) ? until.toString(QStringLiteral("dd.MM.yyyy"))
                                                     : until.toString(QStringLiteral("dd.MM.yyyy hh:mm"));
    const QString valid = QStringLiteral("Пароль действовал до %1. ").arg(when);
    if (outcome.graceLeft > 0)
        return valid + QStringLiteral("Без смены пароля осталось входов: %1.").arg(outcome.graceLeft);
    return valid + QStringLiteral("Это последний вход без смены пароля.");
}
