#include "dbdump.h"
#include "fbserver.h"
#include "testdb.h"

#include "auth/autent.h"
#include "db/dataset.h"
#include "db/fbservice.h"
#include "db/platform.h"
#include "db/settings.h"
#include "import/backup.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kDatabase = QStringLiteral("vesko.mika.baza");
const QDateTime kStart(QDate(2024, 5, 20), QTime(14, 0));

// The program's own backup of kDatabase, so many minutes after kStart.
QString own(int minutes, const QString &database = kDatabase)
{
    return backupFileName(database, kStart.addSecs(minutes * 60));
}

QStringList ownRange(int first, int last)
{
    QStringList names;
    for (int i = first; i <= last; ++i)
        names.append(own(i));
    return names;
}

QStringList listing(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

} // namespace

class TestBackup : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void backupNames_data();
    void backupNames();
    void retention_data();
    void retention();
    void backupsKeptSetting_data();
    void backupsKeptSetting();
    void serviceTargets_data();
    void serviceTargets();
    void accountUsesItsRoleOnlyForBackups();
    void backupKeepsTheNewestOfItsOwn();
    void restoreByTheTool_data();
    void restoreByTheTool();
    void backupThroughThePrivateServer();

private:
    void setSetting(const QString &key, const QString &value);
    // A fresh file with rows in every table, and the program's connection
    // to it.
    QString filledFile();
    std::unique_ptr<DbConnection> programConnection(const QString &database);

    TestDb m_db;
    QTemporaryDir m_settings;
    QTemporaryDir m_files;
    QString m_backup;
    QByteArray m_filledDump;
};

void TestBackup::initTestCase()
{
    platform::registryFolder = [this] { return m_settings.filePath(QStringLiteral("user")); };
    platform::systemSettingsFolder = [this] { return m_settings.filePath(QStringLiteral("system")); };

    // One backup of a full database for the restore table.
    const QString file = filledFile();
    m_filledDump = dumpDatabase(file);
    const auto connection = programConnection(file);
    m_backup = backUpDatabase(connection.get()).file;
    QVERIFY(QFileInfo(m_backup).isFile());
}

void TestBackup::init()
{
    QFile::remove(userSettingsFile());
    platform::now = [] { return QDateTime::currentDateTime(); };
}

void TestBackup::setSetting(const QString &key, const QString &value)
{
    QDir().mkpath(QFileInfo(userSettingsFile()).path());
    QSettings store(userSettingsFile(), QSettings::IniFormat);
    store.setValue(key, value);
}

QString TestBackup::filledFile()
{
    const QString file = m_db.freshFile();
    DbReader reader(file);
    fillEveryTable(reader);
    return file;
}

std::unique_ptr<DbConnection> TestBackup::programConnection(const QString &database)
{
    auto connection = std::make_unique<DbConnection>();
    connection->params = builtInConnectionParams();
    connection->databaseName = database;
    connection->open();
    return connection;
}

void TestBackup::backupNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("database");
    QTest::addColumn<bool>("recognised");
    const QString made = own(0);
    QTest::newRow("one the program made") << made << kDatabase << true;
    QTest::newRow("another database's") << own(0, QStringLiteral("library.fdb")) << kDatabase << false;
    QTest::newRow("a database named after this one")
        << own(0, kDatabase + QStringLiteral(".old")) << kDatabase << false;
    QTest::newRow("signs of a pattern in the name")
        << own(0, QStringLiteral("lib+(1).fdb")) << QStringLiteral("lib+(1).fdb") << true;
    QTest::newRow("those signs taken literally")
        << own(0, QStringLiteral("libb1.fdb")) << QStringLiteral("lib+(1).fdb") << false;
    QTest::newRow("without milliseconds")
        << kDatabase + QStringLiteral(".2024-05-20_14-00-00.vesko-mika-backup.fbk") << kDatabase << false;
    QTest::newRow("a day that does not exist")
        << kDatabase + QStringLiteral(".2024-02-30_14-00-00-000.vesko-mika-backup.fbk") << kDatabase << false;
    QTest::newRow("a copy with a suffix") << made + QStringLiteral(".bak") << kDatabase << false;
    QTest::newRow("in capitals") << made.toUpper() << kDatabase << false;
    QTest::newRow("someone else's backup") << kDatabase + QStringLiteral(".fbk") << kDatabase << false;
    QTest::newRow("the database itself") << kDatabase << kDatabase << false;
}

