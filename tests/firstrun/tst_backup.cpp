#include "db/dberror.h"
#include "dbdump.h"
#include "fbserver.h"
#include "testdb.h"

#include "auth/autent.h"
#include "base/platform.h"
#include "base/settings.h"
#include "base/text1251.h"
#include "db/dataset.h"
#include "db/fbservice.h"
#include "firstrun/backup.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kDatabase = QStringLiteral("vesko.mika.baza");
const QDateTime kStart(QDate(2024, 5, 20), QTime(14, 0));
// The database as its engine names it, and another of the same file name.
const QString kIdentity = QStringLiteral("/srv/library/vesko.mika.baza");
const QString kNamesake = QStringLiteral("/home/desk2/vesko.mika.baza");

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

// Writes a file whole; false when it cannot.
bool writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Permission bits and owner of a file, as "0640 uid:gid".
QString modeOf(const QString &name)
{
    struct stat info {};
    if (::stat(QFile::encodeName(name).constData(), &info) != 0)
        return QStringLiteral("missing");
    return QStringLiteral("%1 %2:%3")
        .arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'))
        .arg(info.st_uid)
        .arg(info.st_gid);
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
    void serviceTroubleLines_data();
    void serviceTroubleLines();
    void backupFileModes_data();
    void backupFileModes();
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
    m_backup = backUpDatabase(connection.get(), {}).value().file;
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
    // Each entry is a backup with a record naming kIdentity, unless marked:
    // "namesake:" another database of the same file name, "bare:" no
    // record, "partial:" a partial backup of this database, "dir:" and
    // "link:" no plain file.
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
    // Both databases keep their five newest, whatever their names share.
    QTest::newRow("two databases of one name in one folder") << ownRange(1, 6)
            + QStringList{QStringLiteral("namesake:") + own(0), QStringLiteral("namesake:") + own(7),
                          QStringLiteral("namesake:") + own(8)}
                                                             << 5 << QStringList{own(1)};
    QTest::newRow("a backup without its record is left alone")
        << ownRange(1, 5) + QStringList{QStringLiteral("bare:") + own(0)} << 5 << QStringList();
    QTest::newRow("partial backups of this database are cleared away")
        << ownRange(1, 2)
            + QStringList{QStringLiteral("partial:") + own(0), QStringLiteral("partial:") + own(3),
                          QStringLiteral("namesake:partial:") + own(4)}
        << 5 << QStringList{partialBackupName(own(0)), partialBackupName(own(3))};
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
        const QStringList marks = entry.split(u':');
        const QString backup = marks.last();
        const bool partial = marks.contains(QStringLiteral("partial"));
        const QString name = partial ? partialBackupName(backup) : backup;
        const QString path = folder.filePath(name);
        if (marks.contains(QStringLiteral("dir"))) {
            QVERIFY(QDir().mkdir(path));
        } else if (marks.contains(QStringLiteral("link"))) {
            const QString target = elsewhere.filePath(QStringLiteral("kept.fbk"));
            QVERIFY(writeFile(target, "backup"));
            QVERIFY(QFile::link(target, path));
        } else {
            QVERIFY(writeFile(path, "backup"));
        }
        names.append(name);
        if (programBackupTime(backup, kDatabase).isValid() && !marks.contains(QStringLiteral("bare"))) {
            const QString database = marks.contains(QStringLiteral("namesake")) ? kNamesake : kIdentity;
            QVERIFY(writeFile(folder.filePath(backupRecordName(backup)), backupRecordText({database, "00", {}})));
            names.append(backupRecordName(backup));
        }
    }

    QStringList gone = pruneBackups(folder.path(), kDatabase, kIdentity, kept);
    gone.sort();
    removed.sort();
    QCOMPARE(gone, removed);
    // Each with its record.
    for (const QString &name : removed) {
        names.removeOne(name);
        names.removeOne(backupRecordName(name.endsWith(QLatin1String(".partial")) ? name.chopped(8) : name));
    }
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

