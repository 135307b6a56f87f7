#include "fbserver.h"
#include "staffaccount.h"
#include "testdb.h"

#include "auth/autent.h"
#include "base/errors.h"
#include "base/platform.h"
#include "base/sqltext.h"
#include "base/text1251.h"
#include "db/dataset.h"
#include "base/platform.h"
#include "db/dbcreate.h"
#include "db/dberror.h"
#include "db/refusals.h"
#include "db/utilites.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QThread>

#include <functional>
#include <memory>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestDatabase : public QObject {
    Q_OBJECT

private slots:
    void init() { m_db.connectFresh(); }
    void cleanup() { m_db.disconnect(); }

    void twoExecAndCommitInARow();
    void insertSeenByNextOpenSelect();
    void openQueryKeepsItsSnapshot();
    void readsGetTheirOwnTransaction();
    void generatorNotUndoneByRollback();
    void clientErrorTextReachesCaller();
    void failedStatementKeepsEarlierCommits();
    void valuesStoredLiterally_data();
    void valuesStoredLiterally();
    void injectionThroughWhereTerm();
    void emptyValueStoresNull();
    void cyrillicByteForByte();
    void fieldConversions();
    void locateQuietlyRunsHandlersOnce();
    void transactionEndsWithDefaultAction_data();
    void transactionEndsWithDefaultAction();
    void closeEndsRunningReads();
    void toolCalls_data();
    void toolCalls();
    void lockFolderRecognised_data();
    void lockFolderRecognised();
    void tablesTakenAgainstOtherWriters_data();
    void tablesTakenAgainstOtherWriters();
    void lostConnectionAttachedAgainOnce_data();
    void lostConnectionAttachedAgainOnce();
    void uniqueSuffixGrows();
    void splitScript();

private:
    TestDb m_db;
    std::unique_ptr<FbServer> m_server;
};

// What another desk holds on catalog while a transaction asks for it.
enum class Holder { Nothing, SharedWrite, ProtectedWrite, UncommittedInsert, InsertCommittedMeanwhile };
// What that transaction does.
enum class Asker { SharedWrite, ProtectedWrite, Insert };
// Where a connection is lost in the work of the reattach table.
enum class Loss { BeforeTheWork, AfterACommit, ServerDown };
Q_DECLARE_METATYPE(Holder)
Q_DECLARE_METATYPE(Asker)
Q_DECLARE_METATYPE(Loss)
Q_DECLARE_METATYPE(Account)

void TestDatabase::twoExecAndCommitInARow()
{
    ExecAndCommit(*m_db.connection(), "insert into otdely (num, name) values (10, 'a')");
    ExecAndCommit(*m_db.connection(), "insert into otdely (num, name) values (11, 'b')");
    QCOMPARE(m_db.value("select count(*) from otdely where num >= 10"), QByteArray("2"));
}

void TestDatabase::insertSeenByNextOpenSelect()
{
    DbQuery query(*m_db.connection(), *m_db.connection()->defaultTransaction());
    SqlText = "select * from barcodes order by bs asc";
    OpenSelect(&query, '*');
    QCOMPARE(query.recordCount(), 3);
    ExecAndCommit(*m_db.connection(), "insert into barcodes (num,bs,bp,me) values(9,0,5,null)");
    OpenSelect(&query, '*');
    QCOMPARE(query.recordCount(), 4);
    QCOMPARE(query.field("num").asString(), QByteArray("9"));
    QVERIFY(query.field("me").isNull());
}

void TestDatabase::openQueryKeepsItsSnapshot()
{
    DbQuery query(*m_db.connection(), *m_db.connection()->defaultTransaction());
    SqlText = "select count(*) c from barcodes";
    OpenSelect(&query, '*');
    ExecAndCommit(*m_db.connection(), "delete from barcodes");
    QCOMPARE(query.field("c").asInteger(), 3);
    // 'n' keeps the running snapshot, any other letter starts afresh.
    OpenSelect(&query, 'n');
    QCOMPARE(query.field("c").asInteger(), 3);
    OpenSelect(&query, '*');
    QCOMPARE(query.field("c").asInteger(), 0);
}

