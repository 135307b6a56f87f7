#include "testdb.h"

#include "db/utilites.h"
#include "import/importrun.h"
#include "import/wipe.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(ImportMode)
Q_DECLARE_METATYPE(ImportOutcome)

namespace {

// Notes everything a run reports, and asks to stop after a given record.
class Recorder : public ImportObserver {
public:
    explicit Recorder(qint32 stopAfter = -1) : m_stopAfter(stopAfter) {}

    QStringList heard;

    void phaseChanged(ImportPhase phase, qint32 total) override
    {
        static const char *const names[] = {"reading", "counting", "clearing", "importing"};
        heard += QStringLiteral("%1 %2").arg(QLatin1String(names[int(phase)])).arg(total);
    }
    void recordDone(qint32 total, qint32 processed, qint32 errors) override
    {
        heard += QStringLiteral("%1/%2 e%3").arg(processed).arg(total).arg(errors);
        m_processed = processed;
    }
    bool stopWanted() override { return m_processed == m_stopAfter; }

private:
    qint32 m_stopAfter;
    qint32 m_processed = 0;
};

} // namespace

// The import and wipe units on a real database, with no window at all.
class TestImportUnit : public QObject {
    Q_OBJECT

private slots:
    void init() { m_db.connectFresh(); }
    void cleanup() { m_db.disconnect(); }

    void wipeRunsItsStatementsInOrder();
    void keptCharactersReachTheDatabase_data();
    void keptCharactersReachTheDatabase();
    void runReportsToItsObserver_data();
    void runReportsToItsObserver();

private:
    QString writeFile(const QByteArray &bytes);

    TestDb m_db;
    QTemporaryDir m_files;
};

QString TestImportUnit::writeFile(const QByteArray &bytes)
{
    const QString name = m_files.filePath(QStringLiteral("import.csv"));
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the import file");
    return name;
}

void TestImportUnit::wipeRunsItsStatementsInOrder()
{
    QList<QByteArray> ran;
    qsizetype heard = 0;
    runWipe([&](qsizetype done) {
        ran += SqlText;
        heard = done;
    });
    const QList<QByteArray> expected{
        "delete from catalog",           "set generator nncatalog to 0",     "set generator aacatalog to 0",
        "delete from udkop",             "set generator nnudkop to 0",       "delete from izdatelstvo",
        "set generator nnizdatelstvo to 0", "set generator ssizdatelstvo to 0", "delete from mnogotom",
        "set generator nnmnogotom to 0", "set generator ssmnogotom to 0",    "delete from comment",
        "set generator nncomment to 0",  "set generator sscomment to 0",     "delete from sbornik",
        "set generator nnsbornik to 0",  "set generator sssbornik to 0",     "delete from complect",
        "set generator nncomplect to 0", "set generator rrcomplect to 0",    "set generator ddcomplect to 0",
        "delete from newbooks",          "set generator nnnewbooks to 0",    "delete from spisanie",
        "set generator nnspisanie to 0", "set generator llspisanie to 0",    "delete from spisanieitems",
        "set generator nnspisanieitems to 0", "delete from readers",         "set generator nnreaders to 0",
        "set generator ooreaders to 0",  "delete from zakaz",                "set generator nnzakaz to 0",
        "delete from ruki",              "set generator nnruki to 0",
    };
    QCOMPARE(ran, expected);
    QCOMPARE(heard, 35);
}

