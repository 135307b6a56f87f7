#include "dbdump.h"
#include "testdb.h"

#include "auth/autent.h"
#include "base/errors.h"
#include "base/platform.h"
#include "base/settings.h"
#include "base/sqltext.h"
#include "firstrun/backup.h"
#include "firstrun/wipe.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using Rows = QList<QByteArray>;

namespace {

// Notes everything a wipe reports, each statement with the text it ran.
class WipeRecorder : public WipeObserver {
public:
    QStringList heard;
    QList<QByteArray> statements;
    QString backupFile;

    void phaseChanged(WipePhase phase) override
    {
        static const char *const names[] = {"backing up", "wiping", "counting"};
        heard += QLatin1String(names[int(phase)]);
    }
    void backedUp(const Backup &backup) override
    {
        heard += QStringLiteral("backed up");
        backupFile = backup.file;
    }
    void notBackedUp(bool declined) override
    {
        heard += declined ? QStringLiteral("declined") : QStringLiteral("no backup");
    }
    void counted(const QList<qint64> &counts) override
    {
        QStringList shown;
        for (const qint64 rows : counts)
            shown += QString::number(rows);
        heard += QStringLiteral("counted ") + shown.join(u',');
    }
    void countFailed(const AppError &) override { heard += QStringLiteral("count failed"); }
    void statementDone(qsizetype done, qsizetype count) override
    {
        statements += SqlText;
        if (done == count)
            heard += QStringLiteral("%1 statements").arg(count);
    }
};

} // namespace

// The first-run wipe on a real database, with no window: the backup first,
// the statements in one transaction, the counts after.
class TestWipe : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { m_db.disconnect(); }

    void statementsRunInOrder();
    void wipeReportsToItsObserver_data();
    void wipeReportsToItsObserver();
    void failedBackupWipesNothing_data();
    void failedBackupWipesNothing();

private:
    // A row in every table the wipe empties, and a generator moved on.
    void fill();

    TestDb m_db;
    QTemporaryDir m_settings;
    QTemporaryDir m_files;
};

void TestWipe::initTestCase()
{
    platform::registryFolder = [this] { return m_settings.path(); };
    platform::systemSettingsFolder = [this] { return m_settings.filePath(QStringLiteral("system")); };
}

void TestWipe::init()
{
    QFile::remove(userSettingsFile());
    m_db.connectFresh();
    fill();
}

void TestWipe::fill()
{
    DbReader reader(m_db.path());
    const QList<QByteArray> tables = wipedTables();
    for (qsizetype i = 0; i < tables.size(); ++i)
        reader.exec("insert into " + tables[i] + " (num) values (" + QByteArray::number(i + 1) + ")");
    reader.exec("set generator nncatalog to 41");
}

void TestWipe::statementsRunInOrder()
{
    WipeRecorder recorder;
    QVERIFY(runWipe(m_db.session(), {}, recorder));
    const QList<QByteArray> expected{
        "delete from catalog",
        "set generator nncatalog to 0",
        "set generator aacatalog to 0",
        "delete from udkop",
        "set generator nnudkop to 0",
        "delete from izdatelstvo",
        "set generator nnizdatelstvo to 0",
        "set generator ssizdatelstvo to 0",
        "delete from mnogotom",
        "set generator nnmnogotom to 0",
        "set generator ssmnogotom to 0",
        "delete from comment",
        "set generator nncomment to 0",
        "set generator sscomment to 0",
        "delete from sbornik",
        "set generator nnsbornik to 0",
        "set generator sssbornik to 0",
        "delete from complect",
        "set generator nncomplect to 0",
        "set generator rrcomplect to 0",
        "set generator ddcomplect to 0",
        "delete from newbooks",
        "set generator nnnewbooks to 0",
        "delete from spisanie",
        "set generator nnspisanie to 0",
        "set generator llspisanie to 0",
        "delete from spisanieitems",
        "set generator nnspisanieitems to 0",
        "delete from readers",
        "set generator nnreaders to 0",
        "set generator ooreaders to 0",
        "delete from zakaz",
        "set generator nnzakaz to 0",
        "delete from ruki",
        "set generator nnruki to 0",
    };
    QCOMPARE(recorder.statements, expected);
}

void TestWipe::wipeReportsToItsObserver_data()
{
    // A statement that fails: the table it names is gone.
    QTest::addColumn<QByteArray>("dropped");
    QTest::addColumn<QStringList>("heard");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QByteArray>("catalogRows");
    QTest::addColumn<QByteArray>("nextCatalogKey");
    const QString zeros = QStringLiteral("counted ") + QStringList(13, QStringLiteral("0")).join(u',');
    QTest::newRow("done") << QByteArray()
                          << QStringList{"backing up", "backed up", "wiping", "35 statements", "counting", zeros}
                          << QString() << QByteArray("0") << QByteArray("1");
    // Nothing of the list stays, and the counts that follow cannot be had
    // either: they name the missing table.
    QTest::newRow("a statement refused") << QByteArray("comment")
                                         << QStringList{"backing up", "backed up", "wiping", "counting", "count failed"}
                                         << QStringLiteral("COMMENT") << QByteArray("1") << QByteArray("42");
}