void TestDatabase::readsGetTheirOwnTransaction()
{
    DbTransaction *shared = m_db.connection()->defaultTransaction();
    QCOMPARE(m_db.scratch()->transaction(), shared);
    SqlText = "select * from users";
    OpenScratchSelect(m_db.scratch());
    DbTransaction *own = m_db.scratch()->transaction();
    QVERIFY(own != shared);
    QVERIFY(own->objectName().startsWith(QLatin1String("TR")));
    QCOMPARE(own->defaultAction, DbTransaction::Action::CommitRetaining);
    QVERIFY(!shared->inTransaction());
    OpenScratchSelect(m_db.scratch());
    QCOMPARE(m_db.scratch()->transaction(), own);
}

void TestDatabase::generatorNotUndoneByRollback()
{
    const qint64 first = NextGeneratorValue(m_db.session(), "nnbarcodes").toLongLong();
    QCOMPARE(first, 4);
    m_db.scratch()->transaction()->rollback();
    const qint64 second = NextGeneratorValue(m_db.session(), "nnbarcodes").toLongLong();
    QCOMPARE(second, first + 1);
    QCOMPARE(m_db.value("select gen_id(nnbarcodes,0) from rdb$database"), QByteArray("5"));
}

void TestDatabase::clientErrorTextReachesCaller()
{
    try {
        ExecAndCommit(*m_db.connection(), "delete from no_such_table");
        QFAIL("no error");
    } catch (const DbError &e) {
        QVERIFY2(e.text().contains(QLatin1String("Table unknown")), qPrintable(e.text()));
        QVERIFY2(e.text().contains(QLatin1String("NO_SUCH_TABLE")), qPrintable(e.text()));
    }
    try {
        NextGeneratorValue(m_db.session(), "no_such_generator");
        QFAIL("no error");
    } catch (const DbError &e) {
        QVERIFY2(e.text().contains(QLatin1String("NO_SUCH_GENERATOR")), qPrintable(e.text()));
    }
}

void TestDatabase::failedStatementKeepsEarlierCommits()
{
    ExecAndCommit(*m_db.connection(), "insert into otdely (num, name) values (20, 'kept')");
    QVERIFY_THROWS_EXCEPTION(
        DbError, ExecAndCommit(*m_db.connection(), "insert into otdely (num, name) values (20, 'duplicate')"));
    ExecAndCommit(*m_db.connection(), "insert into otdely (num, name) values (21, 'after')");
    QCOMPARE(m_db.rows("select name from otdely where num >= 20 order by num"), (QList<QByteArray>{"kept", "after"}));
}

void TestDatabase::valuesStoredLiterally_data()
{
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<QByteArray>("stored");
    // A lone apostrophe is doubled; a pair is taken as already doubled, and
    // longer runs are completed to an even length.
    QTest::newRow("run of 1") << QByteArray("O'Neil") << QByteArray("O'Neil");
    QTest::newRow("run of 2") << QByteArray("O''Neil") << QByteArray("O'Neil");
    QTest::newRow("run of 3") << QByteArray("a'''b") << QByteArray("a''b");
    QTest::newRow("run of 4") << QByteArray("a''''b") << QByteArray("a''b");
    QTest::newRow("run of 5") << QByteArray("'''''") << QByteArray("'''");
    QTest::newRow("closing attempt") << QByteArray("x'); delete from users; --")
                                     << QByteArray("x'); delete from users; --");
    QTest::newRow("odd run injection") << QByteArray("x''', (select xmass from users)) --")
                                       << QByteArray("x'', (select xmass from users)) --");
}

void TestDatabase::valuesStoredLiterally()
{
    QFETCH(QByteArray, typed);
    QFETCH(QByteArray, stored);
    ExecAndCommit(*m_db.connection(), "insert into otdely (num, name) values(50," + SqlValue(typed, 's', ')'));
    QCOMPARE(m_db.value("select name from otdely where num = 50"), stored);
    QCOMPARE(m_db.value("select count(*) from users"), QByteArray("4"));
    SqlText = "select * from otdely where name " + WhereTerm(typed, '!', 's', ' ');
    OpenScratchSelect(m_db.scratch());
    QCOMPARE(m_db.scratch()->recordCount(), 1);
}

void TestDatabase::injectionThroughWhereTerm()
{
    SqlText = "select * from users where xuser " + WhereTerm("''' or 1=1 --", '!', 's', ' ');
    OpenScratchSelect(m_db.scratch());
    QCOMPARE(m_db.scratch()->recordCount(), 0);
    SqlText = "select * from users where xuser " + WhereTerm("x' or 'a'='a", '!', 's', ' ');
    OpenScratchSelect(m_db.scratch());
    QCOMPARE(m_db.scratch()->recordCount(), 0);
}

