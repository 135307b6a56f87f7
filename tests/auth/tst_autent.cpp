#include "staffaccount.h"
#include "testdb.h"

#include "auth/autent.h"
#include "base/errors.h"
#include "base/platform.h"
#include "base/settings.h"
#include "base/sqltext.h"
#include "base/text1251.h"
#include "db/dataset.h"
#include "db/dberror.h"
#include "db/session.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QDateTime kNow(QDate(2026, 12, 8), QTime(10, 30));

// One account and one sign-in attempt: the row as stored before, what is
// typed, how the password dialog is answered, and what comes of it.
struct AccountCase {
    QString status;
    QByteArray expdate;   // SQL literal
    QByteArray expdays;   // SQL literal
    QByteArray explogins; // SQL literal
    QByteArray typed;
    QString newPassword; // the dialog's answer; empty: dismissed
    bool accepted = false;
    int dialogs = 0; // times the dialog was shown
    QString after;   // status|xmass|explogins|expdate
};

} // namespace

Q_DECLARE_METATYPE(AccountCase)
Q_DECLARE_METATYPE(Account)

// The account rules on a real database. The password dialog is answered
// through its seam, so no window is built and nothing is polled.
class TestAutent : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        platform::now = [] { return kNow; };
        // Settings files of the test's own, never the machine's.
        platform::registryFolder = [this] { return m_settings.filePath(QStringLiteral("user")); };
        platform::systemSettingsFolder = [this] { return m_settings.filePath(QStringLiteral("system")); };
    }
    void init();
    void cleanup();

    void accountStates_data();
    void accountStates();
    void graceSignInsCountDown();
    void emptyNameMatchesNullUser();
    void quotesInNamesAndPasswords();
    void injectionNameRefused();
    void firstOfSeveralRowsDecides();
    void connectionParameters_data();
    void connectionParameters();
    void unreachableDatabaseRefused();
    void missingRightSaid_data();
    void missingRightSaid();
    void signInAsOrdinaryAccount_data();
    void signInAsOrdinaryAccount();

private:
    bool signIn(const QByteArray &user, const QByteArray &password, const QString &answer = {}, int *dialogs = nullptr);
    QByteArray row(const QByteArray &user);

    TestDb m_db;
    QTemporaryDir m_settings;
    QString m_path;
    std::unique_ptr<DbSession> m_session;
    DbConnection *m_connection = nullptr;
    // What the last sign-in came to.
    SignInOutcome m_outcome;
};

void TestAutent::init()
{
    m_path = m_db.freshFile();
    m_session = std::make_unique<DbSession>();
    m_connection = &m_session->connection();
}

void TestAutent::cleanup()
{
    m_session.reset();
}

bool TestAutent::signIn(const QByteArray &user, const QByteArray &password, const QString &answer, int *dialogs)
{
    m_connection->close();
    int shown = 0;
    const auto ask = [&] {
        ++shown;
        return toCp1251(answer);
    };
    m_outcome = ConnectUser(*m_session, {m_path, user, password}, ask);
    const bool result = m_outcome.accepted;
    if (dialogs)
        *dialogs = shown;
    // The connection follows the outcome.
    if (m_connection->connected() != result)
        QTest::qFail("the connection state does not follow the outcome", __FILE__, __LINE__);
    return result;
}

QByteArray TestAutent::row(const QByteArray &user)
{
    return DbReader(m_path).value("select status, xmass, explogins, expdate from users where xuser = '" + user + "'");
}

