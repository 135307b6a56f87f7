#include "db/dberror.h"
#include "dbdump.h"
#include "fbserver.h"
#include "modal.h"
#include "signedin.h"
#include "testdb.h"

#include "app/mainform.h"
#include "app/resulttext.h"
#include "auth/account.h"
#include "auth/autent.h"
#include "base/platform.h"
#include "base/text1251.h"
#include "db/engine.h"
#include "db/fbservice.h"
#include "ui/adminlogin.h"
#include "ui/formYN.h"
#include "ui/uiplatform.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using Rows = QList<QByteArray>;

namespace {

// isql-fb as another desk's client. The embedded engine follows the
// configuration named by root: the program's own shares files, the
// system's holds a file for its process alone.
class Isql {
public:
    Isql(const QString &database, const QString &root, const QList<QByteArray> &login = {"SYSDBA"})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("FIREBIRD"));
        if (!root.isEmpty())
            environment.insert(QStringLiteral("FIREBIRD"), root);
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        QStringList arguments{QStringLiteral("-q"), QStringLiteral("-ch"), QStringLiteral("UTF8"),
                              QStringLiteral("-user"), QString::fromLatin1(login.value(0))};
        if (login.size() > 1)
            arguments << QStringLiteral("-password") << QString::fromLatin1(login[1]);
        m_process.start(QStringLiteral("isql-fb"), arguments << database);
    }
    ~Isql()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(30000))
            m_process.kill();
    }

    // Sends statements and goes on at once; isql-fb works through them
    // meanwhile.
    void send(const QByteArray &statements) { m_process.write(statements + '\n'); }

    // Sends statements and waits until isql-fb has answered a marker
    // select after them, so they have run when this returns.
    QByteArray run(const QByteArray &statements)
    {
        send(statements + "\nselect 'done' || 'done' from rdb$database;");
        QByteArray output;
        while (!output.contains("donedone") && m_process.waitForReadyRead(60000))
            output += m_process.readAll();
        return output;
    }

    void finish(int seconds = 60)
    {
        m_process.closeWriteChannel();
        m_process.waitForFinished(seconds * 1000);
    }

private:
    QProcess m_process;
};

// What the program does in a row of the lock conflict table.
enum class Action { RenewPassword, DeleteRange, Wipe, ClearCatalogue };

// The window's next action after its server restarted.
enum class NextAction { List, AddRange, DeleteRange, ClearingCounts, Check, Import, SignOutAndIn };

} // namespace

Q_DECLARE_METATYPE(Action)
Q_DECLARE_METATYPE(NextAction)

// Several desks on one database: through the private server, beside
// another process, with the account refused or its rights missing.
class TestSharedDatabase : public WindowTest {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void aDayThroughTheServer();
    void twoProcessesShareAnEmbeddedFile();
    void attachFailureSaysWhy_data();
    void attachFailureSaysWhy();
    void accountRefuses_data();
    void accountRefuses();
    void grantOnFurtherDesks_data();
    void grantOnFurtherDesks();
    void lockConflictChangesNothing_data();
    void lockConflictChangesNothing();
    void nextActionAfterARestartAttachesAgain_data();
    void nextActionAfterARestartAttachesAgain();
    void serverDownSaidUnreachable();
    void missingRightSaidInTheTabs_data();
    void missingRightSaidInTheTabs();

private:
    void signInTo(const QString &database, const QString &user, const QString &password);
    void answerEveryQuestion(bool yes, const std::function<void()> &action);
    void import(QRadioButton *mode, const QString &file, bool clear = false);
    QString writeFile(const QByteArray &bytes);
    // A demo database on the server, signed in to as admin.
    QString signedInOnTheServer(const QString &name);

    FbServer m_server;
    QTemporaryDir m_files;
};

void TestSharedDatabase::initTestCase()
{
    QVERIFY2(m_server.running(), qPrintable(m_server.error()));
    WindowTest::initTestCase();
    // A desk of the private server: its system-wide settings hold the
    // program's account password that the tool's grant made.
    platform::systemSettingsFolder = [this] { return m_server.settingsFolder(); };
}

void TestSharedDatabase::init()
{
    WindowTest::init();
    m_form->show();
}

void TestSharedDatabase::signInTo(const QString &database, const QString &user, const QString &password)
{
    m_form->BazaPath = database;
    signIn(user, password);
}

void TestSharedDatabase::answerEveryQuestion(bool yes, const std::function<void()> &action)
{
    ModalAnswerer answerer([yes](QWidget *dialog) {
        if (auto *ask = qobject_cast<TFormYesNo *>(dialog))
            QTest::mouseClick(yes ? ask->BitBtnDa : ask->BitBtnNet, Qt::LeftButton);
        else
            dialog->close();
    });
    action();
}