void TestBackup::backupNames()
{
    QFETCH(QString, name);
    QFETCH(QString, database);
    QFETCH(bool, recognised);
    const QDateTime time = programBackupTime(name, database);
    QCOMPARE(time.isValid(), recognised);
    if (recognised)
        QCOMPARE(time, kStart);
}

void TestBackup::retention_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("kept");
    QTest::addColumn<QStringList>("removed");
    QTest::newRow("fewer than kept") << ownRange(1, 3) << 5 << QStringList();
    QTest::newRow("the oldest beyond five") << ownRange(1, 7) << 5 << QStringList{own(1), own(2)};
    QTest::newRow("one kept") << ownRange(1, 3) << 1 << QStringList{own(1), own(2)};
    QTest::newRow("below one keeps one") << ownRange(1, 3) << 0 << QStringList{own(1), own(2)};
    QTest::newRow("by the time in the name across a year")
        << QStringList{backupFileName(kDatabase, QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59, 999))),
                       backupFileName(kDatabase, QDateTime(QDate(2024, 1, 1), QTime(0, 0))),
                       backupFileName(kDatabase, QDateTime(QDate(2024, 1, 1), QTime(0, 0, 0, 1)))}
        << 2 << QStringList{backupFileName(kDatabase, QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59, 999)))};
    QTest::newRow("another database's are not counted")
        << ownRange(1, 5) + QStringList{own(0, QStringLiteral("library.fdb")), own(9, QStringLiteral("library.fdb"))}
        << 5 << QStringList();
    // Older than every backup of the program, yet none of them is its own.
    QTest::newRow("nothing else goes") << ownRange(1, 6)
            + QStringList{kDatabase,
                          kDatabase + QStringLiteral(".fbk"),
                          own(-9, QStringLiteral("library.fdb")),
                          kDatabase + QStringLiteral(".2024-05-20_13-00-00.vesko-mika-backup.fbk"),
                          own(-8) + QStringLiteral(".part"),
                          QStringLiteral("notes.txt"),
                          QStringLiteral("dir:") + own(-7),
                          QStringLiteral("link:") + own(-6)}
                                       << 5 << QStringList{own(1)};
}

void TestBackup::retention()
{
    QFETCH(QStringList, files);
    QFETCH(int, kept);
    QFETCH(QStringList, removed);
    QTemporaryDir folder;
    QTemporaryDir elsewhere;
    QStringList names;
    for (const QString &entry : files) {
        const QString name = entry.section(u':', -1);
        const QString path = folder.filePath(name);
        if (entry.startsWith(QLatin1String("dir:"))) {
            QVERIFY(QDir().mkdir(path));
        } else if (entry.startsWith(QLatin1String("link:"))) {
            const QString target = elsewhere.filePath(QStringLiteral("kept.fbk"));
            QFile(target).open(QIODevice::WriteOnly);
            QVERIFY(QFile::link(target, path));
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("backup");
        }
        names.append(name);
    }

    QStringList gone = pruneBackups(folder.path(), kDatabase, kept);
    gone.sort();
    removed.sort();
    QCOMPARE(gone, removed);
    for (const QString &name : removed)
        names.removeOne(name);
    names.sort();
    QCOMPARE(listing(folder.path()), names);
}