void TestDatabase::emptyValueStoresNull()
{
    ExecAndCommit(*m_db.connection(), "insert into barcodes (num,bs,bp,me) values(51,1,2," + SqlValue("", 's', ')'));
    QCOMPARE(m_db.value("select me from barcodes where num = 51"), QByteArray("<null>"));
    SqlText = "select * from barcodes where num = 51";
    OpenScratchSelect(m_db.scratch());
    QCOMPARE(m_db.scratch()->field("me").asString(), QByteArray());
}

void TestDatabase::cyrillicByteForByte()
{
    QByteArray all;
    for (int c = 0xC0; c <= 0xFF; ++c)
        all += char(c);
    all += "\xA8\xB8\xB9"; // Ё ё №
    ExecAndCommit(*m_db.connection(), "insert into otdely (num, name) values (30, " + SqlValue(all, 's', ')'));
    SqlText = "select name from otdely where num = 30";
    OpenScratchSelect(m_db.scratch());
    QCOMPARE(m_db.scratch()->field("NAME").asString(), all);
    QCOMPARE(fromCp1251(m_db.value("select name from otdely where num = 1")), QStringLiteral("Абонемент"));
}

void TestDatabase::fieldConversions()
{
    SqlText = "select num, xuser, expdate, expdays, cast(null as integer) n, cast(-12.5 as numeric(9,2)) money "
              "from users where xuser = 'ivanova'";
    OpenScratchSelect(m_db.scratch());
    DbQuery *q = m_db.scratch();
    QCOMPARE(q->field("num").asInteger(), 2);
    QCOMPARE(q->field("expdays").asString(), QByteArray("90"));
    QCOMPARE(toQDateTime(q->field("expdate").asDateTime()), QDateTime(QDate(2020, 1, 1), QTime(0, 0)));
    QVERIFY(q->field("n").isNull());
    QCOMPARE(q->field("n").asString(), QByteArray());
    QCOMPARE(q->field("n").asInteger(), 0);
    QCOMPARE(q->field("money").asString(), QByteArray("-12.50"));
    QVERIFY_THROWS_EXCEPTION(ConvertError, q->field("xuser").asInteger());
    QVERIFY_THROWS_EXCEPTION(DbError, q->field("nonexistent"));
}

void TestDatabase::locateQuietlyRunsHandlersOnce()
{
    DbQuery query(*m_db.connection(), *m_db.connection()->defaultTransaction());
    SqlText = "select * from barcodes order by bs asc";
    OpenSelect(&query, '*');
    QList<QByteArray> seen;
    int calcs = 0;
    query.afterScroll = [&](DbQuery *q) { seen.append(q->field("num").asString()); };
    query.onCalcFields = [&](DbQuery *) { ++calcs; };

    QVERIFY(LocateQuietly(&query, "num", "3", 0));
    QCOMPARE(seen, QList<QByteArray>{"3"});
    QCOMPARE(calcs, 1);

    QVERIFY(!LocateQuietly(&query, "num", "77", 0));
    QCOMPARE(seen, (QList<QByteArray>{"3", "3"}));
    QCOMPARE(calcs, 2);
    QVERIFY(query.afterScroll);
    QVERIFY(query.onCalcFields);
}

void TestDatabase::transactionEndsWithDefaultAction_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<QByteArray>("count");
    QTest::newRow("commit") << int(DbTransaction::Action::Commit) << QByteArray("1");
    QTest::newRow("commit retaining") << int(DbTransaction::Action::CommitRetaining) << QByteArray("1");
    QTest::newRow("rollback") << int(DbTransaction::Action::Rollback) << QByteArray("0");
}

void TestDatabase::transactionEndsWithDefaultAction()
{
    QFETCH(int, action);
    QFETCH(QByteArray, count);
    {
        DbTransaction transaction(*m_db.connection(), DbTransaction::Action(action));
        DbQuery(*m_db.connection(), transaction, "insert into otdely (num, name) values (40, 'x')").execSql();
        QVERIFY(transaction.inTransaction());
    }
    QCOMPARE(m_db.value("select count(*) from otdely where num = 40"), count);
}