void TestSharedDatabase::import(QRadioButton *mode, const QString &file, bool clear)
{
    QTest::mouseClick(mode, Qt::LeftButton);
    m_form->EditF->setText(file);
    m_form->CheckCL->setChecked(clear);
    QTest::mouseClick(m_form->BitBtnIM, Qt::LeftButton);
}

void TestSharedDatabase::aDayThroughTheServer()
{
    const QString database = m_server.createDatabase(QStringLiteral("day.fdb"));
    QVERIFY2(!database.isEmpty(), qPrintable(m_server.failure()));
    DbReader desk(database, m_server.adminParams());

    signInTo(database, QStringLiteral("admin"), QStringLiteral("admin"));
    QVERIFY2(m_form->PageControl1->isVisible(), qPrintable(m_errors.join(u'\n')));
    // Signed in as the program's own account, not the administrator.
    QCOMPARE(selectValue(m_form->IBDatabase1, "select current_user from rdb$database"), builtInUserName());

    m_form->EditS->setText(QStringLiteral("9000"));
    m_form->EditP->setText(QStringLiteral("9010"));
    m_form->EditME->setText(QStringLiteral("сервер"));
    QTest::mouseClick(m_form->BitBtnAdd, Qt::LeftButton);
    QCOMPARE(desk.value("select bs || '-' || bp from barcodes where bs = 9000"), QByteArray("9000-9010"));

    // Another desk's range shows when the list is next opened.
    desk.exec("insert into barcodes (num, bs, bp, me) values (gen_id(nnbarcodes, 1), 9500, 9510, null)");
    QCOMPARE(m_form->IBQueryBC->recordCount(), 4);
    m_form->PageControl1->setCurrentWidget(m_form->TabSheetIM);
    m_form->PageControl1->setCurrentWidget(m_form->TabSheetBC);
    QCOMPARE(m_form->IBQueryBC->recordCount(), 5);

    // Both examples imported while another desk keeps adding books and
    // readers to the same tables, each committed on its own.
    QByteArray others;
    for (int i = 0; i < 400; ++i) {
        others += "insert into catalog (num, barcod) values (gen_id(nncatalog, 1), 'other');\n"
                  "insert into readers (num, nomer) values (gen_id(nnreaders, 1), -1);\ncommit;\n";
    }
    Isql busy(database, QString(), {"SYSDBA", m_server.adminPassword()});
    busy.send(others);
    m_form->PageControl1->setCurrentWidget(m_form->TabSheetIM);
    const auto othersStored = [&] { return desk.value("select count(*) from catalog").toInt(); };
    QTRY_VERIFY_WITH_TIMEOUT(othersStored() > 0, 30000);
    import(m_form->RadioCA, QStringLiteral(EXAMPLES_DIR "/catalog.csv"));
    QCOMPARE(m_form->LabelCC->text(), QStringLiteral("операция завершена"));
    // Checked again as the program's account, which may read the
    // catalogue's item numbers: each of them now stands there.
    QTest::mouseClick(m_form->BitBtnCheck, Qt::LeftButton);
    QCOMPARE(m_form->LabelCC->text(), QStringLiteral("проверка завершена"));
    QVERIFY2(m_form->LabelCheck->text().contains(QStringLiteral("уже есть в каталоге: 10 (")),
             qPrintable(m_form->LabelCheck->text() + m_errors.join(u'\n')));
    import(m_form->RadioKA, QStringLiteral(EXAMPLES_DIR "/readers.csv"));
    QCOMPARE(m_form->LabelCC->text(), QStringLiteral("операция завершена"));
    // The other desk was still at work when both runs ended.
    QVERIFY(othersStored() < 400 + 10);
    busy.run("commit;");
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    QCOMPARE(desk.value("select count(*) from catalog where barcod <> 'other'"), QByteArray("10"));
    QCOMPARE(desk.value("select count(*) from readers where nomer >= 0"), QByteArray("8"));
    QCOMPARE(desk.value("select count(*) from catalog where barcod = 'other'"), QByteArray("400"));
    busy.finish();

    // The wipe's backup asks for the server's administrator: declined,
    // nothing is wiped; answered, it goes on.
    m_form->PageControl1->setCurrentWidget(m_form->TabSheet1);
    const QByteArray rows = desk.value("select count(*) from catalog");
    const auto wipeAnswering = [&](const QByteArray &adminPassword) {
        ModalAnswerer answerer([&](QWidget *dialog) {
            if (auto *ask = qobject_cast<TFormYesNo *>(dialog)) {
                QTest::mouseClick(ask->BitBtnDa, Qt::LeftButton);
            } else if (auto *admin = qobject_cast<AdminLoginDialog *>(dialog)) {
                QCOMPARE(admin->EditAdminUser->text(), QStringLiteral("SYSDBA"));
                QCOMPARE(admin->focusWidget(), admin->EditAdminPassword);
                if (adminPassword.isNull()) {
                    admin->Buttons->button(QDialogButtonBox::Cancel)->click();
                } else {
                    QTest::keyClicks(admin->EditAdminPassword, QString::fromLatin1(adminPassword));
                    QTest::keyClick(admin->EditAdminPassword, Qt::Key_Return);
                }
            } else {
                dialog->close();
            }
        });
        QTest::mouseClick(m_form->BitBtn1, Qt::LeftButton);
        QCOMPARE(answerer.count(), 2);
    };
    wipeAnswering(QByteArray());
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    QCOMPARE(m_form->LabelST->text(), QStringLiteral("база не очищена"));
    QCOMPARE(m_form->LabelBackup->text(),
             QStringLiteral("резервная копия не создана: администратор базы данных не указан"));
    QCOMPARE(desk.value("select count(*) from catalog"), rows);
    wipeAnswering(m_server.adminPassword());
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    QCOMPARE(m_form->LabelST->text(), QStringLiteral("выполнено"));
    // The server wrote the backup beside the database, in its own folder.
    const QString backup = m_form->LabelBackup->text().section(QStringLiteral("резервная копия на сервере: "), 1);
    QCOMPARE(QFileInfo(backup).path(), m_server.dataFolder());
    QVERIFY2(QFileInfo(backup).size() > 0, qPrintable(m_form->LabelBackup->text()));
    QCOMPARE(desk.value("select (select count(*) from catalog) + (select count(*) from readers) "
                        "+ (select count(*) from izdatelstvo) from rdb$database"),
             QByteArray("0"));
    QCOMPARE(desk.value("select count(*) from barcodes"), QByteArray("5"));

    QTest::mouseClick(m_form->BitBtnGO, Qt::LeftButton);
    QVERIFY(!m_form->IBDatabase1->connected());

    // The account's password was made for this server, and is no part of
    // the program or its tool.
    const QByteArray secret = m_server.accountPassword();
    QVERIFY(secret.size() >= 20);
    for (const QString &program : {QCoreApplication::applicationFilePath(), QStringLiteral(DBTOOL_PATH)}) {
        QFile binary(program);
        QVERIFY(binary.open(QIODevice::ReadOnly));
        const QByteArray bytes = binary.readAll();
        QVERIFY2(!bytes.isEmpty() && !bytes.contains(secret), qPrintable(program));
    }
}