void TestBackup::backupsKeptSetting_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("kept");
    QTest::newRow("not set") << QString() << 5;
    QTest::newRow("three") << QStringLiteral("3") << 3;
    QTest::newRow("with blanks") << QStringLiteral(" 12 ") << 12;
    QTest::newRow("zero") << QStringLiteral("0") << 1;
    QTest::newRow("negative") << QStringLiteral("-2") << 1;
    QTest::newRow("not a number") << QStringLiteral("many") << 5;
}

void TestBackup::backupsKeptSetting()
{
    QFETCH(QString, value);
    QFETCH(int, kept);
    if (!value.isNull())
        setSetting(QStringLiteral("backups kept"), value);
    QCOMPARE(backupsKept(), kept);
}

void TestBackup::serviceTargets_data()
{
    QTest::addColumn<QString>("connection");
    QTest::addColumn<QString>("manager");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("host");
    QTest::newRow("file") << QStringLiteral("/srv/library/library.fdb") << QStringLiteral("service_mgr")
                          << QStringLiteral("/srv/library/library.fdb") << QString();
    QTest::newRow("file in the working folder")
        << QStringLiteral("library.fdb") << QStringLiteral("service_mgr")
        << QDir::current().absoluteFilePath(QStringLiteral("library.fdb")) << QString();
    QTest::newRow("host:path") << QStringLiteral("biblio:/var/lib/firebird/3.0/data/library.fdb")
                               << QStringLiteral("biblio:service_mgr")
                               << QStringLiteral("/var/lib/firebird/3.0/data/library.fdb") << QStringLiteral("biblio");
    QTest::newRow("host/port:path") << QStringLiteral("biblio/3051:/data/library.fdb")
                                    << QStringLiteral("biblio/3051:service_mgr") << QStringLiteral("/data/library.fdb")
                                    << QStringLiteral("biblio");
    QTest::newRow("alias") << QStringLiteral("biblio:library") << QStringLiteral("biblio:service_mgr")
                           << QStringLiteral("library") << QStringLiteral("biblio");
    QTest::newRow("Windows server") << QStringLiteral("10.0.0.5:C:\\data\\library.fdb")
                                    << QStringLiteral("10.0.0.5:service_mgr") << QStringLiteral("C:\\data\\library.fdb")
                                    << QStringLiteral("10.0.0.5");
    QTest::newRow("IPv6 with port") << QStringLiteral("[::1]/3051:/data/library.fdb")
                                    << QStringLiteral("[::1]/3051:service_mgr") << QStringLiteral("/data/library.fdb")
                                    << QStringLiteral("::1");
    QTest::newRow("inet URL") << QStringLiteral("inet://192.168.1.10:3050//var/lib/library.fdb")
                              << QStringLiteral("inet://192.168.1.10:3050/service_mgr")
                              << QStringLiteral("/var/lib/library.fdb") << QStringLiteral("192.168.1.10");
    QTest::newRow("inet6 URL with alias")
        << QStringLiteral("inet6://[fe80::1]:3050/library") << QStringLiteral("inet6://[fe80::1]:3050/service_mgr")
        << QStringLiteral("library") << QStringLiteral("fe80::1");
    QTest::newRow("named pipe") << QStringLiteral("\\\\biblio\\C:\\data\\library.fdb")
                                << QStringLiteral("\\\\biblio\\service_mgr") << QStringLiteral("C:\\data\\library.fdb")
                                << QStringLiteral("biblio");
    QTest::newRow("local server by xnet") << QStringLiteral("xnet://library") << QStringLiteral("xnet://service_mgr")
                                          << QStringLiteral("library") << QStringLiteral("localhost");
}

void TestBackup::serviceTargets()
{
    QFETCH(QString, connection);
    QFETCH(QString, manager);
    QFETCH(QString, database);
    QFETCH(QString, host);
    const ServiceTarget target = serviceTarget(connection);
    QCOMPARE(target.manager, manager);
    QCOMPARE(target.database, database);
    QCOMPARE(target.host, host);
}