void TestDatabase::closeEndsRunningReads()
{
    SqlText = "select * from users";
    OpenScratchSelect(m_db.scratch());
    QVERIFY(m_db.scratch()->transaction()->inTransaction());
    m_db.connection()->close();
    QVERIFY(!m_db.connection()->connected());
    QVERIFY(!m_db.scratch()->transaction()->inTransaction());
    QVERIFY(!m_db.scratch()->active());
    // The same objects work again after reconnecting.
    m_db.connection()->open();
    OpenScratchSelect(m_db.scratch());
    QCOMPARE(m_db.scratch()->recordCount(), 4);
}

void TestDatabase::toolCalls_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<int>("status");
    // What it says, on standard error for a refusal, else on standard output.
    QTest::addColumn<QString>("says");
    // The database the call made in its folder, and its users as the
    // program's account reads them; none for a call that makes nothing.
    QTest::addColumn<QString>("made");
    QTest::addColumn<QByteArray>("users");
    QTest::addColumn<Account>("account");

    const QString file = QStringLiteral("library.fdb");
    const auto refused = [&](const char *name, const QStringList &arguments, const QString &says) {
        QTest::newRow(name) << arguments << QStringList() << 2 << says << QString() << QByteArray() << Account::Own;
    };
    refused("no arguments", {}, QStringLiteral("не указана команда"));
    refused("grant alone", {QStringLiteral("grant")}, QStringLiteral("grant: не указан аргумент БАЗА"));
    refused("restore with one argument", {QStringLiteral("restore"), QStringLiteral("copy.fbk")},
            QStringLiteral("restore: не указан аргумент НОВАЯ_БАЗА"));
    refused("import without its database",
            {QStringLiteral("import"), QStringLiteral("catalog"), QStringLiteral("export.csv")},
            QStringLiteral("import: не указан аргумент БАЗА"));
    refused("import in an unknown mode",
            {QStringLiteral("import"), QStringLiteral("books"), QStringLiteral("export.csv"), file},
            QStringLiteral("import: режим — catalog или readers, а не «books»"));
    refused("symbology with an unknown name", {QStringLiteral("symbology"), file, QStringLiteral("ean13")},
            QStringLiteral("symbology: символика — одна из code39, code39mod43, code128, codabar, а не «ean13»"));
    refused("symbology without its name", {QStringLiteral("symbology"), file},
            QStringLiteral("symbology: не указан аргумент СИМВОЛИКА"));
    refused("mistyped command", {QStringLiteral("grnat"), file}, QStringLiteral("неизвестная команда «grnat»"));
    refused("import from line 0",
            {QStringLiteral("import"), QStringLiteral("catalog"), QStringLiteral("export.csv"), file,
             QStringLiteral("--from-line=0")},
            QStringLiteral("import: --from-line ждёт номер строки от 1, а не «0»"));
    // Going on from a line after clearing would lose what the stopped run stored.
    refused("import from a line, clearing first",
            {QStringLiteral("import"), QStringLiteral("catalog"), QStringLiteral("export.csv"), file,
             QStringLiteral("--clear"), QStringLiteral("--from-line=2")},
            QStringLiteral("--clear удалил бы то, что он сохранил"));
    refused("a bare word", {file}, QStringLiteral("неизвестная команда «library.fdb»"));
    refused("unknown option", {QStringLiteral("create"), file, QStringLiteral("--demmo")},
            QStringLiteral("неизвестный параметр «--demmo»"));
    refused("option of another command", {QStringLiteral("grant"), file, QStringLiteral("--demo")},
            QStringLiteral("grant: параметр --demo к этой команде не относится"));
    refused("extra argument", {QStringLiteral("create"), file, QStringLiteral("b.fdb")},
            QStringLiteral("create: лишний аргумент «b.fdb»"));
    refused("empty argument", {QStringLiteral("grant"), QString()}, QStringLiteral("grant: не указан аргумент БАЗА"));
    refused("option without its value", {QStringLiteral("create"), file, QStringLiteral("--schema")},
            QStringLiteral("у параметра «--schema» не указано значение"));
    refused("the demo shorthand without a file", {QStringLiteral("--demo")},
            QStringLiteral("--demo: не указан аргумент ФАЙЛ"));

    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << QStringList() << 0
                          << QStringLiteral("utilities-db import catalog|readers ФАЙЛ БАЗА") << QString()
                          << QByteArray() << Account::Own;
    QTest::newRow("create") << QStringList{QStringLiteral("create"), file} << QStringList() << 0
                            << QStringLiteral("создана база данных «WORK/library.fdb»") << file << QByteArray("0")
                            << Account::Own;
    QTest::newRow("the demo shorthand") << QStringList{QStringLiteral("--demo"), file} << QStringList() << 0
                                        << QStringLiteral("создана база данных") << file << QByteArray("4")
                                        << Account::Own;
    // The file is made for SYSDBA, and granted as its owner.
    QTest::newRow("create whoever ISC_USER names")
        << QStringList{QStringLiteral("create"), file, QStringLiteral("--demo")}
        << QStringList{QStringLiteral("ISC_USER=CLERK")} << 0 << QStringLiteral("создана база данных") << file
        << QByteArray("4") << Account::Own;
    QTest::newRow("over an existing file")
        << QStringList{QStringLiteral("create"), QStringLiteral("EXISTING")} << QStringList() << 1
        << QStringLiteral("уже есть; чтобы заменить, добавьте --force") << QString() << QByteArray() << Account::Own;
    QTest::newRow("into a missing folder")
        << QStringList{QStringLiteral("create"), QStringLiteral("no/library.fdb")} << QStringList() << 1
        << QStringLiteral("нет папки для «WORK/no/library.fdb»") << QString() << QByteArray() << Account::Own;

    // An ordinary account in the engine's group works as root does; one
    // outside it is told which group and how to join, and nothing is made.
    QTest::newRow("create as staff") << QStringList{QStringLiteral("create"), file, QStringLiteral("--demo")}
                                     << QStringList() << 0 << QStringLiteral("создана база данных") << file
                                     << QByteArray("4") << Account::Staff;
    const QString notInGroup
        = QStringLiteral("учётной записи «nobody»: его папка блокировок «/tmp/firebird» открыта "
                         "только группе firebird, а эта учётная запись в неё не входит. "
                         "Администратор добавляет её в группу командой «sudo adduser nobody "
                         "firebird»; после этого выйдите из сеанса рабочего стола и войдите снова");
    const auto outsider = [&](const char *name, const QStringList &arguments, const QString &says) {
        QTest::newRow(name) << arguments << QStringList() << 1 << says << QString() << QByteArray()
                            << Account::Outsider;
    };
    outsider("create outside the firebird group", {QStringLiteral("create"), file},
             QStringLiteral("не удалось создать базу данных «WORK/library.fdb»:\n\nВстроенный сервер базы данных не "
                            "может работать от имени ")
                 + notInGroup);
    outsider("grant outside the firebird group", {QStringLiteral("grant"), QStringLiteral("EXISTING")}, notInGroup);
    outsider(
        "import outside the firebird group",
        {QStringLiteral("import"), QStringLiteral("readers"), QStringLiteral("export.csv"), QStringLiteral("EXISTING")},
        notInGroup);
    // Any file the account may read gets as far as the engine; nothing was
    // made, so nothing is said to be deleted.
    outsider("restore outside the firebird group",
             {QStringLiteral("restore"), QStringLiteral(EXAMPLES_DIR "/catalog.csv"), file},
             QStringLiteral("в «WORK/library.fdb»; служба восстановления сообщила:\n\nВстроенный сервер базы данных "
                            "не может работать от имени ")
                 + notInGroup);
}