void TestSharedDatabase::twoProcessesShareAnEmbeddedFile()
{
    const QString file = m_db.freshFile();
    signInTo(file, QStringLiteral("admin"), QStringLiteral("admin"));
    QVERIFY2(m_form->PageControl1->isVisible(), qPrintable(m_errors.join(u'\n')));
    m_form->EditS->setText(QStringLiteral("300"));
    m_form->EditP->setText(QStringLiteral("310"));
    QTest::mouseClick(m_form->BitBtnAdd, Qt::LeftButton);

    // Another process's embedded engine, set up like the program's, opens
    // the same file while the program has it open: each sees the other.
    Isql other(file, embeddedEngineRoot());
    const QByteArray seen
        = other.run("select 'ranges:' || count(*) from barcodes;\n"
                    "insert into barcodes (num, bs, bp, me) values (gen_id(nnbarcodes, 1), 700, 710, null);\n"
                    "commit;");
    QVERIFY2(seen.contains("ranges:4"), seen.constData());
    m_form->PageControl1->setCurrentWidget(m_form->TabSheetIM);
    m_form->PageControl1->setCurrentWidget(m_form->TabSheetBC);
    QCOMPARE(m_form->IBQueryBC->recordCount(), 5);
    QVERIFY(m_errors.isEmpty());
}