void TestBackup::accountUsesItsRoleOnlyForBackups()
{
    const QString file = m_db.freshFile();
    const auto connection = programConnection(file);
    // Its ordinary connection reads no more than it did.
    QVERIFY_THROWS_EXCEPTION(DbError, selectValue(connection.get(), "select count(*) from otdely"));
    const Backup backup = backUpDatabase(connection.get());
    QVERIFY(QFileInfo(backup.file).size() > 0);
    QCOMPARE(QFileInfo(backup.file).path(), QFileInfo(file).path());
    QVERIFY(!backup.onServer);
    QVERIFY_THROWS_EXCEPTION(DbError, selectValue(connection.get(), "select count(*) from otdely"));

    // Without the role's grant the service says no, and the user hears what to do.
    DbReader(file).exec("revoke rdb$admin from " + builtInUserName());
    try {
        backUpDatabase(connection.get());
        QFAIL("a backup without the right was made");
    } catch (const BackupError &e) {
        QVERIFY2(e.text().startsWith(QStringLiteral("Резервная копия базы не создана")), qPrintable(e.text()));
        QVERIFY2(e.text().contains(QStringLiteral("utilities-db grant")), qPrintable(e.text()));
        QVERIFY2(e.text().contains(QLatin1String("SYSDBA or owner")), qPrintable(e.text()));
    }
}

void TestBackup::backupKeepsTheNewestOfItsOwn()
{
    QTemporaryDir folder;
    setSetting(QStringLiteral("backup folder"), folder.path());
    setSetting(QStringLiteral("backups kept"), QStringLiteral("2"));
    const QString file = m_db.freshFile();
    const QString name = QFileInfo(file).fileName();
    const QStringList others{QStringLiteral("notes.txt"), backupFileName(QStringLiteral("other.fdb"), kStart)};
    for (const QString &other : others) {
        QFile out(folder.filePath(other));
        QVERIFY(out.open(QIODevice::WriteOnly));
    }
    QDateTime clock = QDateTime::currentDateTime();
    platform::now = [&clock] { return clock = clock.addSecs(60); };

    const auto connection = programConnection(file);
    QStringList made;
    QStringList removed;
    for (int i = 0; i < 3; ++i) {
        const Backup backup = backUpDatabase(connection.get());
        QCOMPARE(QFileInfo(backup.file).path(), folder.path());
        made.append(QFileInfo(backup.file).fileName());
        removed += backup.removed;
    }
    QCOMPARE(removed, QStringList{made[0]});
    QStringList expected = others + made.mid(1);
    expected.sort();
    QCOMPARE(listing(folder.path()), expected);
    QVERIFY(programBackupTime(made[2], name).isValid());
}

void TestBackup::restoreByTheTool_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");
    QTest::newRow("into a new file") << QStringLiteral("new") << 0 << QStringLiteral("восстановлена в");
    QTest::newRow("over an existing file")
        << QStringLiteral("existing") << 1 << QStringLiteral("уже есть; чтобы заменить, добавьте --force");
    QTest::newRow("over an existing file when asked")
        << QStringLiteral("force") << 0 << QStringLiteral("восстановлена в");
    QTest::newRow("a backup cut short") << QStringLiteral("cut") << 1 << QStringLiteral("не удалось восстановить");
    QTest::newRow("no such backup") << QStringLiteral("missing") << 1 << QStringLiteral("нет файла резервной копии");
    QTest::newRow("no such folder") << QStringLiteral("no folder") << 1 << QStringLiteral("нет папки для");
}

