#include "modal.h"
#include "testdb.h"

#include "app/mainform.h"
#include "auth/autent.h"
#include "auth/diapass.h"
#include "db/dataset.h"
#include "db/errors.h"
#include "db/platform.h"
#include "db/settings.h"
#include "db/text1251.h"
#include "db/utilites.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

const QDateTime kNow(QDate(2026, 12, 8), QTime(10, 30));

// How the password dialog is answered when it appears.
struct Answer {
    QString first;
    QString second;
    bool confirm = false;
};

void answer(QWidget *dialog, const Answer &a)
{
    auto *pass = qobject_cast<TFormDiaPass *>(dialog);
    QVERIFY(pass);
    if (!a.confirm) {
        pass->close();
        return;
    }
    pass->Edit1->setText(a.first);
    pass->Edit2->setText(a.second);
    QTest::mouseClick(pass->BitBtnOK, Qt::LeftButton);
    // Entries that differ keep the dialog open; give up as a user would.
    if (pass->isVisible())
        pass->close();
}

} // namespace

class TestAutent : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { platform::now = [] { return kNow; }; }
    void init();
    void cleanup();

    void accountStates_data();
    void accountStates();
    void graceSignInsCountDown();
    void emptyNameMatchesNullUser();
    void quotesInNamesAndPasswords();
    void injectionNameRefused();
    void firstOfSeveralRowsDecides();
    void connectionParameters();
    void unreachableDatabaseRefused();

private:
    bool signIn(const QByteArray &user, const QByteArray &password, const Answer &a = {}, int *dialogs = nullptr);
    QByteArray row(const QByteArray &user);

    TestDb m_db;
    std::unique_ptr<TFormMain> m_form;
    QString m_path;
};

void TestAutent::init()
{
    m_path = m_db.freshFile();
    m_form = std::make_unique<TFormMain>();
    m_form->BazaPath = m_path;
}

void TestAutent::cleanup()
{
    m_form.reset();
}

bool TestAutent::signIn(const QByteArray &user, const QByteArray &password, const Answer &a, int *dialogs)
{
    m_form->IBDatabase1->close();
    ModalAnswerer answerer([&](QWidget *dialog) { answer(dialog, a); });
    const bool result = ConnectUser(m_form->IBDatabase1, m_path, user, password);
    if (dialogs)
        *dialogs = answerer.count();
    // The connection follows the outcome.
    if (m_form->IBDatabase1->connected() != result)
        qWarning("connection state does not follow the outcome");
    return result;
}

QByteArray TestAutent::row(const QByteArray &user)
{
    return DbReader(m_path).value("select status, xmass, explogins, expdate from users where xuser = '" + user + "'");
}

void TestAutent::accountStates_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<QByteArray>("expdate");
    QTest::addColumn<QByteArray>("expdays");
    QTest::addColumn<QByteArray>("explogins");
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QString>("newPassword");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("dialogs");
    QTest::addColumn<QString>("after");

    const QString on = QStringLiteral("включен");
    const QString need = QStringLiteral("требуется пароль");
    const QString blocked = QStringLiteral("заблокирован");
    const QString none;
    QTest::newRow("never expires") << on << QByteArray("null") << QByteArray("30") << QByteArray("6") << QByteArray("pw")
                                   << false << none << true << 0 << on + "|pw|6|<null>";
    QTest::newRow("expires tomorrow") << on << QByteArray("'2026-12-09'") << QByteArray("30") << QByteArray("6")
                                      << QByteArray("pw") << false << none << true << 0
                                      << on + "|pw|6|09.12.2026";
    QTest::newRow("expired today at midnight, dismissed")
        << on << QByteArray("'2026-12-08'") << QByteArray("30") << QByteArray("6") << QByteArray("pw") << false << none
        << true << 1 << on + "|pw|5|08.12.2026";
    QTest::newRow("expired, renewed") << on << QByteArray("'2026-01-01'") << QByteArray("30") << QByteArray("2")
                                      << QByteArray("pw") << true << QStringLiteral("новый") << true << 1
                                      << on + "|новый|6|07.01.2027";
    QTest::newRow("renewed, no validity period") << on << QByteArray("'2026-01-01'") << QByteArray("null")
                                                 << QByteArray("2") << QByteArray("pw") << true << QStringLiteral("n2")
                                                 << true << 1 << on + "|n2|6|08.12.2026";
    QTest::newRow("grace null blocks") << on << QByteArray("'2026-01-01'") << QByteArray("30") << QByteArray("null")
                                       << QByteArray("pw") << false << none << false << 1
                                       << blocked + "|pw|<null>|01.01.2026";
    QTest::newRow("grace 0 blocks") << on << QByteArray("'2026-01-01'") << QByteArray("30") << QByteArray("0")
                                    << QByteArray("pw") << false << none << false << 1 << blocked + "|pw|0|01.01.2026";
    QTest::newRow("grace 1 blocks") << on << QByteArray("'2026-01-01'") << QByteArray("30") << QByteArray("1")
                                    << QByteArray("pw") << false << none << false << 1 << blocked + "|pw|1|01.01.2026";
    QTest::newRow("new password required, given")
        << need << QByteArray("'2026-01-01'") << QByteArray("30") << QByteArray("3") << QByteArray("pw") << true
        << QStringLiteral("abc") << true << 1 << on + "|abc|3|01.01.2026";
    QTest::newRow("new password required, dismissed") << need << QByteArray("null") << QByteArray("30")
                                                      << QByteArray("3") << QByteArray("pw") << false << none << false
                                                      << 1 << need + "|pw|3|<null>";
    QTest::newRow("new password required, mismatch then closed")
        << need << QByteArray("null") << QByteArray("30") << QByteArray("3") << QByteArray("pw") << true
        << QStringLiteral("abc|abd") << false << 1 << need + "|pw|3|<null>";
    QTest::newRow("blocked") << blocked << QByteArray("null") << QByteArray("30") << QByteArray("6")
                             << QByteArray("pw") << false << none << false << 0 << blocked + "|pw|6|<null>";
    QTest::newRow("capitalised status") << QStringLiteral("Включен") << QByteArray("null") << QByteArray("30")
                                        << QByteArray("6") << QByteArray("pw") << false << none << false << 0
                                        << QStringLiteral("Включен|pw|6|<null>");
    QTest::newRow("wrong password") << need << QByteArray("null") << QByteArray("30") << QByteArray("6")
                                    << QByteArray("PW") << false << none << false << 0 << need + "|pw|6|<null>";
}