void TestSharedDatabase::attachFailureSaysWhy_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("password");
    // Empty: the sign-in is refused without a word.
    QTest::addColumn<QString>("engineSays");
    // What the user is told to do; empty: nothing beyond the engine's words.
    QTest::addColumn<QString>("advice");
    QTest::newRow("file missing") << QStringLiteral("missing") << QStringLiteral("admin")
                                  << QStringLiteral("No such file or directory") << QString();
    QTest::newRow("not a database") << QStringLiteral("garbage") << QStringLiteral("admin")
                                    << QStringLiteral("not a valid database") << QString();
    QTest::newRow("held by another engine")
        << QStringLiteral("held") << QStringLiteral("admin") << QStringLiteral("incompatible") << QString();
    QTest::newRow("server unreachable") << QStringLiteral("no server") << QStringLiteral("admin")
                                        << QStringLiteral("Unable to complete network request") << QString();
    QTest::newRow("account refused by the server")
        << QStringLiteral("refused") << QStringLiteral("admin")
        << QStringLiteral("user name and password are not defined")
        << QStringLiteral("Сервер не принял пароль учётной записи программы из файла настроек");
    QTest::newRow("no account password on this desk") << QStringLiteral("no password") << QStringLiteral("admin")
                                                      << QStringLiteral("user name and password are not defined")
                                                      << QStringLiteral("не задан пароль учётной записи программы");
    QTest::newRow("wrong password stays silent")
        << QStringLiteral("ok") << QStringLiteral("nimda") << QString() << QString();
}

void TestSharedDatabase::attachFailureSaysWhy()
{
    QFETCH(QString, kind);
    QFETCH(QString, password);
    QFETCH(QString, engineSays);
    QFETCH(QString, advice);

    QString database = m_db.freshFile();
    std::unique_ptr<Isql> holder;
    const auto deskSettings
        = qScopeGuard([this] { platform::systemSettingsFolder = [this] { return m_server.settingsFolder(); }; });
    if (kind == QLatin1String("missing")) {
        database = m_files.filePath(QStringLiteral("nowhere.fdb"));
    } else if (kind == QLatin1String("garbage")) {
        database = m_files.filePath(QStringLiteral("garbage.fdb"));
        QFile file(database);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(8192, 'x'));
    } else if (kind == QLatin1String("held")) {
        // The system's own configuration: its engine keeps the file to itself.
        holder = std::make_unique<Isql>(database, QString());
        QVERIFY(holder->run("select count(*) from users;").contains("4"));
    } else if (kind == QLatin1String("no server")) {
        database = QStringLiteral("localhost/%1:/nowhere.fdb").arg(freeLoopbackPort());
    } else if (kind == QLatin1String("refused") || kind == QLatin1String("no password")) {
        database = m_server.createDatabase(kind.left(2) + QStringLiteral(".fdb"));
        QVERIFY2(!database.isEmpty(), qPrintable(m_server.failure()));
        if (kind == QLatin1String("no password"))
            platform::systemSettingsFolder = [this] { return m_files.filePath(QStringLiteral("no-such-folder")); };
        else
            // The server knows the account by another password.
            DbReader(database, m_server.adminParams()).exec("alter user " + builtInUserName() + " password 'another'");
    }

    signInTo(database, QStringLiteral("admin"), password);
    QCOMPARE(m_form->BitBtnGO->text(), QStringLiteral("старт"));
    QVERIFY(m_form->PageControl1->isHidden());
    QVERIFY(!m_form->IBDatabase1->connected());
    QVERIFY(m_form->Password->text().isEmpty());
    if (engineSays.isEmpty()) {
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
        return;
    }
    if (kind == QLatin1String("refused"))
        DbReader(database, m_server.adminParams())
            .exec("alter user " + builtInUserName() + " password '" + m_server.accountPassword() + "'");
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors[0].startsWith(QStringLiteral("Не удалось открыть базу данных «%1»").arg(database)),
             qPrintable(m_errors[0]));
    QVERIFY2(m_errors[0].contains(engineSays, Qt::CaseInsensitive), qPrintable(m_errors[0]));
    QCOMPARE(m_errors[0].contains(QStringLiteral("учётной записи программы")), !advice.isEmpty());
    if (!advice.isEmpty())
        QVERIFY2(m_errors[0].contains(advice), qPrintable(m_errors[0]));
}

void TestSharedDatabase::accountRefuses_data()
{
    // A statement run as the program's account through the server, or the
    // service asked for as it: each must fail.
    QTest::addColumn<QByteArray>("statement");
    const auto row = [](const char *name, const char *statement) { QTest::newRow(name) << QByteArray(statement); };
    row("drop a table", "drop table otdely");
    row("alter a table", "alter table catalog add extra integer");
    row("create a table", "create table extra (num integer)");
    row("create a trigger on users", "create trigger spy for users before update as begin end");
    row("revoke its own rights", "revoke select on users from VMUTIL");
    row("revoke all it holds", "revoke all on all from VMUTIL");
    row("pass a right on", "grant select on users to public");
    row("change a user name", "update users set xuser = 'x'");
    row("read a reference table", "select count(*) from otdely");
    row("drop a generator", "drop sequence nncatalog");
    row("create a generator", "create sequence extra");
    row("create a role", "create role extra");
    row("create a server user", "create user EXTRA password 'extra'");
    row("change the administrator's password", "alter user SYSDBA password 'taken'");
    row("back another database up", "backup other.fdb");
    row("restore over another database", "restore other.fdb");
    row("restore into a new database", "restore made.fdb");
}