void TestDatabase::toolCalls()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(int, status);
    QFETCH(QString, says);
    QFETCH(QString, made);
    QFETCH(QByteArray, users);
    QFETCH(Account, account);
    m_db.disconnect();
    const QByteArray before = DbReader(m_db.path()).value("select count(*) from users");

    const OrdinaryAccounts accounts;
    if (account != Account::Own && !accounts.missing().isEmpty())
        QSKIP(qPrintable(accounts.missing()));
    QTemporaryDir work;
    QVERIFY(account == Account::Own || accounts.give(work.path()));
    arguments.replaceInStrings(QStringLiteral("EXISTING"), m_db.path());
    QProcess tool;
    tool.setWorkingDirectory(work.path());
    QProcessEnvironment env = accounts.environment(account);
    for (const QString &pair : environment)
        env.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    tool.setProcessEnvironment(env);
    const QStringList command = accounts.command(account, QStringLiteral(DBTOOL_PATH), arguments);
    tool.start(command.first(), command.mid(1));
    QVERIFY(tool.waitForFinished(60000));
    const QString out = QString::fromUtf8(tool.readAllStandardOutput());
    const QString err = QString::fromUtf8(tool.readAllStandardError());
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QVERIFY2(tool.exitCode() == status, qPrintable(out + err));

    says.replace(QStringLiteral("WORK"), work.path());
    QVERIFY2((status == 0 ? out : err).contains(says), qPrintable(out + err));
    // A wrong call names the fault, then the usage; nothing else.
    QCOMPARE(err.contains(QStringLiteral("Использование:")), status == 2);
    if (status == 2)
        QVERIFY2(out.isEmpty(), qPrintable(out));
    QCOMPARE(QDir(work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             made.isEmpty() ? QStringList() : QStringList{made});
    if (!made.isEmpty()) {
        QCOMPARE(DbReader(work.filePath(made), builtInConnectionParams()).value("select count(*) from users"), users);
        // The maker's, and its group's to share, as the engine makes it.
        struct stat file {};
        QCOMPARE(::stat(QFile::encodeName(work.filePath(made)).constData(), &file), 0);
        QCOMPARE(file.st_uid, account == Account::Own ? ::geteuid() : accounts.uid());
        QCOMPARE(file.st_mode & 07777, mode_t(0660));
    }
    QCOMPARE(DbReader(m_db.path()).value("select count(*) from users"), before);
}