void TestAutent::accountStates_data()
{
    QTest::addColumn<AccountCase>("c");
    // What the window is told after a grace sign-in; empty: nothing.
    QTest::addColumn<QString>("grace");

    const QString on = QStringLiteral("включен");
    const QString need = QStringLiteral("требуется пароль");
    const QString blocked = QStringLiteral("заблокирован");
    const auto row
        = [](const char *name, const AccountCase &c, const QString &grace = {}) { QTest::newRow(name) << c << grace; };
    row("never expires", {on, "null", "30", "6", "pw", {}, true, 0, on + "|pw|6|<null>"});
    row("expires tomorrow", {on, "'2026-12-09'", "30", "6", "pw", {}, true, 0, on + "|pw|6|09.12.2026"});
    row("expired today at midnight, dismissed",
        {on, "'2026-12-08'", "30", "6", "pw", {}, true, 1, on + "|pw|5|08.12.2026"},
        QStringLiteral("Пароль действовал до 08.12.2026. Без смены пароля осталось входов: 4."));
    row("the last grace sign-in",
        {on, "'2026-11-30 18:45'", "30", "2", "pw", {}, true, 1, on + "|pw|1|30.11.2026 18:45:00"},
        QStringLiteral("Пароль действовал до 30.11.2026 18:45. Это последний вход без смены пароля."));
    row("expired, renewed",
        {on, "'2026-01-01'", "30", "2", "pw", QStringLiteral("новый"), true, 1, on + "|новый|6|07.01.2027"});
    row("renewed, no validity period",
        {on, "'2026-01-01'", "null", "2", "pw", QStringLiteral("n2"), true, 1, on + "|n2|6|08.12.2026"});
    row("grace null blocks", {on, "'2026-01-01'", "30", "null", "pw", {}, false, 1, blocked + "|pw|<null>|01.01.2026"});
    row("grace 0 blocks", {on, "'2026-01-01'", "30", "0", "pw", {}, false, 1, blocked + "|pw|0|01.01.2026"});
    row("grace 1 blocks", {on, "'2026-01-01'", "30", "1", "pw", {}, false, 1, blocked + "|pw|1|01.01.2026"});
    row("new password required, given",
        {need, "'2026-01-01'", "30", "3", "pw", QStringLiteral("abc"), true, 1, on + "|abc|3|01.01.2026"});
    row("new password required, dismissed", {need, "null", "30", "3", "pw", {}, false, 1, need + "|pw|3|<null>"});
    row("blocked", {blocked, "null", "30", "6", "pw", {}, false, 0, blocked + "|pw|6|<null>"});
    row("capitalised status",
        {QStringLiteral("Включен"), "null", "30", "6", "pw", {}, false, 0, QStringLiteral("Включен|pw|6|<null>")});
    row("wrong password", {need, "null", "30", "6", "PW", {}, false, 0, need + "|pw|6|<null>"});
}

void TestAutent::accountStates()
{
    QFETCH(AccountCase, c);
    QFETCH(QString, grace);
    DbReader(m_path).exec(
        "insert into users (num, xuser, xmass, status, expdate, expdays, explogins) values (100, 'u', "
        "'pw', "
        + SqlValue(toCp1251(c.status), 's', ',') + c.expdate + "," + c.expdays + "," + c.explogins + ")");
    int shown = -1;
    QCOMPARE(signIn("u", c.typed, c.newPassword, &shown), c.accepted);
    QCOMPARE(shown, c.dialogs);
    QCOMPARE(fromCp1251(row("u")), c.after);
    QCOMPARE(m_outcome.grace, !grace.isEmpty());
    if (m_outcome.grace)
        QCOMPARE(graceSignInText(m_outcome), grace);
}

void TestAutent::graceSignInsCountDown()
{
    DbReader(m_path).exec("insert into users (num, xuser, xmass, status, expdate, expdays, explogins) "
                          "values (100, 'g', 'pw', "
                          + SqlValue(toCp1251(QStringLiteral("включен")), 's', ',') + "'2026-01-01', 30, 6)");
    for (int left = 5; left >= 1; --left) {
        QVERIFY(signIn("g", "pw"));
        QCOMPARE(row("g").split('|').value(2), QByteArray::number(left));
        // As many more as are then accepted before the blocking one.
        QVERIFY(m_outcome.grace);
        QCOMPARE(m_outcome.graceLeft, qint64(left - 1));
        QCOMPARE(toQDateTime(m_outcome.validUntil), QDateTime(QDate(2026, 1, 1), QTime(0, 0)));
    }
    QVERIFY(!signIn("g", "pw"));
    QVERIFY(!m_outcome.grace);
    QCOMPARE(fromCp1251(row("g").split('|').value(0)), QStringLiteral("заблокирован"));
    int shown = -1;
    QVERIFY(!signIn("g", "pw", {}, &shown));
    QCOMPARE(shown, 0);
}

void TestAutent::emptyNameMatchesNullUser()
{
    QVERIFY(!signIn("", ""));
    DbReader(m_path).exec("insert into users (num, xuser, xmass, status) values (100, null, null, "
                          + SqlValue(toCp1251(QStringLiteral("включен")), 's', ')'));
    QVERIFY(signIn("", ""));
    QVERIFY(!signIn("", "x"));
}

void TestAutent::quotesInNamesAndPasswords()
{
    DbReader(m_path).exec("insert into users (num, xuser, xmass, status) values (100, 'd''Arc', 'p''w', "
                          + SqlValue(toCp1251(QStringLiteral("требуется пароль")), 's', ')'));
    QVERIFY(signIn("d'Arc", "p'w", QStringLiteral("a''b'''c")));
    QCOMPARE(DbReader(m_path).value("select xmass from users where num = 100"), QByteArray("a''b'''c"));
    QVERIFY(signIn("d'Arc", "a''b'''c"));
}