void TestSharedDatabase::accountRefuses()
{
    QFETCH(QByteArray, statement);
    // Made by the first row; no row may change them.
    const QDir data(m_server.dataFolder());
    for (const char *name : {"rights.fdb", "other.fdb"}) {
        if (!data.exists(QLatin1String(name)))
            QVERIFY2(!m_server.createDatabase(QLatin1String(name)).isEmpty(), qPrintable(m_server.failure()));
    }
    const QString database = m_server.connectionString(data.filePath(QStringLiteral("rights.fdb")));
    const QString other = data.filePath(QStringLiteral("other.fdb"));
    const QByteArray otherBefore = dumpDatabase(m_server.connectionString(other), m_server.adminParams());
    // As whoever holds the account's password would try it: naming the
    // administrators' role, which it must not hold.
    const QList<QByteArray> account = builtInConnectionParams() << "sql_role_name=RDB$ADMIN";
    QCOMPARE(serviceLogin(account).password, m_server.accountPassword());

    const QString target = QDir(m_server.dataFolder()).filePath(QString::fromLatin1(statement.split(' ').value(1)));
    const QString manager = serviceTarget(database).manager;
    const QString backupFile = QDir(m_server.dataFolder()).filePath(QStringLiteral("taken.fbk"));
    if (statement.startsWith("backup ")) {
        QVERIFY_THROWS_EXCEPTION(ServiceError,
                                 backUpThroughService(manager, serviceLogin(account), target, backupFile));
        QVERIFY(!QFileInfo::exists(backupFile));
    } else if (statement.startsWith("restore ")) {
        // A backup the administrator made of the account's own database.
        const QString own = QDir(m_server.dataFolder()).filePath(QStringLiteral("own.fbk"));
        if (!QFileInfo::exists(own))
            backUpThroughService(manager, serviceLogin(m_server.adminParams()), serviceTarget(database).database, own);
        QVERIFY_THROWS_EXCEPTION(
            ServiceError,
            restoreThroughService(manager, serviceLogin(account), own, target, QFileInfo::exists(target)));
    } else {
        DbReader desk(database, account);
        QVERIFY_THROWS_EXCEPTION(DbError, desk.exec(statement));
    }
    QCOMPARE(dumpDatabase(m_server.connectionString(other), m_server.adminParams()), otherBefore);
    QVERIFY(!QFileInfo::exists(QDir(m_server.dataFolder()).filePath(QStringLiteral("made.fdb"))));
    // Still itself, with its rights: its password and its reads work.
    QCOMPARE(DbReader(database, account).value("select count(*) from users"), QByteArray("4"));
    QCOMPARE(DbReader(database, m_server.adminParams())
                 .value("select count(*) from rdb$triggers where rdb$relation_name = 'USERS'"),
             QByteArray("0"));
}

void TestSharedDatabase::grantOnFurtherDesks_data()
{
    // A desk's settings file before the tool's grant runs there: the first
    // desk's own, the shipped file with its comments, that file with the
    // first desk's line copied in, or with a line that is not the server's.
    QTest::addColumn<QString>("desk");
    QTest::addColumn<bool>("newPassword");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");
    // The desk's password afterwards: the first desk's, none, a new one, or
    // the wrong one it had.
    QTest::addColumn<QString>("kept");
    const QString ready = QStringLiteral("учётная запись программы готова на сервере");
    QTest::newRow("again on the first desk")
        << QStringLiteral("first") << false << 0 << ready << QStringLiteral("first");
    QTest::newRow("a further desk without the line")
        << QStringLiteral("shipped") << false << 1 << QStringLiteral("нет её пароля") << QStringLiteral("none");
    QTest::newRow("a further desk with the line copied")
        << QStringLiteral("copied") << false << 0 << ready << QStringLiteral("first");
    QTest::newRow("a further desk with a line not the server's")
        << QStringLiteral("wrong") << false << 1 << QStringLiteral("не принимает пароль") << QStringLiteral("wrong");
    QTest::newRow("a new password asked for")
        << QStringLiteral("shipped") << true << 0 << ready << QStringLiteral("new");
}

