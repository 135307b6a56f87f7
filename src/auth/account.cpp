#include "auth/account.h"

#include "auth/autent.h"
#include "base/errors.h"
#include "db/dataset.h"
#include "db/dbcreate.h"
#include "db/dberror.h"
#include "db/ownsettings.h"
#include "db/utilites.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kPasswordLength = 24;

bool onServer(DbConnection *connection)
{
    // An embedded attachment has no network protocol.
    return !selectValue(connection, "select rdb$get_context('SYSTEM', 'NETWORK_PROTOCOL') from rdb$database").isEmpty();
}

// The settings file's key as the INI format writes it.
QByteArray iniKey()
{
    return QByteArray(kAccountPasswordKey).replace(' ', "%20");
}

} // namespace

QList<QByteArray> accountGrants(const QByteArray &user)
{
    // Sign-in reads accounts and writes only the password, its status, its
    // expiry and the grace sign-ins; the register keeps ranges and, before
    // adding one, looks for its numbers among the books; the import stores
    // books, publishers and readers and may clear the tables of its mode,
    // and its check reads the catalogue's item numbers; the first-run wipe
    // empties the working tables and sets their generators back. Both count
    // the rows of the tables they would empty before they do. Backups are
    // made by the database's administrator, never by this account. The
    // program's own settings it only reads: the administrator sets them.
    const QList<QByteArray> grants{
        "select on users",
        "update (xmass, status, expdate, explogins) on users",
        "select, insert, delete on barcodes",
        "usage on sequence nnbarcodes",
        "select, insert, delete on catalog",
        "select, insert, delete on izdatelstvo",
        "select, insert, delete on readers",
        "usage on sequence nncatalog",
        "usage on sequence nnizdatelstvo",
        "usage on sequence nnreaders",
        "select, delete on sbornik",
        "select, delete on comment",
        "select, delete on mnogotom",
        "select, delete on udkop",
        "select, delete on ruki",
        "select, delete on zakaz",
        "select, delete on complect",
        "select, delete on newbooks",
        "select, delete on spisanie",
        "select, delete on spisanieitems",
        // Setting a generator back needs this; Firebird 3 has no narrower
        // right.
        "alter any sequence",
        "select on " + QByteArray(kOwnSettingsTable),
    };
    QList<QByteArray> statements;
    for (const QByteArray &grant : grants)
        statements.append("grant " + grant + " to " + user);
    return statements;
}

bool grantAccountRights(DbConnection *connection)
{
    createOwnSettings(*connection);
    // Only a warning when it held nothing.
    ExecAndCommit(*connection, "revoke all on all from " + builtInUserName());
    for (const QByteArray &statement : accountGrants(builtInUserName()))
        ExecAndCommit(*connection, statement);
    return onServer(connection);
}

QByteArray newAccountPassword()
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray password;
    for (int i = 0; i < kPasswordLength; ++i)
        password += kAlphabet[QRandomGenerator::system()->bounded(int(sizeof kAlphabet - 1))];
    return password;
}

ServerAccount serverAccount(DbConnection *adminConnection, const QByteArray &password)
{
    const QByteArray known = selectValue(
        adminConnection, "select count(*) from sec$users where sec$user_name = '" + builtInUserName() + "'");
    if (known.toInt() == 0)
        return ServerAccount::Missing;
    if (password.isEmpty())
        return ServerAccount::Refused;
    DbConnection trial;
    trial.params = {MakeUserParam(), "password=" + password, "lc_ctype=WIN1251"};
    trial.databaseName = adminConnection->databaseName;
    try {
        trial.open();
    } catch (const DbError &e) {
        if (loginRefused(e))
            return ServerAccount::Refused;
        throw;
    }
    trial.close();
    return ServerAccount::Opens;
}

void setServerAccountPassword(DbConnection *adminConnection, const QByteArray &password)
{
    QByteArray quoted = password;
    quoted.replace('\'', "''");
    ExecAndCommit(*adminConnection, "create or alter user " + builtInUserName() + " password '" + quoted + "'");
}

QByteArray accountPasswordIn(const QString &settingsFile)
{
    if (!QFileInfo::exists(settingsFile))
        return QByteArray();
    const QSettings store(settingsFile, QSettings::IniFormat);
    return store.value(QLatin1String(kAccountPasswordKey)).toString().trimmed().toUtf8();
}

void keepAccountPassword(const QString &settingsFile, const QByteArray &password)
{
    QByteArray text;
    struct stat before {};
    const bool existed = ::stat(QFile::encodeName(settingsFile).constData(), &before) == 0;
    if (existed) {
        QFile in(settingsFile);
        if (!in.open(QIODevice::ReadOnly))
            throw AppError(
                QStringLiteral("не удаётся прочесть файл настроек «%1»: %2").arg(settingsFile, in.errorString()));
        text = in.readAll();
    }

    // Written by hand rather than through QSettings, which would drop the
    // file's comments.
    const QByteArray line = iniKey() + '=' + password;
    static const QRegularExpression keyLine(QStringLiteral("^\\s*account(%20| )password\\s*="));
    QList<QByteArray> lines = text.split('\n');
    if (text.endsWith('\n'))
        lines.removeLast();
    // Keys before any section belong to [General], as do those under it.
    bool general = true;
    bool headed = false;
    qsizetype found = -1;
    qsizetype end = -1;
    for (qsizetype i = 0; i < lines.size() && found < 0; ++i) {
        const QByteArray trimmed = lines[i].trimmed();
        if (trimmed.startsWith('[')) {
            if (general && headed && end < 0)
                end = i;
            general = trimmed == "[General]";
            headed = headed || general;
        } else if (general && keyLine.match(QString::fromUtf8(lines[i])).hasMatch()) {
            found = i;
        }
    }
    if (found >= 0)
        lines[found] = line;
    else if (!headed)
        lines = QList<QByteArray>{"[General]", line} + lines;
    else
        lines.insert(end < 0 ? lines.size() : end, line);

    QDir().mkpath(QFileInfo(settingsFile).path());
    QSaveFile out(settingsFile);
    if (!out.open(QIODevice::WriteOnly))
        throw AppError(
            QStringLiteral("не удаётся записать файл настроек «%1»: %2").arg(settingsFile, out.errorString()));
    out.write(lines.join('\n') + '\n');
    // Nobody but root and the staff group may read the password.
    mode_t mode = 0600;
    if (existed) {
        mode = before.st_mode & 0770;
        if (::fchown(out.handle(), before.st_uid, before.st_gid) != 0)
            mode &= 0700;
    } else if (const group *staff = ::getgrnam(kStaffGroup)) {
        if (::fchown(out.handle(), uid_t(-1), staff->gr_gid) == 0)
            mode = 0640;
    }
    if (::fchmod(out.handle(), mode) != 0 || !out.commit())
        throw AppError(
            QStringLiteral("не удаётся записать файл настроек «%1»: %2").arg(settingsFile, out.errorString()));
}