void TestBackup::serviceTroubleLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("trouble");
    QTest::newRow("an error") << QStringLiteral("gbak: ERROR:Expected XDR record length") << true;
    QTest::newRow("an error without the prefix") << QStringLiteral("ERROR:no table name for data") << true;
    QTest::newRow("a warning") << QStringLiteral("gbak: WARNING:function RDB$X is not defined") << true;
    QTest::newRow("a record left out") << QStringLiteral("gbak: Warning -- record could not be restored") << true;
    QTest::newRow("given up") << QStringLiteral("gbak:Exiting before completion due to errors") << true;
    QTest::newRow("a table named so") << QStringLiteral("gbak:restoring data for table ERRORS") << false;
    QTest::newRow("an index named so") << QStringLiteral("    restoring index WARNING_IDX") << false;
    QTest::newRow("rows restored") << QStringLiteral("gbak:   3000 records restored") << false;
    QTest::newRow("the end") << QStringLiteral("gbak:finishing, closing, and going home") << false;
}

void TestBackup::serviceTroubleLines()
{
    QFETCH(QString, line);
    QFETCH(bool, trouble);
    const QStringList output{QStringLiteral("opened file x.fbk"), line};
    QCOMPARE(serviceTrouble(output), trouble ? QStringList{line} : QStringList());
}

void TestBackup::backupFileModes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("owner");
    QTest::addColumn<int>("group");
    // -1: this process's own.
    QTest::newRow("owner only") << 0600 << -1 << -1;
    QTest::newRow("owner and group") << 0660 << -1 << -1;
    QTest::newRow("group may read") << 0640 << -1 << -1;
    QTest::newRow("everyone may read, as the database") << 0644 << -1 << -1;
    QTest::newRow("another group") << 0660 << -1 << 65534;
    QTest::newRow("another owner and group") << 0640 << 65534 << 65534;
}

void TestBackup::backupFileModes()
{
    QFETCH(int, mode);
    QFETCH(int, owner);
    QFETCH(int, group);
    const QString file = m_db.freshFile();
    const QByteArray path = QFile::encodeName(file);
    QVERIFY(::chmod(path.constData(), mode_t(mode)) == 0);
    if ((owner >= 0 || group >= 0) && ::chown(path.constData(), uid_t(owner), gid_t(group)) != 0)
        QSKIP("this process may not give the database another owner or group");

    // The program's own connection, which holds no power to back up: the
    // embedded engine makes the backup by name alone.
    const auto connection = programConnection(file);
    const std::optional<Backup> backup = backUpDatabase(connection.get(), {});
    QVERIFY(backup && !backup->onServer);
    QVERIFY_THROWS_EXCEPTION(DbError, selectValue(connection.get(), "select count(*) from otdely"));
    QCOMPARE(modeOf(backup->file), modeOf(file));
    QCOMPARE(modeOf(backupRecordName(backup->file)), modeOf(file));
}

void TestBackup::backupKeepsTheNewestOfItsOwn()
{
    QTemporaryDir folder;
    setSetting(QStringLiteral("backup folder"), folder.path());
    setSetting(QStringLiteral("backups kept"), QStringLiteral("2"));
    const QString file = filledFile();
    const QString name = QFileInfo(file).fileName();
    const QStringList others{QStringLiteral("notes.txt"), backupFileName(QStringLiteral("other.fdb"), kStart)};
    for (const QString &other : others)
        QVERIFY(writeFile(folder.filePath(other), QByteArray()));
    QDateTime clock = QDateTime::currentDateTime();
    platform::now = [&clock] { return clock = clock.addSecs(60); };

    const auto connection = programConnection(file);
    QStringList made;
    QStringList removed;
    for (int i = 0; i < 3; ++i) {
        const Backup backup = backUpDatabase(connection.get(), {}).value();
        QCOMPARE(QFileInfo(backup.file).path(), folder.path());
        made.append(QFileInfo(backup.file).fileName());
        removed += backup.removed;
    }
    QCOMPARE(removed, QStringList{made[0]});
    QStringList expected = others;
    for (const QString &backup : made.mid(1))
        expected << backup << backupRecordName(backup);
    expected.sort();
    QCOMPARE(listing(folder.path()), expected);
    QVERIFY(programBackupTime(made[2], name).isValid());

    // The record names the database, the backup's checksum and the rows of
    // every table as they stand.
    const QString newest = folder.filePath(made[2]);
    const std::optional<BackupRecord> record = readBackupRecord(backupRecordName(newest));
    QVERIFY(record);
    QCOMPARE(record->database, file);
    QCOMPARE(record->sha256, fileSha256(newest));
    DbReader reader(file);
    QStringList tables;
    for (const auto &[table, rows] : record->rows) {
        tables.append(table);
        QCOMPARE(reader.value("select count(*) from " + table.toLatin1()).toLongLong(), rows);
    }
    QStringList every;
    for (const QByteArray &table : reader.rows("select trim(rdb$relation_name) from rdb$relations "
                                               "where rdb$system_flag = 0 and rdb$view_blr is null"))
        every.append(QString::fromLatin1(table));
    tables.sort();
    every.sort();
    QCOMPARE(tables, every);
}