void TestSharedDatabase::grantOnFurtherDesks()
{
    QFETCH(QString, desk);
    QFETCH(bool, newPassword);
    QFETCH(int, exitCode);
    QFETCH(QString, says);
    QFETCH(QString, kept);
    const QString file = QDir(m_server.dataFolder()).filePath(QStringLiteral("desks.fdb"));
    if (!QFileInfo::exists(file))
        QVERIFY2(!m_server.createDatabase(QStringLiteral("desks.fdb")).isEmpty(), qPrintable(m_server.failure()));
    const QString database = m_server.connectionString(file);
    const QByteArray first = m_server.accountPassword();
    // Whoever ran before, the server knows the first desk's password again.
    const auto firstDesk = qScopeGuard([&] {
        DbReader(database, m_server.adminParams())
            .exec("alter user " + builtInUserName() + " password '" + first + "'");
    });

    QTemporaryDir folder;
    QString settings = folder.filePath(QStringLiteral("Vesko Mika.conf"));
    const QString shipped = QStringLiteral(EXAMPLES_DIR "/../packaging/vesko-mika.conf");
    if (desk == QLatin1String("first")) {
        settings = m_server.settingsFile();
    } else {
        QVERIFY(QFile::copy(shipped, settings));
        QFile::setPermissions(settings, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        QFile out(settings);
        QVERIFY(out.open(QIODevice::Append));
        if (desk == QLatin1String("copied"))
            out.write("account%20password=" + first + "\n");
        else if (desk == QLatin1String("wrong"))
            out.write("account%20password=notTheServers\n");
    }
    QStringList arguments{QStringLiteral("grant"),      database,
                          QStringLiteral("--password"), QString::fromLatin1(m_server.adminPassword()),
                          QStringLiteral("--settings"), settings};
    if (newPassword)
        arguments << QStringLiteral("--new-password");
    QByteArray output;
    QCOMPARE(runDbTool(arguments, &output), exitCode);
    QVERIFY2(QString::fromUtf8(output).contains(says), output.constData());

    const QByteArray now = accountPasswordIn(settings);
    const auto opens = [&](const QByteArray &password) {
        try {
            DbReader(database, {MakeUserParam(), "password=" + password, "lc_ctype=WIN1251"});
            return true;
        } catch (const DbError &) {
            return false;
        }
    };
    if (kept == QLatin1String("first"))
        QCOMPARE(now, first);
    else if (kept == QLatin1String("none"))
        QVERIFY(now.isEmpty());
    else if (kept == QLatin1String("wrong"))
        QCOMPARE(now, QByteArray("notTheServers"));
    // Only a new password asked for locks the other desks out.
    QCOMPARE(opens(first), kept != QLatin1String("new"));
    if (kept == QLatin1String("new")) {
        QVERIFY(now.size() >= 20 && now != first);
        QVERIFY(opens(now));
        // Written into the file without losing a comment, and no longer
        // readable by other users.
        QFile shippedFile(shipped);
        QVERIFY(shippedFile.open(QIODevice::ReadOnly));
        QFile written(settings);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray text = written.readAll();
        for (const QByteArray &line : shippedFile.readAll().split('\n'))
            QVERIFY2(text.contains(line), line.constData());
        QCOMPARE(QFileInfo(settings).permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ExeOther),
                 QFile::Permissions());
    }
}

void TestSharedDatabase::lockConflictChangesNothing_data()
{
    QTest::addColumn<Rows>("otherDesk");
    QTest::addColumn<Action>("action");
    QTest::addColumn<QByteArray>("check");
    QTest::addColumn<QByteArray>("unchanged");

    const QByteArray rowCounts
        = "select (select count(*) from catalog) || ' ' || (select count(*) from readers) || ' ' "
          "|| gen_id(nncatalog, 0) || ' ' || gen_id(nnreaders, 0) from rdb$database";
    QTest::newRow("two desks renew one account")
        << Rows{"update users set explogins = 5 where xuser = 'ivanova'"} << Action::RenewPassword
        << QByteArray("select explogins || ' ' || status from users where xuser = 'ivanova'")
        << QByteArray("6 включен");
    QTest::newRow("two desks delete one range") << Rows{"delete from barcodes where bs = 1001"} << Action::DeleteRange
                                                << QByteArray("select count(*) from barcodes") << QByteArray("3");
    QTest::newRow("wipe while another desk clears its readers")
        << Rows{"delete from readers"} << Action::Wipe << rowCounts << QByteArray("2 2 2 2");
    QTest::newRow("clearing while another desk clears the catalogue")
        << Rows{"delete from catalog"} << Action::ClearCatalogue << rowCounts << QByteArray("2 2 2 2");
}