void TestAutent::injectionNameRefused()
{
    QVERIFY(!signIn("''' or 1=1 --", "admin"));
    QVERIFY(!signIn("x' or '1'='1", "admin"));
    QVERIFY(!signIn("admin' --", "admin"));
}

void TestAutent::firstOfSeveralRowsDecides()
{
    const QByteArray on = SqlValue(toCp1251(QStringLiteral("включен")), 's', ')');
    DbReader(m_path).exec("insert into users (num, xuser, xmass, status) values (100, 'twin', 'first', " + on);
    DbReader(m_path).exec("insert into users (num, xuser, xmass, status) values (101, 'twin', 'second', " + on);
    QVERIFY(signIn("twin", "first"));
    QVERIFY(!signIn("twin", "second"));
}

void TestAutent::connectionParameters_data()
{
    // The account's password in the per-user and the system-wide settings
    // file; null: no such file.
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("system");
    QTest::addColumn<QByteArray>("passwordLine");
    QTest::newRow("none set: none sent") << QString() << QString() << QByteArray();
    QTest::newRow("none in the settings file")
        << QString() << QStringLiteral("[General]\ndatabase=/srv/a.fdb\n") << QByteArray();
    QTest::newRow("the server's, kept system-wide")
        << QString() << QStringLiteral("; comment\n[General]\naccount%20password=Xy7kQ2\n")
        << QByteArray("password=Xy7kQ2");
    QTest::newRow("the user's own file first")
        << QStringLiteral("[General]\naccount%20password=own\n")
        << QStringLiteral("[General]\naccount%20password=Xy7kQ2\n") << QByteArray("password=own");
}

void TestAutent::connectionParameters()
{
    QFETCH(QString, user);
    QFETCH(QString, system);
    QFETCH(QByteArray, passwordLine);
    const auto write = [](const QString &file, const QString &text) {
        QFile::remove(file);
        if (text.isNull())
            return;
        QDir().mkpath(QFileInfo(file).path());
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(text.toUtf8());
    };
    write(userSettingsFile(), user);
    write(systemSettingsFile(), system);
    const auto clear = qScopeGuard([] {
        QFile::remove(userSettingsFile());
        QFile::remove(systemSettingsFile());
    });

    // The embedded engine signs in whatever password is sent, or none.
    QVERIFY(signIn("admin", "admin"));
    QVERIFY(MakeUserParam().startsWith("user_name="));
    QVERIFY(MakeUserParam().size() > 10 && MakeUserParam().size() <= 255);
    QCOMPARE(MakePassParam(), passwordLine);
    QList<QByteArray> expected{MakeUserParam()};
    if (!passwordLine.isEmpty())
        expected.append(passwordLine);
    expected.append("lc_ctype=WIN1251");
    QCOMPARE(m_connection->params, expected);
    QCOMPARE(m_connection->databaseName, m_path);
}

void TestAutent::unreachableDatabaseRefused()
{
    m_connection->close();
    const QString missing = m_path + QStringLiteral(".missing");
    try {
        ConnectUser(*m_session, {missing, "admin", "admin"}, {});
        QFAIL("a missing database was not reported");
    } catch (const AttachError &e) {
        // Which database, where another is set, then the engine's own words.
        QVERIFY2(e.text().startsWith(QStringLiteral("Не удалось открыть базу данных «%1»").arg(missing)),
                 qPrintable(e.text()));
        QVERIFY2(e.text().contains(QLatin1String("database")), qPrintable(e.text()));
        QVERIFY2(e.text().contains(QStringLiteral("«%1»").arg(userSettingsFile())), qPrintable(e.text()));
        QVERIFY2(e.text().contains(QStringLiteral("«%1»").arg(systemSettingsFile())), qPrintable(e.text()));
        QVERIFY2(e.text().contains(QLatin1String("No such file")), qPrintable(e.text()));
    }
    QVERIFY(!m_connection->connected());
    QVERIFY(!QFile::exists(m_path + QStringLiteral(".missing")));
}