void TestImportUnit::keptCharactersReachTheDatabase_data()
{
    QTest::addColumn<ImportMode>("mode");
    QTest::addColumn<int>("field");
    QTest::addColumn<QByteArray>("select");
    QTest::addColumn<int>("kept");

    const struct {
        const char *name;
        ImportMode mode;
        int field;
        const char *select;
        int kept;
    } rows[] = {
        {"catalogue author", ImportMode::Catalogue, 2, "select autor from catalog", 250},
        {"catalogue title", ImportMode::Catalogue, 3, "select title from catalog", 250},
        {"catalogue place", ImportMode::Catalogue, 4, "select mesto from izdatelstvo", 100},
        {"catalogue publisher", ImportMode::Catalogue, 5, "select izd from izdatelstvo", 100},
        {"catalogue year", ImportMode::Catalogue, 6, "select izdata2 from catalog", 10},
        {"catalogue isbn", ImportMode::Catalogue, 7, "select isbn from catalog", 100},
        {"catalogue print run", ImportMode::Catalogue, 8, "select tirazh from catalog", 50},
        {"catalogue extent", ImportMode::Catalogue, 9, "select objem from catalog", 50},
        {"catalogue kind", ImportMode::Catalogue, 10, "select vid from catalog", 50},
        {"catalogue department", ImportMode::Catalogue, 11, "select otdel from catalog", 50},
        {"catalogue fund", ImportMode::Catalogue, 12, "select fond from catalog", 50},
        {"reader last name", ImportMode::Readers, 2, "select lname from readers", 50},
        {"reader first name", ImportMode::Readers, 3, "select fname from readers", 50},
        {"reader workplace", ImportMode::Readers, 4, "select rabota from readers", 200},
        {"reader position", ImportMode::Readers, 5, "select dolzhnost from readers", 100},
        {"reader work telephone", ImportMode::Readers, 6, "select rtel from readers", 50},
        {"reader address", ImportMode::Readers, 7, "select address from readers", 100},
        {"reader home telephone", ImportMode::Readers, 8, "select dtel from readers", 50},
        {"reader note", ImportMode::Readers, 9, "select note from readers", 250},
    };
    for (const auto &row : rows)
        QTest::newRow(row.name) << row.mode << row.field << QByteArray(row.select) << row.kept;
}

void TestImportUnit::keptCharactersReachTheDatabase()
{
    QFETCH(ImportMode, mode);
    QFETCH(int, field);
    QFETCH(QByteArray, select);
    QFETCH(int, kept);

    // The field one character too long, a different letter at each place
    // so that a cut at the wrong end would show.
    QByteArray long_;
    for (int i = 0; i <= kept; ++i)
        long_ += char('a' + i % 26);
    QList<QByteArray> fields(13, QByteArray());
    fields[0] = "42";
    fields[field - 1] = long_;
    QCOMPARE(storeRecord(fields.join(';'), mode), 0);
    QCOMPARE(m_db.value(select), long_.left(kept));
}

void TestImportUnit::runReportsToItsObserver_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("clear");
    QTest::addColumn<qint32>("stopAfter");
    QTest::addColumn<ImportOutcome>("outcome");
    QTest::addColumn<QStringList>("heard");
    QTest::addColumn<QByteArray>("stored");

    QTest::newRow("whole run") << QByteArray("1;a\r\nx\r\n\r\n2;b\r\n") << false << -1 << ImportOutcome::Finished
                               << QStringList{"reading 0", "counting 0", "importing 4", "1/4 e0", "2/4 e1",
                                              "3/4 e1", "4/4 e1"}
                               << QByteArray("2");
    QTest::newRow("cleared first") << QByteArray("7;a") << true << -1 << ImportOutcome::Finished
                                   << QStringList{"reading 0", "counting 0", "clearing 0", "importing 1", "1/1 e0"}
                                   << QByteArray("1");
    QTest::newRow("stopped after the second record")
        << QByteArray("1;a\r\n2;b\r\n3;c\r\n") << false << 2 << ImportOutcome::Stopped
        << QStringList{"reading 0", "counting 0", "importing 3", "1/3 e0", "2/3 e0"} << QByteArray("2");
    QTest::newRow("empty file") << QByteArray() << false << -1 << ImportOutcome::Finished
                                << QStringList{"reading 0", "counting 0", "importing 1", "1/1 e0"} << QByteArray("0");
}

void TestImportUnit::runReportsToItsObserver()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, clear);
    QFETCH(qint32, stopAfter);
    QFETCH(ImportOutcome, outcome);
    QFETCH(QStringList, heard);
    QFETCH(QByteArray, stored);

    DbReader(m_db.path()).exec("insert into readers (num, nomer) values (gen_id(nnreaders, 1), 99)");
    Recorder recorder(stopAfter);
    QCOMPARE(runImport(writeFile(bytes), ImportMode::Readers, clear, recorder), outcome);
    QCOMPARE(recorder.heard, heard);
    const int before = clear ? 0 : 1;
    QCOMPARE(m_db.value("select count(*) from readers"), QByteArray::number(stored.toInt() + before));

    Recorder none;
    QCOMPARE(runImport(m_files.filePath(QStringLiteral("missing.csv")), ImportMode::Readers, false, none),
             ImportOutcome::NotOpened);
    QVERIFY(none.heard.isEmpty());
}

QTEST_GUILESS_MAIN(TestImportUnit)
#include "tst_importunit.moc"