void TestWipe::wipeReportsToItsObserver()
{
    QFETCH(QByteArray, dropped);
    QFETCH(QStringList, heard);
    QFETCH(QString, error);
    QFETCH(QByteArray, catalogRows);
    QFETCH(QByteArray, nextCatalogKey);
    if (!dropped.isEmpty()) {
        // The engine drops no table another attachment has in use.
        m_db.connection()->close();
        DbReader(m_db.path()).exec("drop table " + dropped);
        m_db.connection()->open();
    }
    WipeRecorder recorder;
    QString said;
    try {
        QVERIFY(runWipe(m_db.session(), {}, recorder));
    } catch (const AppError &e) {
        said = e.text();
    }
    QCOMPARE(recorder.heard, heard);
    QCOMPARE(said.isEmpty(), error.isEmpty());
    QVERIFY2(said.contains(error), qPrintable(said));
    // The backup lies beside the database.
    QCOMPARE(QFileInfo(recorder.backupFile).path(), QFileInfo(m_db.path()).path());
    QCOMPARE(m_db.value("select count(*) from catalog"), catalogRows);
    QCOMPARE(m_db.value("select gen_id(nncatalog, 1) from rdb$database"), nextCatalogKey);
    // The program's accounts, the register and the reference tables stay.
    QCOMPARE(m_db.value("select count(*) from users"), QByteArray("4"));
    QCOMPARE(m_db.value("select count(*) from barcodes"), QByteArray("3"));
}

void TestWipe::failedBackupWipesNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("meaning");
    QTest::addColumn<QString>("serviceSays");
    const QString cannotWrite
        = QStringLiteral("не удалось записать копию: её нет, это не папка или в неё нельзя писать");
    const QString taken = QStringLiteral("уже есть файл с именем копии");
    QTest::newRow("backup folder missing")
        << QStringLiteral("missing") << cannotWrite << QStringLiteral("No such file or directory");
    QTest::newRow("backup folder is a file")
        << QStringLiteral("file") << cannotWrite << QStringLiteral("Not a directory");
    QTest::newRow("no right to write there")
        << QStringLiteral("proc") << cannotWrite << QStringLiteral("No such file or directory");
    // Nothing is written through a link another user put in the folder.
    QTest::newRow("a link at the backup's name")
        << QStringLiteral("link at the name") << taken << QStringLiteral(".vesko-mika-backup.fbk");
    QTest::newRow("a link at the name it is written under")
        << QStringLiteral("link at the partial name") << taken << QStringLiteral("File exists");
}

void TestWipe::failedBackupWipesNothing()
{
    QFETCH(QString, kind);
    QFETCH(QString, meaning);
    QFETCH(QString, serviceSays);
    QString folder = QFileInfo(m_db.path()).path();
    const auto useFolder = [&](const QString &path) {
        folder = path;
        QDir().mkpath(QFileInfo(userSettingsFile()).path());
        QSettings(userSettingsFile(), QSettings::IniFormat).setValue(QStringLiteral("backup folder"), path);
    };
    // Where a link leads: it must stay as it was.
    const QString linked = m_files.filePath(QStringLiteral("linked.txt"));
    const auto now = platform::now;
    if (kind == QLatin1String("missing")) {
        useFolder(m_files.filePath(QStringLiteral("nowhere")));
    } else if (kind == QLatin1String("file")) {
        useFolder(m_files.filePath(QStringLiteral("plain.txt")));
        QFile plain(folder);
        QVERIFY(plain.open(QIODevice::WriteOnly));
    } else if (kind == QLatin1String("proc")) {
        // Not even the administrator may make a file there.
        useFolder(QStringLiteral("/proc"));
    } else if (kind.startsWith(QLatin1String("link at"))) {
        const QDateTime at = QDateTime::currentDateTime();
        platform::now = [at] { return at; };
        QString name = backupFileName(QFileInfo(m_db.path()).fileName(), at);
        if (kind == QLatin1String("link at the partial name"))
            name = partialBackupName(name);
        QFile target(linked);
        QVERIFY(target.open(QIODevice::WriteOnly));
        target.close();
        QVERIFY(QFile::link(linked, QDir(folder).filePath(name)));
    }
    const QStringList files = QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    const QByteArray before = dumpDatabase(m_db.path());

    WipeRecorder recorder;
    QString message;
    try {
        runWipe(m_db.session(), {}, recorder);
    } catch (const BackupError &e) {
        message = e.text();
    }
    platform::now = now;
    QVERIFY2(message.startsWith(QStringLiteral("Резервная копия базы не создана, поэтому база не очищена")),
             qPrintable(message));
    QVERIFY2(message.contains(meaning), qPrintable(message));
    QVERIFY2(message.contains(serviceSays), qPrintable(message));
    QCOMPARE(recorder.heard, (QStringList{"backing up", "no backup"}));
    QCOMPARE(dumpDatabase(m_db.path()), before);
    // Nothing left behind, nothing written through a link (processes come
    // and go in /proc).
    if (kind != QLatin1String("proc"))
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot), files);
    QCOMPARE(QFileInfo(linked).size(), 0);
}

QTEST_GUILESS_MAIN(TestWipe)
#include "tst_wipe.moc"