void TestAutent::missingRightSaid_data()
{
    QTest::addColumn<QByteArray>("revoke");
    QTest::addColumn<QByteArray>("expdate"); // SQL literal
    QTest::addColumn<QString>("newPassword");
    QTest::addColumn<QString>("engineSays");
    QTest::newRow("no rights at all") << QByteArray("all on all") << QByteArray("null") << QString()
                                      << QStringLiteral("SELECT access to TABLE USERS");
    QTest::newRow("renewal without update")
        << QByteArray("update on users") << QByteArray("'2026-01-01'") << QStringLiteral("новый")
        << QStringLiteral("UPDATE access to TABLE USERS");
    QTest::newRow("grace sign-in without update") << QByteArray("update on users") << QByteArray("'2026-01-01'")
                                                  << QString() << QStringLiteral("UPDATE access to TABLE USERS");
}

void TestAutent::missingRightSaid()
{
    QFETCH(QByteArray, revoke);
    QFETCH(QByteArray, expdate);
    QFETCH(QString, newPassword);
    QFETCH(QString, engineSays);
    DbReader(m_path).exec("insert into users (num, xuser, xmass, status, expdate, expdays, explogins) values (100, "
                          "'u', 'pw', "
                          + SqlValue(toCp1251(QStringLiteral("включен")), 's', ',') + expdate + ", 30, 6)");
    const QByteArray before = row("u");
    DbReader(m_path).exec("revoke " + revoke + " from " + builtInUserName());
    try {
        ConnectUser(*m_session, {m_path, "u", "pw"}, [&] { return toCp1251(newPassword); });
        QFAIL("the missing right was not reported");
    } catch (const MissingRightError &e) {
        // Which database, the command that readies it, then the engine's words.
        QVERIFY2(e.text().startsWith(QStringLiteral("У учётной записи программы нет прав на базу данных «%1»: их даёт "
                                                    "администратор базы командой «utilities-db grant %1»")
                                         .arg(m_path)),
                 qPrintable(e.text()));
        QVERIFY2(e.text().contains(engineSays), qPrintable(e.text()));
    }
    QVERIFY(!m_connection->connected());
    QCOMPARE(row("u"), before);
}

void TestAutent::signInAsOrdinaryAccount_data()
{
    QTest::addColumn<Account>("account");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("says"); // in this order; DATABASE is the file signed in to

    QTest::newRow("staff, in the engine's group") << Account::Staff << 0 << QStringList{QStringLiteral("signed in")};
    // Which database, then what is wrong and what to do, then the engine's words.
    QTest::newRow("outside the engine's group")
        << Account::Outsider << 1
        << QStringList{QStringLiteral("Не удалось открыть базу данных «DATABASE»"),
                       QStringLiteral("Встроенный сервер базы данных не может работать от имени учётной записи "
                                      "«nobody»: его папка блокировок «/tmp/firebird» открыта только группе firebird"),
                       QStringLiteral("«sudo adduser nobody firebird»; после этого выйдите из сеанса рабочего стола и "
                                      "войдите снова."),
                       QStringLiteral("operating system directive access failed")};
}

void TestAutent::signInAsOrdinaryAccount()
{
    QFETCH(Account, account);
    QFETCH(int, status);
    QFETCH(QStringList, says);
    const OrdinaryAccounts accounts;
    if (!accounts.missing().isEmpty())
        QSKIP(qPrintable(accounts.missing()));
    // The database in a folder of the account's own, as a desk keeps it.
    QTemporaryDir folder;
    const QString database = folder.filePath(QStringLiteral("library.fdb"));
    QVERIFY(QFile::copy(m_path, database));
    QVERIFY(accounts.give(folder.path()) && accounts.give(database));

    QProcess probe;
    probe.setProcessEnvironment(accounts.environment(account));
    const QStringList command = accounts.command(account, QStringLiteral(SIGNIN_PROBE_PATH),
                                                 {database, QStringLiteral("admin"), QStringLiteral("admin")});
    probe.start(command.first(), command.mid(1));
    QVERIFY(probe.waitForFinished(60000));
    const QString out = QString::fromUtf8(probe.readAllStandardOutput());
    const QString err = QString::fromUtf8(probe.readAllStandardError());
    QVERIFY2(probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == status, qPrintable(out + err));
    const QString said = status == 0 ? out : err;
    qsizetype at = 0;
    for (QString part : says) {
        part.replace(QStringLiteral("DATABASE"), database);
        const qsizetype found = said.indexOf(part, at);
        QVERIFY2(found >= 0, qPrintable(QStringLiteral("«%1» not found in order in:\n%2").arg(part, said)));
        at = found + part.size();
    }
}

QTEST_GUILESS_MAIN(TestAutent)
#include "tst_autent.moc"