void TestAutent::accountStates()
{
    QFETCH(QString, status);
    QFETCH(QByteArray, expdate);
    QFETCH(QByteArray, expdays);
    QFETCH(QByteArray, explogins);
    QFETCH(QByteArray, typed);
    QFETCH(bool, confirm);
    QFETCH(QString, newPassword);
    QFETCH(bool, accepted);
    QFETCH(int, dialogs);
    QFETCH(QString, after);

    DbReader(m_path).exec("insert into users (num, xuser, xmass, status, expdate, expdays, explogins) values (100, 'u', 'pw', "
                  + SqlValue(toCp1251(status), 's', ',') + expdate + "," + expdays + "," + explogins + ")");
    const QStringList entries = newPassword.split(u'|');
    int shown = -1;
    QCOMPARE(signIn("u", typed, Answer{entries.value(0), entries.value(entries.size() - 1), confirm}, &shown),
             accepted);
    QCOMPARE(shown, dialogs);
    QCOMPARE(fromCp1251(row("u")), after);
}

void TestAutent::graceSignInsCountDown()
{
    DbReader(m_path).exec("insert into users (num, xuser, xmass, status, expdate, expdays, explogins) "
                  "values (100, 'g', 'pw', " + SqlValue(toCp1251(QStringLiteral("включен")), 's', ',')
                  + "'2026-01-01', 30, 6)");
    for (int left = 5; left >= 1; --left) {
        QVERIFY(signIn("g", "pw"));
        QCOMPARE(row("g").split('|').value(2), QByteArray::number(left));
    }
    QVERIFY(!signIn("g", "pw"));
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
    QVERIFY(signIn("d'Arc", "p'w", Answer{QStringLiteral("a''b'''c"), QStringLiteral("a''b'''c"), true}));
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

void TestAutent::connectionParameters()
{
    QVERIFY(signIn("admin", "admin"));
    QVERIFY(MakeUserParam().startsWith("user_name="));
    QVERIFY(MakePassParam().startsWith("password="));
    QVERIFY(MakeUserParam().size() > 10 && MakeUserParam().size() <= 255);
    QVERIFY(MakePassParam().size() > 9 && MakePassParam().size() <= 255);
    QCOMPARE(m_form->IBDatabase1->params,
             (QList<QByteArray>{MakeUserParam(), MakePassParam(), "lc_ctype=WIN1251"}));
    QCOMPARE(m_form->IBDatabase1->databaseName, m_path);
}

void TestAutent::unreachableDatabaseRefused()
{
    m_form->IBDatabase1->close();
    const QString missing = m_path + QStringLiteral(".missing");
    try {
        ConnectUser(m_form->IBDatabase1, missing, "admin", "admin");
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
    QVERIFY(!m_form->IBDatabase1->connected());
    QVERIFY(!QFile::exists(m_path + QStringLiteral(".missing")));
}

QTEST_MAIN(TestAutent)
#include "tst_autent.moc"