void TestSharedDatabase::lockConflictChangesNothing()
{
    QFETCH(Rows, otherDesk);
    QFETCH(Action, action);
    QFETCH(QByteArray, check);
    QFETCH(QByteArray, unchanged);

    const QString file = m_db.freshFile();
    {
        DbReader setup(file);
        for (const char *table : {"catalog", "readers"}) {
            for (int i = 0; i < 2; ++i) {
                setup.exec(QByteArray("insert into ") + table + " (num) values (gen_id(nn" + table + ", 1))");
            }
        }
    }
    QCOMPARE(fromCp1251(DbReader(file).value(check)), QString::fromUtf8(unchanged));

    if (action != Action::RenewPassword) {
        signInTo(file, QStringLiteral("admin"), QStringLiteral("admin"));
        QVERIFY(m_form->PageControl1->isVisible());
    }
    OpenTransaction desk(file, otherDesk);
    switch (action) {
    case Action::RenewPassword:
        // An expired password, the renewal dismissed: one grace sign-in
        // is to be spent, on a row the other desk is changing.
        answerEveryQuestion(false, [&] { signInTo(file, QStringLiteral("ivanova"), QStringLiteral("kniga")); });
        break;
    case Action::DeleteRange:
        QVERIFY(m_form->IBQueryBC->locate("bs", "1001", 0));
        answerEveryQuestion(true, [&] { m_form->N1Click(); });
        break;
    case Action::Wipe:
        answerEveryQuestion(true, [&] { QTest::mouseClick(m_form->BitBtn1, Qt::LeftButton); });
        break;
    case Action::ClearCatalogue: {
        const QString data = m_files.filePath(QStringLiteral("one.csv"));
        QFile out(data);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("77;Автор;Книга\r\n");
        out.close();
        import(m_form->RadioCA, data, true);
        break;
    }
    }
    QVERIFY2(!m_errors.isEmpty(), "the conflict was not reported");
    QVERIFY2(m_errors.last().contains(QStringLiteral("другое рабочее место")), qPrintable(m_errors.last()));
    desk.rollback();
    QCOMPARE(fromCp1251(DbReader(file).value(check)), QString::fromUtf8(unchanged));
}