void TestDatabase::lockFolderRecognised_data()
{
    QTest::addColumn<QList<qint64>>("codes");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QList<int>>("systemErrors");
    QTest::addColumn<QString>("lockFolder"); // FIREBIRD_LOCK; empty: unset
    QTest::addColumn<bool>("recognised");

    // The engine's codes: an operating system request failed, and the
    // path it was about.
    const qint64 sysRequest = 335544373;
    const qint64 random = 335544382;
    const QStringList access{QStringLiteral("access"), QStringLiteral("/tmp/firebird/")};
    QTest::newRow("the lock folder closed")
        << QList<qint64>{sysRequest, random} << access << QList<int>{EACCES} << QString() << true;
    QTest::newRow("a file in the lock folder")
        << QList<qint64>{sysRequest, random}
        << QStringList{QStringLiteral("open"), QStringLiteral("/tmp/firebird/fb_init")} << QList<int>{EACCES}
        << QString() << true;
    QTest::newRow("the lock folder named by FIREBIRD_LOCK")
        << QList<qint64>{sysRequest, random} << QStringList{QStringLiteral("access"), QStringLiteral("/run/fb/")}
        << QList<int>{EACCES} << QStringLiteral("/run/fb") << true;
    QTest::newRow("the default folder while FIREBIRD_LOCK names another")
        << QList<qint64>{sysRequest, random} << access << QList<int>{EACCES} << QStringLiteral("/run/fb") << false;
    QTest::newRow("a folder named like the lock folder")
        << QList<qint64>{sysRequest, random} << QStringList{QStringLiteral("access"), QStringLiteral("/tmp/firebird2/")}
        << QList<int>{EACCES} << QString() << false;
    QTest::newRow("another folder closed")
        << QList<qint64>{sysRequest, random} << QStringList{QStringLiteral("open"), QStringLiteral("/srv/library/")}
        << QList<int>{EACCES} << QString() << false;
    QTest::newRow("the lock folder not a folder")
        << QList<qint64>{sysRequest, random} << access << QList<int>{ENOTDIR} << QString() << false;
    QTest::newRow("no operating system request")
        << QList<qint64>{random} << access << QList<int>{EACCES} << QString() << false;
}

void TestDatabase::lockFolderRecognised()
{
    QFETCH(QList<qint64>, codes);
    QFETCH(QStringList, arguments);
    QFETCH(QList<int>, systemErrors);
    QFETCH(QString, lockFolder);
    QFETCH(bool, recognised);
    const QByteArray before = qgetenv("FIREBIRD_LOCK");
    const bool wasSet = qEnvironmentVariableIsSet("FIREBIRD_LOCK");
    const auto restore = qScopeGuard([&] {
        if (wasSet)
            qputenv("FIREBIRD_LOCK", before);
        else
            qunsetenv("FIREBIRD_LOCK");
    });
    if (lockFolder.isEmpty())
        qunsetenv("FIREBIRD_LOCK");
    else
        qputenv("FIREBIRD_LOCK", QFile::encodeName(lockFolder));
    const DbError error(QStringLiteral("operating system directive access failed"), codes, arguments, systemErrors);
    QCOMPARE(error.cause() == DbError::Cause::LockFolder, recognised);
    // Said before the engine's words wherever it is explained.
    QCOMPARE(explained(error, QStringLiteral("library.fdb")).text().startsWith(lockFolderSentence()), recognised);
}