void TestBackup::restoreByTheTool_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");
    QTest::newRow("into a new file") << QStringLiteral("new") << 0 << QStringLiteral("как записано при создании копии");
    QTest::newRow("over an existing file") << QStringLiteral("existing") << 1 << QStringLiteral("уже есть");
    QTest::newRow("over an existing file when asked")
        << QStringLiteral("force") << 0 << QStringLiteral("восстановлено");
    QTest::newRow("no record beside it: the restore's own counts")
        << QStringLiteral("no record") << 0 << QStringLiteral("сверены с тем, что сообщило само восстановление");
    // Damage the record cannot see (it is gone) is seen in the service's
    // words; damage it can see is refused before anything is made.
    QTest::newRow("a backup cut short") << QStringLiteral("cut") << 1 << QStringLiteral("не удалось восстановить");
    QTest::newRow("a block of zeros in the middle")
        << QStringLiteral("zeroed") << 1 << QStringLiteral("не удалось восстановить");
    QTest::newRow("a few bytes flipped in the table data")
        << QStringLiteral("flipped") << 1 << QStringLiteral("повреждена");
    QTest::newRow("rows missing from what the record says")
        << QStringLiteral("rows differ") << 1 << QStringLiteral("не совпадает с копией");
    QTest::newRow("no such backup") << QStringLiteral("missing") << 1 << QStringLiteral("нет файла резервной копии");
    QTest::newRow("no such folder") << QStringLiteral("no folder") << 1 << QStringLiteral("нет папки");
}