QString TestSharedDatabase::writeFile(const QByteArray &bytes)
{
    const QString path = m_files.filePath(QStringLiteral("import.csv"));
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString TestSharedDatabase::signedInOnTheServer(const QString &name)
{
    const QString database = m_server.createDatabase(name);
    if (database.isEmpty()) {
        QTest::qFail(qPrintable(m_server.failure()), __FILE__, __LINE__);
        return QString();
    }
    signInTo(database, QStringLiteral("admin"), QStringLiteral("admin"));
    if (!m_form->PageControl1->isVisible()) {
        QTest::qFail(qPrintable(m_errors.join(u'\n')), __FILE__, __LINE__);
        return QString();
    }
    return database;
}

void TestSharedDatabase::nextActionAfterARestartAttachesAgain_data()
{
    QTest::addColumn<NextAction>("action");
    QTest::newRow("the register's list") << NextAction::List;
    QTest::newRow("adding a range") << NextAction::AddRange;
    QTest::newRow("deleting a range") << NextAction::DeleteRange;
    QTest::newRow("the clearing's counts") << NextAction::ClearingCounts;
    QTest::newRow("a check") << NextAction::Check;
    QTest::newRow("an import") << NextAction::Import;
    QTest::newRow("signing out and in again") << NextAction::SignOutAndIn;
}

void TestSharedDatabase::nextActionAfterARestartAttachesAgain()
{
    QFETCH(NextAction, action);
    const QString database = signedInOnTheServer(QStringLiteral("restart%1.fdb").arg(int(action)));
    QVERIFY(!database.isEmpty());
    // Another desk's look, attached afresh each time.
    const auto value
        = [&](const QByteArray &select) { return DbReader(database, m_server.adminParams()).value(select); };
    m_form->PageControl1->setCurrentWidget(m_form->TabSheetIM);
    QVERIFY2(m_server.restart(), qPrintable(m_server.error()));

    // Once, whatever the action: nothing is done twice.
    int asked = 0;
    switch (action) {
    case NextAction::List:
        m_form->PageControl1->setCurrentWidget(m_form->TabSheetBC);
        QCOMPARE(m_form->IBQueryBC->recordCount(), 3);
        break;
    case NextAction::AddRange:
        m_form->PageControl1->setCurrentWidget(m_form->TabSheetBC);
        QVERIFY2(m_server.restart(), qPrintable(m_server.error()));
        m_form->EditS->setText(QStringLiteral("9000"));
        m_form->EditP->setText(QStringLiteral("9010"));
        QTest::mouseClick(m_form->BitBtnAdd, Qt::LeftButton);
        QCOMPARE(value("select count(*) from barcodes where bs = 9000"), QByteArray("1"));
        QCOMPARE(m_form->IBQueryBC->recordCount(), 4);
        break;
    case NextAction::DeleteRange: {
        m_form->PageControl1->setCurrentWidget(m_form->TabSheetBC);
        QVERIFY(m_form->IBQueryBC->locate("bs", "1001", 0));
        QVERIFY2(m_server.restart(), qPrintable(m_server.error()));
        ModalAnswerer answerer([](QWidget *dialog) {
            if (auto *ask = qobject_cast<TFormYesNo *>(dialog))
                QTest::mouseClick(ask->BitBtnDa, Qt::LeftButton);
        });
        m_form->N1Click();
        asked = answerer.count();
        QCOMPARE(asked, 1);
        QCOMPARE(value("select count(*) from barcodes"), QByteArray("2"));
        QCOMPARE(m_form->IBQueryBC->recordCount(), 2);
        break;
    }
    case NextAction::ClearingCounts:
        m_form->CheckCL->setChecked(true);
        QVERIFY2(m_form->LabelClearCounts->text().startsWith(QStringLiteral("будет удалено строк:\nкаталог 0")),
                 qPrintable(m_form->LabelClearCounts->text()));
        break;
    case NextAction::Check:
        m_form->EditF->setText(writeFile("77;A\r\n"));
        QTest::mouseClick(m_form->BitBtnCheck, Qt::LeftButton);
        QCOMPARE(m_form->LabelCC->text(), QStringLiteral("проверка завершена"));
        break;
    case NextAction::Import:
        import(m_form->RadioCA, writeFile("77;A\r\n78;B\r\n"));
        QCOMPARE(m_form->LabelCC->text(), QStringLiteral("операция завершена"));
        QCOMPARE(value("select count(*) from catalog"), QByteArray("2"));
        break;
    case NextAction::SignOutAndIn:
        QTest::mouseClick(m_form->BitBtnGO, Qt::LeftButton);
        QVERIFY(!m_form->IBDatabase1->connected());
        signInTo(database, QStringLiteral("admin"), QStringLiteral("admin"));
        QVERIFY(m_form->PageControl1->isVisible());
        break;
    }
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    QVERIFY(m_form->IBDatabase1->connected());
}

void TestSharedDatabase::serverDownSaidUnreachable()
{
    const QString database = signedInOnTheServer(QStringLiteral("down.fdb"));
    QVERIFY(!database.isEmpty());
    m_form->PageControl1->setCurrentWidget(m_form->TabSheetIM);
    m_server.stop();
    m_form->PageControl1->setCurrentWidget(m_form->TabSheetBC);
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors[0].startsWith(QStringLiteral("Связь с базой данных «%1» потеряна, и восстановить её не удалось: "
                                                   "сервер базы данных недоступен.")
                                        .arg(database)),
             qPrintable(m_errors[0]));
    // Still signed in: once the server is back, the next action works.
    QVERIFY(m_form->PageControl1->isVisible());
    QVERIFY2(m_server.restart(), qPrintable(m_server.error()));
    m_form->PageControl1->setCurrentWidget(m_form->TabSheetIM);
    m_form->PageControl1->setCurrentWidget(m_form->TabSheetBC);
    QCOMPARE(m_errors.size(), 1);
    QCOMPARE(m_form->IBQueryBC->recordCount(), 3);
}

void TestSharedDatabase::missingRightSaidInTheTabs_data()
{
    QTest::addColumn<QByteArray>("revoke");
    QTest::addColumn<bool>("import");
    // A database readied before the program used these rights: the sign-in
    // reads users alone.
    QTest::newRow("the register's list") << QByteArray("revoke select on barcodes from ") << false;
    QTest::newRow("an import") << QByteArray("revoke insert on readers from ") << true;
}

void TestSharedDatabase::missingRightSaidInTheTabs()
{
    QFETCH(QByteArray, revoke);
    QFETCH(bool, import);
    const QString file = m_db.freshFile();
    DbReader(file).exec(revoke + builtInUserName());
    // Signed in on the register's tab, which lists the ranges at once.
    signInTo(file, QStringLiteral("admin"), QStringLiteral("admin"));
    QVERIFY(m_form->PageControl1->isVisible());
    if (import) {
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
        m_form->PageControl1->setCurrentWidget(m_form->TabSheetIM);
        this->import(m_form->RadioKA, writeFile("5;a\r\n"));
    }
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors[0].startsWith(QStringLiteral("У учётной записи программы нет прав на базу данных «%1»: их даёт "
                                                   "администратор базы командой «utilities-db grant %1»")
                                        .arg(file)),
             qPrintable(m_errors[0]));
}

QTEST_MAIN(TestSharedDatabase)
#include "tst_shareddb.moc"