void TestDatabase::tablesTakenAgainstOtherWriters_data()
{
    QTest::addColumn<Holder>("holder");
    QTest::addColumn<Asker>("asker");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QByteArray>("seen");

    // The way an import holds its tables for its whole run: any number of
    // them side by side, and beside any desk's own writing.
    QTest::newRow("shared beside shared") << Holder::SharedWrite << Asker::SharedWrite << false << QByteArray("2");
    QTest::newRow("insert beside shared") << Holder::SharedWrite << Asker::Insert << false << QByteArray();
    // A clear or a wipe against an import, and against a desk that writes
    // without taking anything beforehand, between its commits too.
    QTest::newRow("protected beside shared") << Holder::SharedWrite << Asker::ProtectedWrite << true << QByteArray();
    QTest::newRow("protected beside an uncommitted insert")
        << Holder::UncommittedInsert << Asker::ProtectedWrite << true << QByteArray();
    QTest::newRow("shared beside an uncommitted insert")
        << Holder::UncommittedInsert << Asker::SharedWrite << false << QByteArray("2");
    QTest::newRow("protected waits for a commit and reads its row")
        << Holder::InsertCommittedMeanwhile << Asker::ProtectedWrite << false << QByteArray("3");
    QTest::newRow("protected when nobody writes")
        << Holder::Nothing << Asker::ProtectedWrite << false << QByteArray("2");
    // An import, or any desk, while a clear or a wipe runs.
    QTest::newRow("insert beside protected") << Holder::ProtectedWrite << Asker::Insert << true << QByteArray();
    QTest::newRow("shared beside protected") << Holder::ProtectedWrite << Asker::SharedWrite << true << QByteArray();
}

void TestDatabase::tablesTakenAgainstOtherWriters()
{
    QFETCH(Holder, holder);
    QFETCH(Asker, asker);
    QFETCH(bool, refused);
    QFETCH(QByteArray, seen);

    constexpr int kWait = 1;
    m_db.disconnect();
    const QString file = m_db.freshFile();
    DbReader(file).exec("insert into catalog (num) values (1)");
    DbReader(file).exec("insert into catalog (num) values (2)");

    DbConnection other;
    other.params = adminParams();
    other.databaseName = file;
    other.open();
    DbTransaction held(other);
    const auto insert = [](DbConnection *connection, DbTransaction *transaction, const QByteArray &num) {
        DbQuery(*connection, *transaction, "insert into catalog (num) values (" + num + ")").execSql();
    };
    std::unique_ptr<QThread> committer;
    switch (holder) {
    case Holder::Nothing:
        break;
    case Holder::SharedWrite:
    case Holder::ProtectedWrite:
        held.startReserving({"CATALOG"},
                            holder == Holder::SharedWrite ? TableLock::SharedWrite : TableLock::ProtectedWrite, kWait);
        break;
    case Holder::UncommittedInsert:
    case Holder::InsertCommittedMeanwhile:
        held.start();
        insert(&other, &held, "3");
        if (holder == Holder::InsertCommittedMeanwhile) {
            committer.reset(QThread::create([&] {
                QThread::msleep(300);
                held.commit();
            }));
            committer->start();
        }
        break;
    }

    // The program's own account on its own attachment.
    DbConnection desk;
    desk.params = builtInConnectionParams();
    desk.databaseName = file;
    desk.open();
    DbTransaction asking(desk);
    QElapsedTimer waited;
    waited.start();
    std::optional<DbError> error;
    try {
        if (asker == Asker::Insert) {
            asking.start();
            insert(&desk, &asking, "4");
        } else {
            asking.startReserving({"CATALOG"},
                                  asker == Asker::SharedWrite ? TableLock::SharedWrite : TableLock::ProtectedWrite,
                                  kWait + 1);
        }
    } catch (const DbError &e) {
        error = e;
    }
    if (committer)
        committer->wait();
    QCOMPARE(error.has_value(), refused);
    if (refused) {
        QCOMPARE(error->cause(), DbError::Cause::Busy);
        // A reservation waits its time out (the engine counts it in whole
        // seconds); an insert without one asks without waiting.
        if (asker != Asker::Insert)
            QVERIFY2(waited.elapsed() >= 1000 * kWait, qPrintable(QString::number(waited.elapsed())));
        else
            QVERIFY2(waited.elapsed() < 1000 * kWait, qPrintable(QString::number(waited.elapsed())));
        return;
    }
    if (!seen.isEmpty()) {
        // Read committed: every row committed before the start is seen.
        DbQuery count(desk, asking, "select count(*) from catalog");
        count.open();
        QCOMPARE(count.fieldAt(0, 0).asString(), seen);
    }
}