void TestBackup::restoreByTheTool()
{
    QFETCH(QString, kind);
    QFETCH(int, exitCode);
    QFETCH(QString, says);
    QString backup = m_backup;
    QString target = m_files.filePath(kind + QStringLiteral(".fdb"));
    QByteArray before;
    QByteArray bytes = readFile(m_backup);
    QByteArray record = readFile(backupRecordName(m_backup));
    QVERIFY(!bytes.isEmpty() && !record.isEmpty());
    // A damaged copy beside its record, or without one.
    const auto copy = [&](const QByteArray &damaged, bool withRecord) {
        backup = m_files.filePath(kind + QStringLiteral(".fbk"));
        QVERIFY(writeFile(backup, damaged));
        if (withRecord)
            QVERIFY(writeFile(backupRecordName(backup), record));
    };
    if (kind == QLatin1String("existing") || kind == QLatin1String("force")) {
        QVERIFY(QFile::copy(m_db.freshFile(), target));
        before = dumpDatabase(target);
    } else if (kind == QLatin1String("no record")) {
        copy(bytes, false);
    } else if (kind == QLatin1String("cut")) {
        copy(bytes.left(bytes.size() * 2 / 3), false);
    } else if (kind == QLatin1String("zeroed")) {
        copy(bytes.replace(bytes.size() / 2, 512, QByteArray(512, '\0')), false);
    } else if (kind == QLatin1String("flipped")) {
        // In the text of a catalogue row, where the engine itself sees
        // nothing amiss.
        const qsizetype at = bytes.indexOf(toCp1251(QStringLiteral("Онегин")));
        QVERIFY(at > 0);
        for (qsizetype i = at; i < at + 4; ++i)
            bytes[i] = char(bytes[i] ^ 0x20);
        copy(bytes, true);
    } else if (kind == QLatin1String("rows differ")) {
        static const QRegularExpression catalog(QStringLiteral("table (\\d+) CATALOG"));
        const QRegularExpressionMatch match = catalog.match(QString::fromUtf8(record));
        QVERIFY(match.hasMatch());
        record.replace(match.captured(0).toUtf8(),
                       "table " + QByteArray::number(match.captured(1).toLongLong() + 1) + " CATALOG");
        copy(bytes, true);
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
    QVERIFY2(QString::fromUtf8(output).contains(says), output.constData());
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
    // A desk of this server, with the account's password in its settings.
    platform::systemSettingsFolder = [&server] { return server.settingsFolder(); };
    const auto otherDesk = qScopeGuard(
        [this] { platform::systemSettingsFolder = [this] { return m_settings.filePath(QStringLiteral("system")); }; });
    {
        DbReader reader(database, server.adminParams());
        fillEveryTable(reader);
    }
    const QByteArray before = dumpDatabase(database, server.adminParams());
    // Five backups of the program from earlier, and a file of someone else's.
    const QDir data(server.dataFolder());
    const QString file = data.filePath(QStringLiteral("shared.fdb"));
    QStringList earlier;
    for (int i = 0; i < 5; ++i) {
        earlier.append(own(i, QStringLiteral("shared.fdb")));
        QVERIFY(writeFile(data.filePath(earlier.last()), "backup"));
        QVERIFY(writeFile(data.filePath(backupRecordName(earlier.last())), backupRecordText({file, "00", {}})));
    }
    QVERIFY(writeFile(data.filePath(QStringLiteral("notes.txt")), QByteArray()));
    const QStringList untouched = listing(data.path());

    // The program's account may not back up: the administrator is asked
    // each time. Declined, nothing is done.
    const auto connection = programConnection(database);
    int asked = 0;
    QVERIFY(!backUpDatabase(connection.get(), [&asked] {
        ++asked;
        return std::optional<ServiceLogin>();
    }));
    QCOMPARE(asked, 1);
    QCOMPARE(listing(data.path()), untouched);
    try {
        backUpDatabase(connection.get(), [] { return ServiceLogin{"SYSDBA", "wrong", {}}; });
        QFAIL("a backup with a wrong password was made");
    } catch (const BackupError &e) {
        QVERIFY2(e.text().contains(QStringLiteral("сервер не принял имя и пароль администратора")),
                 qPrintable(e.text()));
    }
    QCOMPARE(listing(data.path()), untouched);

    const Backup backup = backUpDatabase(connection.get(), [&server] {
                              return ServiceLogin{"SYSDBA", server.adminPassword(), "x"};
                          }).value();
    QVERIFY(backup.onServer);
    QCOMPARE(QFileInfo(backup.file).path(), server.dataFolder());
    QVERIFY(QFileInfo(backup.file).size() > 0);
    // The server wrote it as its own user; this process may give it the
    // database's owner and mode, and does.
    QCOMPARE(modeOf(backup.file), modeOf(file));
    QCOMPARE(readBackupRecord(backupRecordName(backup.file)).value().database, file);
    // The server is on this machine, so its folder is kept tidy here too.
    QCOMPARE(backup.removed, QStringList{earlier.first()});
    QVERIFY(QFileInfo::exists(data.filePath(QStringLiteral("notes.txt"))));

    const QString restored = server.connectionString(data.filePath(QStringLiteral("restored.fdb")));
    const QStringList admin{QStringLiteral("--user"), QStringLiteral("SYSDBA"), QStringLiteral("--password"),
                            QString::fromLatin1(server.adminPassword())};
    QByteArray output;
    QCOMPARE(runDbTool(QStringList{QStringLiteral("restore"), backup.file, restored} + admin, &output), 0);
    QVERIFY2(QString::fromUtf8(output).contains(QStringLiteral("контрольная сумма копии та же")), output.constData());
    QCOMPARE(dumpDatabase(restored, server.adminParams()), before);
    QCOMPARE(DbReader(restored, builtInConnectionParams()).value("select count(*) from users"), QByteArray("5"));
    // The server refuses to restore over it unless told to.
    QCOMPARE(runDbTool(QStringList{QStringLiteral("restore"), backup.file, restored} + admin, &output), 1);
    QVERIFY2(QString::fromUtf8(output).contains(QStringLiteral("уже есть")), output.constData());
    QCOMPARE(dumpDatabase(restored, server.adminParams()), before);
}

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