void TestBackup::restoreByTheTool()
{
    QFETCH(QString, kind);
    QFETCH(int, exitCode);
    QFETCH(QString, says);
    QString backup = m_backup;
    QString target = m_files.filePath(kind + QStringLiteral(".fdb"));
    QByteArray before;
    if (kind == QLatin1String("existing") || kind == QLatin1String("force")) {
        QVERIFY(QFile::copy(m_db.freshFile(), target));
        before = dumpDatabase(target);
    } else if (kind == QLatin1String("cut")) {
        backup = m_files.filePath(QStringLiteral("cut.fbk"));
        QFile whole(m_backup);
        QFile cut(backup);
        QVERIFY(whole.open(QIODevice::ReadOnly) && cut.open(QIODevice::WriteOnly));
        cut.write(whole.read(whole.size() * 2 / 3));
    } else if (kind == QLatin1String("missing")) {
        backup = m_files.filePath(QStringLiteral("missing.fbk"));
    } else if (kind == QLatin1String("no folder")) {
        target = m_files.filePath(QStringLiteral("nowhere/restored.fdb"));
    }
    QStringList arguments{QStringLiteral("restore"), backup, target};
    if (kind == QLatin1String("force"))
        arguments << QStringLiteral("--force");

    QByteArray output;
    QCOMPARE(runDbTool(arguments, &output), exitCode);
    QVERIFY2(output.contains(says.toUtf8()), output.constData());
    if (exitCode == 0) {
        QCOMPARE(dumpDatabase(target), m_filledDump);
        // The program's account works there: its rights came back.
        QCOMPARE(DbReader(target, builtInConnectionParams()).value("select count(*) from users"), QByteArray("5"));
    } else if (!before.isEmpty()) {
        QCOMPARE(dumpDatabase(target), before);
    } else {
        // Nothing half made is left behind.
        QVERIFY(!QFileInfo::exists(target));
    }
}

void TestBackup::backupThroughThePrivateServer()
{
    FbServer server;
    QVERIFY2(server.running(), qPrintable(server.error()));
    const QString database = server.createDatabase(QStringLiteral("shared.fdb"));
    QVERIFY2(!database.isEmpty(), qPrintable(server.failure()));
    {
        DbReader reader(database, server.adminParams());
        fillEveryTable(reader);
    }
    const QByteArray before = dumpDatabase(database, server.adminParams());
    // Five backups of the program from earlier, and a file of someone else's.
    const QDir data(server.dataFolder());
    QStringList earlier;
    for (int i = 0; i < 5; ++i) {
        earlier.append(own(i, QStringLiteral("shared.fdb")));
        QFile old(data.filePath(earlier.last()));
        QVERIFY(old.open(QIODevice::WriteOnly));
    }
    QFile notes(data.filePath(QStringLiteral("notes.txt")));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();

    const auto connection = programConnection(database);
    const Backup backup = backUpDatabase(connection.get());
    QVERIFY(backup.onServer);
    QCOMPARE(QFileInfo(backup.file).path(), server.dataFolder());
    QVERIFY(QFileInfo(backup.file).size() > 0);
    // The server is on this machine, so its folder is kept tidy here too.
    QCOMPARE(backup.removed, QStringList{earlier.first()});
    QVERIFY(notes.exists());

    const QString restored = server.connectionString(data.filePath(QStringLiteral("restored.fdb")));
    const QStringList admin{QStringLiteral("--user"), QStringLiteral("SYSDBA"), QStringLiteral("--password"),
                            QString::fromLatin1(server.adminPassword())};
    QByteArray output;
    QCOMPARE(runDbTool(QStringList{QStringLiteral("restore"), backup.file, restored} + admin, &output), 0);
    QCOMPARE(dumpDatabase(restored, server.adminParams()), before);
    QCOMPARE(DbReader(restored, builtInConnectionParams()).value("select count(*) from users"), QByteArray("5"));
    // The server refuses to restore over it unless told to.
    QCOMPARE(runDbTool(QStringList{QStringLiteral("restore"), backup.file, restored} + admin, &output), 1);
    QVERIFY2(QString::fromUtf8(output).contains(QStringLiteral("уже есть")), output.constData());
}

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