void TestDatabase::lostConnectionAttachedAgainOnce_data()
{
    QTest::addColumn<Loss>("loss");
    QTest::addColumn<int>("runs");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QByteArray>("stored");

    QTest::newRow("server restarted before the work: attached again, run again")
        << Loss::BeforeTheWork << 2 << QString() << QByteArray("1");
    QTest::newRow("lost after a commit: said, never run twice")
        << Loss::AfterACommit << 1 << QStringLiteral("потеряна: сервер базы данных остановлен или перезапущен")
        << QByteArray("1");
    QTest::newRow("server down: unreachable, attached again at the next work")
        << Loss::ServerDown << 1 << QStringLiteral("восстановить её не удалось: сервер базы данных недоступен")
        << QByteArray("0");
}

void TestDatabase::lostConnectionAttachedAgainOnce()
{
    QFETCH(Loss, loss);
    QFETCH(int, runs);
    QFETCH(QString, said);
    QFETCH(QByteArray, stored);

    if (!m_server) {
        m_server = std::make_unique<FbServer>();
        // The program's account signs in with the password its grant kept.
        platform::systemSettingsFolder = [this] { return m_server->settingsFolder(); };
    }
    QVERIFY2(m_server->running(), qPrintable(m_server->error()));
    const QString database = m_server->createDatabase(QStringLiteral("lost%1.fdb").arg(int(loss)), false);
    QVERIFY2(!database.isEmpty(), qPrintable(m_server->failure()));
    m_db.disconnect();
    DbConnection connection;
    connection.params = builtInConnectionParams();
    connection.databaseName = database;
    connection.open();

    if (loss == Loss::BeforeTheWork)
        QVERIFY2(m_server->restart(), qPrintable(m_server->error()));
    if (loss == Loss::ServerDown)
        m_server->stop();
    int ran = 0;
    QString error;
    try {
        runReattaching(&connection, [&] {
            ++ran;
            ExecAndCommit(connection, "insert into barcodes (num, bs, bp) values (gen_id(nnbarcodes, 1), 1, 2)");
            if (loss == Loss::AfterACommit && ran == 1) {
                QVERIFY(m_server->restart());
                selectValue(&connection, "select count(*) from barcodes");
            }
        });
    } catch (const DbError &e) {
        error = e.text();
    }
    if (loss == Loss::ServerDown) {
        QVERIFY(connection.lost());
        QVERIFY2(m_server->restart(), qPrintable(m_server->error()));
    }
    QCOMPARE(ran, runs);
    if (said.isEmpty())
        QVERIFY2(error.isEmpty(), qPrintable(error));
    else
        QVERIFY2(error.contains(said) && error.contains(database), qPrintable(error));
    QCOMPARE(DbReader(database, m_server->adminParams()).value("select count(*) from barcodes"), stored);

    // The next work finds the connection sound, or sound again.
    QByteArray count;
    runReattaching(&connection, [&] { count = selectValue(&connection, "select count(*) from barcodes"); });
    QCOMPARE(count, stored);
}

void TestDatabase::uniqueSuffixGrows()
{
    const auto saved = platform::now;
    platform::now = [] { return QDateTime(QDate(2026, 12, 8), QTime(10, 0)); };
    const QByteArray fixed = UniqueSuffix();
    platform::now = saved;
    // Days from 1 January of year 1 (day 1) to 8 December 2026, in ms, plus 10 hours.
    const qint64 day = QDate(1, 1, 1).daysTo(QDate(2026, 12, 8)) + 1;
    QCOMPARE(fixed, QByteArray::number(day * 86400000LL + 36000000LL));
    QCOMPARE(fixed.size(), 14);
    QVERIFY(UniqueSuffix().toLongLong() < UniqueSuffix().toLongLong());
}

void TestDatabase::splitScript()
{
    const QList<QByteArray> statements = splitSqlScript("-- a; comment\ncreate table t (a int);\n"
                                                        "insert into t values ('x;y');\n  ;\nselect 1 from t");
    QCOMPARE(statements,
             (QList<QByteArray>{"create table t (a int)", "insert into t values ('x;y')", "select 1 from t"}));
}

QTEST_MAIN(TestDatabase)
#include "tst_database.moc"
