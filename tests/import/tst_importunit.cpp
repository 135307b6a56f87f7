#include "fbserver.h"
#include "testdb.h"

#include "auth/autent.h"
#include "base/errors.h"
#include "base/platform.h"
#include "base/sqltext.h"
#include "base/text1251.h"
#include "db/dberror.h"
#include "db/refusals.h"
#include "firstrun/wipe.h"
#include "import/importrun.h"
#include "import/journal.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(ImportMode)
Q_DECLARE_METATYPE(ImportOutcome)
Q_DECLARE_METATYPE(RejectedLine)

using Rows = QList<QByteArray>;

namespace {

// Notes everything a run reports, and asks to stop after a given record.
class Recorder : public ImportObserver {
public:
    explicit Recorder(qint32 stopAfter = -1) : m_stopAfter(stopAfter) {}

    QStringList heard;

    void phaseChanged(ImportPhase phase, qint32 total) override
    {
        static const char *const names[] = {"reading", "counting", "clearing", "importing", "checking"};
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

// Runs something once the first record is done: the server going away
// in the middle of a run.
class AfterFirstRecord : public Recorder {
public:
    explicit AfterFirstRecord(std::function<void()> then) : m_then(std::move(then)) {}
    void recordDone(qint32 total, qint32 processed, qint32 errors) override
    {
        Recorder::recordDone(total, processed, errors);
        if (processed == 1 && m_then)
            std::exchange(m_then, nullptr)();
    }

private:
    std::function<void()> m_then;
};

// What a kill does to a run in the middle of its work, in-process: the
// run ends at once, without a word, wherever it is.
struct Killed {};

class KilledAfter : public Recorder {
public:
    KilledAfter(qint32 killAfter, qint32 stopAfter) : Recorder(stopAfter), m_killAfter(killAfter) {}
    void recordDone(qint32 total, qint32 processed, qint32 errors) override
    {
        Recorder::recordDone(total, processed, errors);
        if (processed == m_killAfter)
            throw Killed{};
    }

private:
    qint32 m_killAfter;
};

// A clock that moves the given milliseconds at every reading, for as long
// as this lives.
class SteppingClock {
public:
    explicit SteppingClock(qint64 step) : m_saved(platform::steadyMs)
    {
        platform::steadyMs = [this, step] { return m_now += step; };
    }
    ~SteppingClock() { platform::steadyMs = m_saved; }

private:
    std::function<qint64()> m_saved;
    qint64 m_now = 0;
};

// Notes the rates shown, and the record each came after.
class RateRecorder : public Recorder {
public:
    QList<std::pair<double, qint64>> rates;
    QList<qint32> after;
    void recordDone(qint32 total, qint32 processed, qint32 errors) override
    {
        Recorder::recordDone(total, processed, errors);
        m_last = processed;
    }
    void rateChanged(double perSecond, qint64 secondsLeft) override
    {
        rates.append({perSecond, secondsLeft});
        after.append(m_last);
    }

private:
    qint32 m_last = 0;
};

// Every row of every table the import may touch and every generator's
// value, as text: equal dumps mean an unchanged database.
Rows dump(const QString &database)
{
    DbReader reader(database);
    Rows all;
    for (const QByteArray &table : reader.rows("select trim(rdb$relation_name) from rdb$relations "
                                               "where rdb$system_flag = 0 and rdb$view_blr is null order by 1")) {
        all += "table " + table;
        all += reader.rows("select * from " + table + " order by 1");
    }
    for (const QByteArray &generator : reader.rows("select trim(rdb$generator_name) from rdb$generators "
                                                   "where rdb$system_flag = 0 order by 1"))
        all += generator + ' ' + reader.value("select gen_id(" + generator + ", 0) from rdb$database");
    return all;
}

// Who else works on the database while a clear or a wipe is asked for.
enum class OtherDesk {
    RunningImport,     // the database tool importing, between its records too
    UncommittedInsert, // a desk writing without taking the tables first
    CommittedInsert,   // one that has done so and committed
    RowPutBack,        // a trigger that puts a row back as the tables empty
    RightTakenAway,    // no desk: the program's account may not delete from udkop
};

} // namespace

Q_DECLARE_METATYPE(OtherDesk)
Q_DECLARE_METATYPE(ResumePoint::State)

// The import unit on a real database, with no window at all.
class TestImportUnit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { m_db.connectFresh(); }
    void cleanup();

    void keptCharactersReachTheDatabase_data();
    void keptCharactersReachTheDatabase();
    void runReportsToItsObserver_data();
    void runReportsToItsObserver();
    void rejectedLinesKept_data();
    void rejectedLinesKept();
    void recordStoredWholeOrNotAtAll();
    void refusalNamesItsCause_data();
    void refusalNamesItsCause();
    void fileRefusedBeforeAnythingChanges_data();
    void fileRefusedBeforeAnythingChanges();
    void emptyingBesideAnotherDesk_data();
    void emptyingBesideAnotherDesk();
    void checkChangesNothing_data();
    void checkChangesNothing();
    void rateShownAFewTimesASecond();
    void timeLeftOnceTheRateIsSteady_data();
    void timeLeftOnceTheRateIsSteady();
    void stopSaysWhereToGoOn_data();
    void stopSaysWhereToGoOn();
    void rejectedLineQuoted_data();
    void rejectedLineQuoted();
    void onlyRegularFilesRead_data();
    void onlyRegularFilesRead();
    void recordsThroughAWholeRun_data();
    void recordsThroughAWholeRun();
    void unreadableFileRunsNothing_data();
    void unreadableFileRunsNothing();
    void oversizedFileRefusedUnread();
    void longNumberRejectedQuickly();
    void rejectedLinesFileFormat();
    void rejectedLinesFileNamed_data();
    void rejectedLinesFileNamed();
    void groupsCommitWholeRecords_data();
    void groupsCommitWholeRecords();
    void resumeGoesOnAfterWhatIsStored_data();
    void resumeGoesOnAfterWhatIsStored();
    void checkAgreesWithTheRun_data();
    void checkAgreesWithTheRun();

private:
    QString writeFile(const QByteArray &bytes);
    // Runs the unit on the bytes as a file; the report is kept even when
    // the run ends with an error, which is returned.
    QString run(const QByteArray &bytes, ImportMode mode, ImportReport &report, bool checkOnly = false,
                bool clear = false, qint64 fromLine = 1);

    // The units on a session of the test's own: another account, or a
    // database on the server.
    void connectAs(const QString &database, const QList<QByteArray> &params);
    DbSession &session() { return m_own ? *m_own : m_db.session(); }
    FbServer &server();

    TestDb m_db;
    QTemporaryDir m_files;
    std::unique_ptr<DbSession> m_own;
    std::unique_ptr<FbServer> m_server;
};

void TestImportUnit::initTestCase()
{
    QVERIFY(m_files.isValid());
    journalFolder = [this] { return m_files.filePath(QStringLiteral("journals")); };
}

void TestImportUnit::cleanup()
{
    if (m_own) {
        m_own->connection().forceClose();
        m_own.reset();
    }
    m_db.disconnect();
}

void TestImportUnit::connectAs(const QString &database, const QList<QByteArray> &params)
{
    m_db.disconnect();
    m_own = std::make_unique<DbSession>();
    m_own->open(database, params);
}

FbServer &TestImportUnit::server()
{
    if (!m_server) {
        m_server = std::make_unique<FbServer>();
        // The program's account signs in with the password its grant kept.
        platform::systemSettingsFolder = [this] { return m_server->settingsFolder(); };
    }
    return *m_server;
}

QString TestImportUnit::writeFile(const QByteArray &bytes)
{
    const QString name = m_files.filePath(QStringLiteral("import.csv"));
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the import file");
    return name;
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
    QCOMPARE(storeRecord(session(), fields.join(';'), mode), 0);
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
                               << QStringList{"reading 0", "counting 0", "importing 4", "1/4 e0",
                                              "2/4 e1",    "3/4 e1",     "4/4 e1"}
                               << QByteArray("2");
    QTest::newRow("cleared first") << QByteArray("7;a") << true << -1 << ImportOutcome::Finished
                                   << QStringList{"reading 0", "counting 0", "clearing 0", "importing 1", "1/1 e0"}
                                   << QByteArray("1");
    QTest::newRow("stopped after the second record")
        << QByteArray("1;a\r\n2;b\r\n3;c\r\n") << false << 2 << ImportOutcome::Stopped
        << QStringList{"reading 0", "counting 0", "importing 3", "1/3 e0", "2/3 e0"} << QByteArray("2");
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
    QCOMPARE(runImport(session(), writeFile(bytes), ImportMode::Readers, clear, recorder), outcome);
    QCOMPARE(recorder.heard, heard);
    const int before = clear ? 0 : 1;
    QCOMPARE(m_db.value("select count(*) from readers"), QByteArray::number(stored.toInt() + before));

    Recorder none;
    QCOMPARE(runImport(session(), m_files.filePath(QStringLiteral("missing.csv")), ImportMode::Readers, false, none),
             ImportOutcome::NotOpened);
    QVERIFY(none.heard.isEmpty());
}

QString TestImportUnit::run(const QByteArray &bytes, ImportMode mode, ImportReport &report, bool checkOnly, bool clear,
                            qint64 fromLine)
{
    Recorder recorder;
    try {
        const ImportOutcome outcome
            = runImport(session(), ImportRequest{writeFile(bytes), mode, clear, checkOnly, fromLine}, recorder, report);
        if (outcome != ImportOutcome::Finished)
            return QStringLiteral("not finished");
    } catch (const AppError &error) {
        return error.text();
    }
    return QString();
}

void TestImportUnit::rejectedLinesKept_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<ImportMode>("mode");
    QTest::addColumn<qint64>("fromLine");
    QTest::addColumn<QList<RejectedLine>>("rejected");
    QTest::addColumn<qint32>("stored");
    QTest::addColumn<qint32>("skipped");

    using R = QList<RejectedLine>;
    const QString notANumber = QStringLiteral("первое поле — не число: «%1»");
    QTest::newRow("every reason, CR LF")
        << QByteArray("Number;Author\r\n1;A\r\n-7;B\r\n\r\n2147483648;C\r\n3" + QByteArray(12, ';') + "12,345\r\n4"
                      + QByteArray(12, ';') + "21474836,48\r\n5;E")
        << ImportMode::Catalogue << qint64(1)
        << R{{1, notANumber.arg(QStringLiteral("Number")), "Number;Author", 1},
             {3, QStringLiteral("отрицательный номер: «-7»"), "-7;B", 1},
             {5, QStringLiteral("номер больше 2147483647: «2147483648»"), "2147483648;C", 1},
             {6, QStringLiteral("цена не читается: «12,345»"), "3" + QByteArray(12, ';') + "12,345", 13},
             {7, QStringLiteral("цена больше 21474836,47: «21474836,48»"), "4" + QByteArray(12, ';') + "21474836,48",
              13}}
        << 2 << 0;
    QTest::newRow("text as in the file, blanks and apostrophes kept")
        << QByteArray("  x'y ; z  \r\n1") << ImportMode::Readers << qint64(1)
        << R{{1, notANumber.arg(QStringLiteral("x'y")), "  x'y ; z  ", 1}} << 1 << 0;
    QTest::newRow("LF lines") << QByteArray("a\n1;A\n\nb;B\n") << ImportMode::Readers << qint64(1)
                              << R{{1, notANumber.arg(QStringLiteral("a")), "a", 1},
                                   {4, notANumber.arg(QStringLiteral("b")), "b;B", 1}}
                              << 1 << 0;
    QTest::newRow("CR lines") << QByteArray("1\ra\r") << ImportMode::Readers << qint64(1)
                              << R{{2, notANumber.arg(QStringLiteral("a")), "a", 1}} << 1 << 0;
    QTest::newRow("lone CR counts as a line in a CR LF file")
        << QByteArray("1;x\r2;y\r\nz\r\n") << ImportMode::Readers << qint64(1)
        << R{{3, notANumber.arg(QStringLiteral("z")), "z", 1}} << 1 << 0;
    QTest::newRow("UTF-8: a character Windows-1251 lacks, in the field it stands in")
        << QStringLiteral("1;Иванов\n2;Smith ✓ John\n3;Ёлкин;Ёж ǅ\n4;€").toUtf8() << ImportMode::Readers << qint64(1)
        << R{{2, QStringLiteral("символ «✓» (U+2713), которого нет в Windows-1251"), "2;Smith ? John", 2},
             {3, QStringLiteral("символ «ǅ» (U+01C5), которого нет в Windows-1251"),
              toCp1251(QStringLiteral("3;Ёлкин;Ёж ?")), 3}}
        << 2 << 0;
    QTest::newRow("UTF-8 mark: broken bytes")
        << QByteArray("\xEF\xBB\xBF"
                      "1;a\r\n2;\xFF\r\n3;b")
        << ImportMode::Readers << qint64(1) << R{{2, QStringLiteral("байты, которые не читаются как UTF-8"), "2;?", 2}}
        << 2 << 0;
    // Going on where a stopped run ended: the lines before are neither
    // stored nor judged, and the rest keep the file's own numbers.
    QTest::newRow("from line 3") << QByteArray("x\r\n1;a\r\ny\r\n2;b\r\nz") << ImportMode::Readers << qint64(3)
                                 << R{{3, notANumber.arg(QStringLiteral("y")), "y", 1},
                                      {5, notANumber.arg(QStringLiteral("z")), "z", 1}}
                                 << 1 << 2;
    QTest::newRow("from the second line of a record: the record is passed over")
        << QByteArray("1;a\nb\r\n2;c\r\n3;d") << ImportMode::Readers << qint64(2) << R{} << 2 << 1;
    QTest::newRow("from beyond the end") << QByteArray("1;a\r\n2;b\r\n") << ImportMode::Readers << qint64(9) << R{} << 0
                                         << 2;
}

void TestImportUnit::rejectedLinesKept()
{
    QFETCH(QByteArray, bytes);
    QFETCH(ImportMode, mode);
    QFETCH(qint64, fromLine);
    QFETCH(QList<RejectedLine>, rejected);
    QFETCH(qint32, stored);
    QFETCH(qint32, skipped);

    ImportReport report;
    QCOMPARE(run(bytes, mode, report, false, false, fromLine), QString());
    QCOMPARE(report.rejected, rejected);
    QCOMPARE(report.errors, rejected.size());
    QCOMPARE(report.stored, stored);
    QCOMPARE(report.skipped, skipped);
    QCOMPARE(report.processed, report.total);
    const QByteArray table = mode == ImportMode::Catalogue ? "catalog" : "readers";
    QCOMPARE(m_db.value("select count(*) from " + table), QByteArray::number(stored));
}

void TestImportUnit::recordStoredWholeOrNotAtAll()
{
    // The database refuses the publisher row of the second record, after
    // its catalog row has run: a full disk, a value refused, a crash.
    DbReader(m_db.path()).exec("create exception full_disk 'disk full'");
    DbReader(m_db.path())
        .exec("create trigger izd_refused for izdatelstvo before insert as begin "
              "if (new.barcod = '0000000002') then exception full_disk; end");
    ImportReport report;
    const QString error
        = run("1;A;T;Place;Press\r\n2;B;T;Place;Press\r\n3;C;T;Place;Press\r\n", ImportMode::Catalogue, report);
    QVERIFY2(error.startsWith(QStringLiteral("Строка 2 файла: база данных не приняла запись.")), qPrintable(error));
    QVERIFY2(error.contains(QStringLiteral("disk full")), qPrintable(error));
    QCOMPARE(report.stored, 1);
    QCOMPARE(m_db.rows("select barcod from catalog order by num"), Rows{"0000000001"});
    QCOMPARE(m_db.rows("select barcod from izdatelstvo order by num"), Rows{"0000000001"});

    // store2baza's own entry point: the same.
    QVERIFY_THROWS_EXCEPTION(DbError, storeRecord(session(), "2;B;T;Place;Press", ImportMode::Catalogue));
    QCOMPARE(m_db.value("select count(*) from catalog"), QByteArray("1"));
}

void TestImportUnit::refusalNamesItsCause_data()
{
    // Who stores: the administrator, the program's account, or the
    // program's account through the server, which stops after a record.
    QTest::addColumn<QString>("desk");
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<ImportMode>("mode");
    QTest::addColumn<QByteArray>("bytes");
    // The message's first lines, DB standing for the database.
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("engine");

    const auto goOn = [](int stored, int line) {
        return QStringLiteral("Сохранено записей: %1; запись со строки %2 файла не сохранена, продолжить можно с неё.")
            .arg(stored)
            .arg(line);
    };
    const QString admin = QStringLiteral("admin");
    // A record's content: its line, its field, the record.
    QTest::newRow("unknown column")
        << admin << QByteArray("alter table izdatelstvo drop mesto") << ImportMode::Catalogue
        << QByteArray("1;A\r\n\r\n2;B;T;Place;Press")
        << QStringList{QStringLiteral("Строка 3 файла: база данных не приняла запись, поле «место издания»."),
                       QStringLiteral("Запись: «2;B;T;Place;Press»"), goOn(1, 3), QString()}
        << QStringLiteral("Column unknown");
    QTest::newRow("value refused by a column")
        << admin << QByteArray("alter table readers add must_have varchar(1) not null") << ImportMode::Readers
        << QByteArray("5;a\n")
        << QStringList{QStringLiteral("Строка 1 файла: база данных не приняла запись, столбец MUST_HAVE (читатели)."),
                       QStringLiteral("Запись: «5;a»"), goOn(0, 1), QString()}
        << QStringLiteral("validation error");
    QTest::newRow("number too large for the column, long record quoted short")
        << admin << QByteArray() << ImportMode::Readers << "1;a\r\n99999999999;" + QByteArray(5000, 'b')
        << QStringList{QStringLiteral("Строка 2 файла: база данных не приняла запись."),
                       QStringLiteral("Запись: «99999999999;") + QString(48, u'b') + QChar(0x2026)
                           + QStringLiteral("»"),
                       goOn(1, 2), QString()}
        << QStringLiteral("numeric value is out of range");
    // The database's own causes: no line is blamed.
    QTest::newRow("key clash") << admin << QByteArray("insert into readers (num, nomer) values (2, 2)")
                               << ImportMode::Readers << QByteArray("5;a\r\n6;b")
                               << QStringList{QStringLiteral("Запись с таким ключом уже есть: ключ новой записи дал "
                                                             "счётчик базы данных, а он отстал от записей таблицы. "
                                                             "Счётчик поправит администратор базы."),
                                              goOn(1, 2), QString()}
                               << QStringLiteral("violation of PRIMARY or UNIQUE KEY");
    QTest::newRow("missing right") << QStringLiteral("program")
                                   << "revoke insert on izdatelstvo from " + builtInUserName() << ImportMode::Catalogue
                                   << QByteArray("1;A\r\n2;B;T;Place;Press")
                                   << QStringList{QStringLiteral("У учётной записи программы нет прав на базу данных "
                                                                 "«DB»: их даёт администратор базы командой "
                                                                 "«utilities-db grant DB», один раз для каждой базы."),
                                                  goOn(1, 2), QString()}
                                   << QStringLiteral("no permission for INSERT access to TABLE IZDATELSTVO");
    // The group the first record went into is lost with the connection.
    QTest::newRow("server stopped in the middle of the run")
        << QStringLiteral("server") << QByteArray() << ImportMode::Readers << QByteArray("1;a\r\n2;b\r\n3;c")
        << QStringList{QStringLiteral("Связь с базой данных «DB» потеряна: сервер базы данных остановлен или "
                                      "перезапущен, база закрыта администратором или прервалась сеть."),
                       goOn(0, 1), QString()}
        << QStringLiteral("data");
}

void TestImportUnit::refusalNamesItsCause()
{
    QFETCH(QString, desk);
    QFETCH(QByteArray, setup);
    QFETCH(ImportMode, mode);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QFETCH(QString, engine);

    QString database = m_db.path();
    std::function<void()> afterFirst;
    if (desk == QLatin1String("server")) {
        QVERIFY2(server().running(), qPrintable(server().error()));
        database = server().createDatabase(QStringLiteral("cause.fdb"), false);
        QVERIFY2(!database.isEmpty(), qPrintable(server().failure()));
        afterFirst = [this] { server().stop(); };
    }
    if (!setup.isEmpty())
        DbReader(database).exec(setup);
    if (desk != QLatin1String("admin"))
        connectAs(database, builtInConnectionParams());

    AfterFirstRecord recorder(afterFirst);
    ImportReport report;
    QString error;
    try {
        runImport(session(), ImportRequest{writeFile(bytes), mode, false, false}, recorder, report);
    } catch (const AppError &e) {
        error = e.text();
    }
    if (desk == QLatin1String("server")) {
        QVERIFY2(server().restart(), qPrintable(server().error()));
        QFile::remove(QDir(server().dataFolder()).filePath(QStringLiteral("cause.fdb")));
    }
    const QStringList said = error.split(u'\n');
    QVERIFY2(said.size() > lines.size(), qPrintable(error));
    for (QString &line : lines)
        line.replace(QStringLiteral("DB"), database);
    QCOMPARE(said.mid(0, lines.size()), lines);
    QVERIFY2(said.mid(lines.size()).join(u'\n').contains(engine), qPrintable(error));
    // Nothing floods the message: the record may be megabytes long.
    QVERIFY(error.size() < 1000);
    // The report says what the message says.
    QVERIFY(error.contains(
        QStringLiteral("Сохранено записей: %1; запись со строки %2 файла").arg(report.stored).arg(report.failedLine)));
}

void TestImportUnit::fileRefusedBeforeAnythingChanges_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("said");

    const QString empty = QStringLiteral("файл пуст: в «FILE» нет ни одной записи; в базе ничего не изменено");
    QTest::newRow("no bytes") << QByteArray() << empty;
    QTest::newRow("only line ends and blanks") << QByteArray("\r\n \t\r\n\n\r") << empty;
    QTest::newRow("only the UTF-8 mark and a line end") << QByteArray("\xEF\xBB\xBF\r\n") << empty;
    QTest::newRow("UTF-16") << QByteArray("\xFF\xFE") + QStringLiteral("1;Иванов\r\n").toUtf8()
                            << QStringLiteral("файл «FILE» записан в кодировке UTF-16 LE, которую импорт не читает: "
                                              "сохраните его как текст в кодировке UTF-8 или Windows-1251 и "
                                              "повторите; в базе ничего не изменено");
    QTest::newRow("NUL bytes") << QByteArray("PK\x03\x04\x14\x00\x00\x00\x08\x00", 10)
                               << QStringLiteral("файл «FILE» — не текст, который читает импорт: в нём есть нулевые");
}

void TestImportUnit::fileRefusedBeforeAnythingChanges()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, said);

    DbReader(m_db.path()).exec("insert into readers (num, nomer) values (gen_id(nnreaders, 1), 5)");
    const Rows before = dump(m_db.path());
    const QString file = writeFile(bytes);
    Recorder recorder;
    ImportReport report;
    QString error;
    try {
        // Clearing asked for: it is not run either.
        runImport(session(), ImportRequest{file, ImportMode::Readers, true, false}, recorder, report);
    } catch (const AppError &e) {
        error = e.text();
    }
    QVERIFY2(error.startsWith(said.replace(QStringLiteral("FILE"), file)), qPrintable(error));
    QCOMPARE(recorder.heard, QStringList{QStringLiteral("reading 0")});
    QCOMPARE(dump(m_db.path()), before);
}

void TestImportUnit::emptyingBesideAnotherDesk_data()
{
    QTest::addColumn<bool>("onServer");
    QTest::addColumn<OtherDesk>("desk");
    // Else the import's clearing of the catalogue.
    QTest::addColumn<bool>("wipe");
    // The refusal, empty when the tables are emptied.
    QTest::addColumn<QString>("refusal");

    const QString busy = tablesBusyText();
    const QString notEmptied = QStringLiteral("таблицы не опустели (каталог 1, ");
    QTest::newRow("clear beside a running import, shared embedded file")
        << false << OtherDesk::RunningImport << false << busy;
    QTest::newRow("wipe beside a running import, shared embedded file")
        << false << OtherDesk::RunningImport << true << busy;
    QTest::newRow("clear beside a running import, through the server")
        << true << OtherDesk::RunningImport << false << busy;
    QTest::newRow("wipe beside a running import, through the server")
        << true << OtherDesk::RunningImport << true << busy;
    QTest::newRow("clear beside a desk's uncommitted insert") << false << OtherDesk::UncommittedInsert << false << busy;
    QTest::newRow("clear after a desk's committed insert") << false << OtherDesk::CommittedInsert << false << QString();
    QTest::newRow("clear whose tables do not empty") << false << OtherDesk::RowPutBack << false << notEmptied;
    QTest::newRow("wipe whose tables do not empty") << false << OtherDesk::RowPutBack << true << notEmptied;
    QTest::newRow("wipe without a right it needs")
        << false << OtherDesk::RightTakenAway << true
        << QStringLiteral("У учётной записи программы нет прав на базу данных «");
}

void TestImportUnit::emptyingBesideAnotherDesk()
{
    QFETCH(bool, onServer);
    QFETCH(OtherDesk, desk);
    QFETCH(bool, wipe);
    QFETCH(QString, refusal);

    QString database = m_db.path();
    QList<QByteArray> admin = adminParams();
    if (onServer) {
        QVERIFY2(server().running(), qPrintable(server().error()));
        database = server().createDatabase(wipe ? QStringLiteral("wipe.fdb") : QStringLiteral("clear.fdb"), false);
        QVERIFY2(!database.isEmpty(), qPrintable(server().failure()));
        admin = server().adminParams();
    }
    DbReader setup(database, admin);
    setup.exec("insert into catalog (num, barcod) values (gen_id(nncatalog, 1), 'old')");
    setup.exec("insert into udkop (num, barcod) values (gen_id(nnudkop, 1), 'old')");
    setup.exec("insert into readers (num, nomer) values (gen_id(nnreaders, 1), 1)");
    const auto counts = [&] {
        return DbReader(database, admin)
            .value("select (select count(*) from catalog) || '|' || (select count(*) from izdatelstvo) || '|' || "
                   "(select count(*) from udkop) || '|' || (select count(*) from readers) || '|' || "
                   "gen_id(nncatalog, 0) || '|' || coalesce((select max(num) from catalog), 0) from rdb$database");
    };
    // The program's account, as the window and the tool work.
    if (desk == OtherDesk::RightTakenAway)
        setup.exec("revoke delete on udkop from " + builtInUserName());
    connectAs(database, builtInConnectionParams());

    QProcess tool;
    std::optional<OpenTransaction> open;
    switch (desk) {
    case OtherDesk::RunningImport: {
        // Each publisher row takes its time, so that the clear comes mid-run.
        setup.exec("create trigger slow_publisher for izdatelstvo before insert as "
                   "declare i integer = 0; begin while (i < 100000) do i = i + 1; end");
        QByteArray books;
        for (int i = 1; i <= 2000; ++i)
            books += QByteArray::number(i) + ";A;T;Place;Press\r\n";
        const QString input = m_files.filePath(QStringLiteral("running.csv"));
        QFile file(input);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(books) == books.size());
        file.close();
        tool.setProcessChannelMode(QProcess::MergedChannels);
        if (m_server) {
            // The tool reads the account's password from its user's settings.
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_server->settingsFolder());
            tool.setProcessEnvironment(environment);
        }
        tool.start(QStringLiteral(DBTOOL_PATH), {QStringLiteral("import"), QStringLiteral("catalog"), input, database});
        QByteArray seen;
        while (!seen.contains("записей: ") && tool.waitForReadyRead(60000))
            seen += tool.readAll();
        QVERIFY2(seen.contains("записей: "), seen.constData());
        break;
    }
    case OtherDesk::UncommittedInsert:
        open.emplace(database,
                     QList<QByteArray>{"insert into catalog (num, barcod) values (gen_id(nncatalog, 1), "
                                       "'open')"},
                     admin);
        break;
    case OtherDesk::CommittedInsert:
        setup.exec("insert into catalog (num, barcod) values (gen_id(nncatalog, 1), 'committed')");
        break;
    case OtherDesk::RowPutBack:
        setup.exec("create trigger put_back for udkop after delete as begin "
                   "insert into catalog (num, barcod) values (1000, 'back'); end");
        break;
    case OtherDesk::RightTakenAway:
        break;
    }
    const QByteArray before = desk == OtherDesk::RunningImport ? QByteArray() : counts();

    const QString input = writeFile(toCp1251(QStringLiteral("77;Автор")));
    const auto empty = [&] {
        QString error;
        try {
            if (wipe) {
                emptyTables(session(), kWipeStatements);
            } else {
                Recorder recorder;
                ImportReport report;
                runImport(session(), ImportRequest{input, ImportMode::Catalogue, true, false}, recorder, report);
            }
        } catch (const AppError &e) {
            error = e.text();
        }
        return error;
    };
    QElapsedTimer waited;
    waited.start();
    const QString error = empty();
    if (refusal.isEmpty()) {
        QVERIFY2(error.isEmpty(), qPrintable(error));
    } else {
        QVERIFY2(error.startsWith(refusal), qPrintable(error));
        // The engine counts the wait in whole seconds.
        if (refusal == tablesBusyText())
            QVERIFY2(waited.elapsed() >= 1000 * (kTablesWaitSeconds - 1),
                     qPrintable(QString::number(waited.elapsed())));
    }

    switch (desk) {
    case OtherDesk::RunningImport: {
        // Stopped by a signal, the other desk says what it stored: every
        // record of it is there, beside the rows from before, and its
        // keys stand above the generator no longer.
        ::kill(pid_t(tool.processId()), SIGTERM);
        QVERIFY(tool.waitForFinished(60000));
        const QString said = QString::fromUtf8(tool.readAll());
        const QRegularExpressionMatch stored
            = QRegularExpression(QStringLiteral(R"(сохранено записей: ([0-9]+);)")).match(said);
        QVERIFY2(stored.hasMatch(), qPrintable(said));
        const int books = stored.captured(1).toInt();
        QCOMPARE(counts(),
                 QByteArray::number(1 + books) + '|' + QByteArray::number(books) + "|1|1|"
                     + QByteArray::number(1 + books) + '|' + QByteArray::number(1 + books));
        break;
    }
    case OtherDesk::UncommittedInsert:
        QCOMPARE(counts(), before);
        open->rollback();
        break;
    case OtherDesk::CommittedInsert:
        break;
    case OtherDesk::RowPutBack:
        // Nothing deleted, no generator set back below a key.
        QCOMPARE(counts(), before);
        setup.exec("drop trigger put_back");
        break;
    case OtherDesk::RightTakenAway:
        QCOMPARE(counts(), before);
        // The rights an attachment has are read as it attaches.
        setup.exec("grant delete on udkop to " + builtInUserName());
        connectAs(database, builtInConnectionParams());
        break;
    }

    // Once the other desk is done, the tables empty and their keys start
    // again from the first.
    QCOMPARE(empty(), QString());
    QCOMPARE(counts(), wipe ? QByteArray("0|0|0|0|0|0") : QByteArray("1|0|0|1|1|1"));
}
void TestImportUnit::checkChangesNothing_data()
{
    QTest::addColumn<ImportMode>("mode");
    QTest::addColumn<bool>("clear");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint32>("stored");
    QTest::addColumn<qint32>("errors");
    QTest::addColumn<QList<qint32>>("cut");
    QTest::addColumn<qint32>("inCatalog");
    QTest::addColumn<Rows>("sample");
    QTest::addColumn<QStringList>("summary");
    // The library's own columns, where they differ from the shipped ones.
    QTest::addColumn<Rows>("setup");

    const QByteArray catalogue = "1;A;T;Place;Press\r\n7;" + QByteArray(251, 'a') + ";" + QByteArray(300, 't')
        + ";;;1985-01-01-x\r\nx;bad\r\n2;" + QByteArray(251, 'a') + "\r\n7;again\r\n-1;neg\r\n";
    QTest::newRow("catalogue") << ImportMode::Catalogue << false << catalogue << 4 << 2
                               << QList<qint32>{2, 2, 3, 1, 6, 1} << 3 << Rows{"0000000001", "0000000007"}
                               << QStringList{QStringLiteral("будет сохранено записей: 4, отвергнуто: 2"),
                                              QStringLiteral("будут обрезаны: поле 2 «автор» (250 зн.) — 2; "
                                                             "поле 3 «заглавие» (250 зн.) — 1; "
                                                             "поле 6 «год издания» (10 зн.) — 1"),
                                              QStringLiteral("уже есть в каталоге: 3 (0000000001, 0000000007, …) — "
                                                             "импорт их удвоит")}
                               << Rows{};
    QTest::newRow("catalogue, clearing ticked but not run")
        << ImportMode::Catalogue << true << QByteArray("1;A\r\n3;B") << 2 << 0 << QList<qint32>{} << 1
        << Rows{"0000000001"}
        << QStringList{QStringLiteral("будет сохранено записей: 2, отвергнуто: 0"),
                       QStringLiteral("обрезанных полей не будет"),
                       QStringLiteral("уже есть в каталоге: 1 (0000000001) — очистка перед импортом их уберёт")}
        << Rows{};
    QTest::newRow("readers") << ImportMode::Readers << true << "5;" + QByteArray(51, 'x') + ";ok\r\nx\r\n6" << 2 << 1
                             << QList<qint32>{2, 1} << 0 << Rows{}
                             << QStringList{QStringLiteral("будет сохранено записей: 2, отвергнуто: 1"),
                                            QStringLiteral("будут обрезаны: поле 2 «фамилия» (50 зн.) — 1")}
                             << Rows{};
    // What the database itself would refuse, by its own columns.
    QTest::newRow("a reader number too large for its column")
        << ImportMode::Readers << false << QByteArray("6;a\r\n99999999999;b\r\n7;c") << 2 << 1 << QList<qint32>{} << 0
        << Rows{}
        << QStringList{QStringLiteral("будет сохранено записей: 2, отвергнуто: 1"),
                       QStringLiteral("база данных не примет записей: 1 — импорт остановится на строке 2"),
                       QStringLiteral("обрезанных полей не будет")}
        << Rows{};
    QTest::newRow("the same number in a 64-bit column")
        << ImportMode::Readers << false << QByteArray("6;a\r\n99999999999;b\r\n7;c") << 3 << 0 << QList<qint32>{} << 0
        << Rows{}
        << QStringList{QStringLiteral("будет сохранено записей: 3, отвергнуто: 0"),
                       QStringLiteral("обрезанных полей не будет")}
        << Rows{"alter table readers drop nomer", "alter table readers add nomer bigint"};
    QTest::newRow("a column declared shorter than the cut")
        << ImportMode::Catalogue << false
        << "11;A;T;" + QByteArray(30, 'p') + ";Press\r\n12;A;T;" + QByteArray(31, 'p') + ";Press\r\n13;A;T;"
            + QByteArray(130, 'p') + ";Press\r\n"
        << 1 << 2 << QList<qint32>{} << 0 << Rows{}
        << QStringList{QStringLiteral("будет сохранено записей: 1, отвергнуто: 2"),
                       QStringLiteral("база данных не примет записей: 2 — импорт остановится на строке 2"),
                       QStringLiteral("обрезанных полей не будет"),
                       QStringLiteral("номеров, которые уже есть в каталоге, нет")}
        << Rows{"alter table izdatelstvo drop mesto", "alter table izdatelstvo add mesto varchar(30)"};
    QTest::newRow("a column that may not be empty, which the import leaves out")
        << ImportMode::Readers << false << QByteArray("6;a\r\nx\r\n7;c") << 0 << 3 << QList<qint32>{} << 0 << Rows{}
        << QStringList{QStringLiteral("будет сохранено записей: 0, отвергнуто: 3"),
                       QStringLiteral("база данных не примет записей: 2 — импорт остановится на строке 1"),
                       QStringLiteral("обрезанных полей не будет")}
        << Rows{"delete from readers", "alter table readers add must_have varchar(1) not null"};
}

void TestImportUnit::checkChangesNothing()
{
    QFETCH(ImportMode, mode);
    QFETCH(bool, clear);
    QFETCH(QByteArray, bytes);
    QFETCH(qint32, stored);
    QFETCH(qint32, errors);
    QFETCH(QList<qint32>, cut);
    QFETCH(qint32, inCatalog);
    QFETCH(Rows, sample);
    QFETCH(QStringList, summary);
    QFETCH(Rows, setup);

    // One book already stands twice under item number 1, once under 7.
    DbReader desk(m_db.path());
    for (const char *barcode : {"0000000001", "0000000001", "0000000007", "old"})
        desk.exec(QByteArray("insert into catalog (num, barcod) values (gen_id(nncatalog, 1), '") + barcode + "')");
    desk.exec("insert into readers (num, nomer) values (gen_id(nnreaders, 1), 5)");
    for (const QByteArray &statement : setup)
        desk.exec(statement);
    const Rows before = dump(m_db.path());

    const qint64 size = QFileInfo(m_db.path()).size();
    ImportReport report;
    QCOMPARE(run(bytes, mode, report, true, clear), QString());
    QCOMPARE(dump(m_db.path()), before);
    QCOMPARE(QFileInfo(m_db.path()).size(), size);
    QCOMPARE(report.stored, stored);
    QCOMPARE(report.errors, errors);
    QCOMPARE(report.rejected.size(), errors);
    // cut: pairs of field number and records.
    std::array<qint32, 32> expectedCut{};
    for (qsizetype i = 0; i + 1 < cut.size(); i += 2)
        expectedCut[cut[i] - 1] = cut[i + 1];
    QCOMPARE(report.cut, expectedCut);
    QCOMPARE(report.inCatalog, inCatalog);
    QCOMPARE(report.inCatalogSample, sample);
    QCOMPARE(checkSummary(report, mode, clear), summary);
}

void TestImportUnit::rateShownAFewTimesASecond()
{
    // A clock that moves 100 ms at every reading.
    qint64 clock = 0;
    const auto steady = platform::steadyMs;
    platform::steadyMs = [&] { return clock += 100; };
    RateRecorder recorder;
    ImportReport report;
    QByteArray bytes;
    for (int i = 1; i <= 10; ++i)
        bytes += QByteArray::number(i) + ";x\r\n";
    const ImportOutcome outcome
        = runImport(session(), ImportRequest{writeFile(bytes), ImportMode::Readers, false, true}, recorder, report);
    platform::steadyMs = steady;
    QCOMPARE(outcome, ImportOutcome::Finished);
    // Every 250 ms of clock, not at every record; once more at the end.
    // Too few records and too short a time for the time left until then.
    const QList<std::pair<double, qint64>> expected{{10.0, -1}, {10.0, -1}, {10.0, -1}, {10000.0 / 1100, 0}};
    QCOMPARE(recorder.rates.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QCOMPARE(recorder.rates[i].first, expected[i].first);
        QCOMPARE(recorder.rates[i].second, expected[i].second);
    }
    QCOMPARE(rateDescription(10000.0 / 1100, 3725), QStringLiteral("9 зап./с, осталось 1:02:05"));
    QCOMPARE(rateDescription(1234.5, 59), QStringLiteral("1235 зап./с, осталось 0:59"));
    QCOMPARE(rateDescription(1234.5, -1), QStringLiteral("1235 зап./с"));
}

void TestImportUnit::timeLeftOnceTheRateIsSteady_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("msPerReading");
    QTest::addColumn<qint64>("fromLine");
    QTest::addColumn<qint32>("firstAfter");
    QTest::addColumn<qint64>("firstLeft");

    // The clock moves at every reading, about once a record: the time left
    // is said first after which record, and what it says then.
    QTest::newRow("three hundred records") << 1000 << 1 << qint64(1) << 500 << qint64(1);
    QTest::newRow("two seconds") << 100 << 100 << qint64(1) << 21 << qint64(8);
    QTest::newRow("neither: only the end says it") << 10 << 100 << qint64(1) << 10 << qint64(0);
    // Records passed over, quick as they go, are no part of the rate.
    QTest::newRow("counted from the first record stored") << 1000 << 1 << qint64(301) << 800 << qint64(1);
}

void TestImportUnit::timeLeftOnceTheRateIsSteady()
{
    QFETCH(int, records);
    QFETCH(int, msPerReading);
    QFETCH(qint64, fromLine);
    QFETCH(qint32, firstAfter);
    QFETCH(qint64, firstLeft);
    qint64 clock = 0;
    const auto steady = platform::steadyMs;
    platform::steadyMs = [&] { return clock += msPerReading; };
    QByteArray bytes;
    for (int i = 1; i <= records; ++i)
        bytes += QByteArray::number(i) + ";x\r\n";
    RateRecorder recorder;
    ImportReport report;
    runImport(session(), ImportRequest{writeFile(bytes), ImportMode::Readers, false, true, fromLine}, recorder, report);
    platform::steadyMs = steady;
    qsizetype first = 0;
    while (first < recorder.rates.size() && recorder.rates[first].second < 0)
        ++first;
    QVERIFY(first < recorder.rates.size());
    QCOMPARE(recorder.after[first], firstAfter);
    QCOMPARE(recorder.rates[first].second, firstLeft);
}

void TestImportUnit::stopSaysWhereToGoOn_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("fromLine");
    QTest::addColumn<qint32>("stopAfter");
    QTest::addColumn<bool>("checkOnly");
    QTest::addColumn<QString>("said");

    const QByteArray three = "1;a\r\n2;b\r\n3;c\r\n";
    QTest::newRow("import stopped at the second record")
        << three << qint64(1) << 2 << false
        << QStringLiteral("сохранено записей: 2; остановлено на строке 2 файла; продолжить можно со строки 3");
    QTest::newRow("a record over two lines")
        << QByteArray("1;a\nb\r\nx\r\n3;c") << qint64(1) << 2 << false
        << QStringLiteral("сохранено записей: 1; остановлено на строке 3 файла; продолжить можно со строки 4");
    QTest::newRow("after the last record")
        << three << qint64(1) << 3 << false
        << QStringLiteral("сохранено записей: 3; остановлено на строке 3 файла, последней: обработаны все записи");
    QTest::newRow("a check") << three << qint64(1) << 1 << true
                             << QStringLiteral("проверено 1 строк из 3; проверка остановлена на строке 1 файла; "
                                               "продолжить можно со строки 2");
    QTest::newRow("a check gone on from a line")
        << three << qint64(2) << 2 << true
        << QStringLiteral(
               "проверено 1 строк из 2; проверка остановлена на строке 2 файла; продолжить можно со строки 3");
    QTest::newRow("gone on from a line, stopped again")
        << three << qint64(2) << 2 << false
        << QStringLiteral("сохранено записей: 1; остановлено на строке 2 файла; продолжить можно со строки 3");
}

void TestImportUnit::stopSaysWhereToGoOn()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, fromLine);
    QFETCH(qint32, stopAfter);
    QFETCH(bool, checkOnly);
    QFETCH(QString, said);
    Recorder stopping(stopAfter);
    ImportReport report;
    QCOMPARE(runImport(session(), ImportRequest{writeFile(bytes), ImportMode::Readers, false, checkOnly, fromLine},
                       stopping, report),
             ImportOutcome::Stopped);
    QCOMPARE(stopSummary(report, checkOnly), said);
}

void TestImportUnit::rejectedLineQuoted_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("quoted");

    const QByteArray longTitle(80, 't');
    QTest::newRow("short line whole") << QByteArray("x;без") << 1 << QStringLiteral("x;без");
    QTest::newRow("failed field near the start")
        << QByteArray("12;A;B;;;;;;;;;;12,345") << 13 << QStringLiteral("12;A;B;;;;;;;;;;12,345");
    QTest::newRow("failed field far in: the first field, then from it")
        << "12;" + longTitle + ";;;;;;;;;;;1,2345;x" << 13 << QStringLiteral("12;…;1,2345;x");
    QTest::newRow("a long first field cut") << QByteArray(30, '9') + ";" + longTitle + ";;;;;;;;;;;1,2345" << 13
                                            << QString(20, u'9') + QStringLiteral("…;…;1,2345");
    QTest::newRow("the failed field beyond the line")
        << "12;" + longTitle << 13 << QStringLiteral("12;") + QString(57, u't') + QChar(0x2026);
}

void TestImportUnit::rejectedLineQuoted()
{
    QFETCH(QByteArray, text);
    QFETCH(int, field);
    QFETCH(QString, quoted);
    QCOMPARE(rejectedLineQuote(RejectedLine{1, QString(), toCp1251(QString::fromUtf8(text)), field}, 60), quoted);
}

void TestImportUnit::onlyRegularFilesRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("named");
    QTest::newRow("a folder") << QStringLiteral("folder") << QStringLiteral("папка");
    QTest::newRow("a named pipe") << QStringLiteral("fifo") << QStringLiteral("именованный канал");
    QTest::newRow("a link to a named pipe") << QStringLiteral("link") << QStringLiteral("именованный канал");
    QTest::newRow("a device") << QStringLiteral("device") << QStringLiteral("устройство");
}

void TestImportUnit::onlyRegularFilesRead()
{
    QFETCH(QString, kind);
    QFETCH(QString, named);
    QString path = m_files.filePath(QStringLiteral("pipe"));
    QFile::remove(path);
    if (kind == QStringLiteral("folder")) {
        path = m_files.path();
    } else if (kind == QStringLiteral("device")) {
        path = QStringLiteral("/dev/zero");
    } else {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        if (kind == QStringLiteral("link")) {
            const QString link = m_files.filePath(QStringLiteral("link.csv"));
            QFile::remove(link);
            QVERIFY(QFile::link(path, link));
            path = link;
        }
    }
    // Should the run wait on the pipe, a writer comes after five seconds
    // and closes at once, so that the test fails instead of hanging.
    std::atomic<bool> done{false};
    std::atomic<bool> unblocked{false};
    const QByteArray fifo = QFile::encodeName(m_files.filePath(QStringLiteral("pipe")));
    std::thread watchdog([&] {
        for (int i = 0; i < 50 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (done)
            return;
        const int writer = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) {
            unblocked = true;
            ::close(writer);
        }
    });
    Recorder recorder;
    ImportReport report;
    QString error;
    try {
        runImport(session(), ImportRequest{path, ImportMode::Readers, true, false}, recorder, report);
    } catch (const AppError &e) {
        error = e.text();
    }
    done = true;
    watchdog.join();
    QVERIFY(!unblocked);
    QCOMPARE(error,
             QStringLiteral("«%1» — %2, а не обычный файл; импортировать можно только обычный файл.").arg(path, named));
    QVERIFY(recorder.heard.isEmpty());
}

// Where a line is split and a record judged is the record routines' (tst_records);
// here, what of a whole file reaches the database.
void TestImportUnit::recordsThroughAWholeRun_data()
{
    QTest::addColumn<bool>("catalogue");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("errors");
    QTest::addColumn<Rows>("stored");

    QTest::newRow("blank-only line skipped")
        << false << QByteArray("1;a\r\n \t \r\n2;b") << 3 << 0 << Rows{"1|a", "2|b"};
    QTest::newRow("blanks and LF at line ends")
        << false << QByteArray("\n 5;e \n\r\n6;f  ") << 2 << 0 << Rows{"5|e", "6|f"};
    QTest::newRow("rejected readers") << false << QByteArray("abc;x\r\n;y\r\nnomer;lname\r\n\"4\";d\r\n'5';e") << 5 << 4
                                      << Rows{"4|d"};
    QTest::newRow("reader number kept as written")
        << false << QByteArray("007;a\r\n-3;b") << 2 << 0 << Rows{"7|a", "-3|b"};
    QTest::newRow("rejected items") << true << QByteArray("x;A\r\n;B\r\n12;C\r\n-;D") << 4 << 3 << Rows{"0000000012|0"};
    // The price is the thirteenth field.
    const auto priced = [](const char *number, const char *price) { return number + QByteArray(12, ';') + price; };
    QTest::newRow("price beyond 32 bits rejected")
        << true << priced("1", "21474836,48") + "\r\n" + priced("2", "21474836,47") << 2 << 1
        << Rows{"0000000002|2147483647"};
    const QByteArray forms
        = priced("1", "12.5") + "\r\n" + priced("2", "3") + "\r\n" + priced("3", "1 000,00") + "\r\n4";
    QTest::newRow("price forms") << true << forms << 4 << 0
                                 << Rows{"0000000001|1250", "0000000002|300", "0000000003|100000", "0000000004|0"};
    const QByteArray unread = priced("1", "-5") + "\r\n" + priced("2", "12,345") + "\r\n" + priced("3", "1 000.000")
        + "\r\n" + priced("4", "12 50") + "\r\n" + priced("5", "7,05 руб.");
    QTest::newRow("prices not read as another amount") << true << unread << 5 << 5 << Rows{};
    QTest::newRow("negative item numbers rejected, none shares an empty barcode")
        << true << QByteArray("-7;A;T;Place;Press\r\n-8;B\r\n-0;C") << 3 << 2 << Rows{"0000000000|0"};
    QTest::newRow("ten megabytes of digits rejected, nothing quoted")
        << true << QByteArray(10 << 20, '7') + ";A\r\n8;B" << 2 << 1 << Rows{"0000000008|0"};
    QTest::newRow("item number beyond 32 bits rejected, the run goes on")
        << true << QByteArray("5;A\r\n2147483648;B\r\n6;C") << 3 << 1 << Rows{"0000000005|0", "0000000006|0"};
}

void TestImportUnit::recordsThroughAWholeRun()
{
    QFETCH(bool, catalogue);
    QFETCH(QByteArray, bytes);
    QFETCH(int, total);
    QFETCH(int, errors);
    QFETCH(Rows, stored);
    ImportReport report;
    QCOMPARE(run(bytes, catalogue ? ImportMode::Catalogue : ImportMode::Readers, report), QString());
    QCOMPARE(report.total, total);
    QCOMPARE(report.processed, total);
    QCOMPARE(report.errors, errors);
    const QString path = m_db.path();
    QCOMPARE(DbReader(path).rows(catalogue ? "select barcod, cost from catalog order by num"
                                           : "select nomer, lname from readers order by num"),
             stored);
    // Nothing went to the other mode's table.
    QCOMPARE(DbReader(path).value(catalogue ? "select count(*) from readers" : "select count(*) from catalog"),
             QByteArray("0"));
}

void TestImportUnit::unreadableFileRunsNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("empty path") << QStringLiteral("empty");
    QTest::newRow("missing file") << QStringLiteral("missing");
    QTest::newRow("locked by another program") << QStringLiteral("locked");
}

void TestImportUnit::unreadableFileRunsNothing()
{
    QFETCH(QString, kind);
    DbReader(m_db.path()).exec("insert into catalog (num, barcod) values (90, 'old')");
    QString path = writeFile("1;A\r\n");
    QFile held(path);
    if (kind == QStringLiteral("empty")) {
        path.clear();
    } else if (kind == QStringLiteral("missing")) {
        path += QStringLiteral(".gone");
    } else {
        QVERIFY(held.open(QIODevice::ReadWrite));
        QCOMPARE(::flock(held.handle(), LOCK_EX | LOCK_NB), 0);
    }
    // Not even the clearing asked for runs.
    Recorder recorder;
    ImportReport report;
    QCOMPARE(runImport(session(), ImportRequest{path, ImportMode::Catalogue, true, false}, recorder, report),
             ImportOutcome::NotOpened);
    QVERIFY(recorder.heard.isEmpty());
    QCOMPARE(m_db.value("select barcod from catalog"), QByteArray("old"));
}

void TestImportUnit::oversizedFileRefusedUnread()
{
    DbReader(m_db.path()).exec("insert into catalog (num, barcod) values (90, 'old')");
    const QString path = writeFile("1;A\r\n");
    QVERIFY(QFile::resize(path, qint64(1) << 31));
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    if (qint64(info.st_blocks) * 512 > (qint64(1) << 20))
        QSKIP("the file system keeps no sparse files");
    Recorder recorder;
    ImportReport report;
    QString error;
    try {
        runImport(session(), ImportRequest{path, ImportMode::Catalogue, true, false}, recorder, report);
    } catch (const AppError &e) {
        error = e.text();
    }
    QVERIFY2(error.contains(QStringLiteral("слишком велик")), qPrintable(error));
    QVERIFY2(error.contains(QStringLiteral("2147483648")), qPrintable(error));
    QVERIFY(recorder.heard.isEmpty());
    QCOMPARE(m_db.value("select barcod from catalog"), QByteArray("old"));
    QFile::remove(path);
}

void TestImportUnit::longNumberRejectedQuickly()
{
    // Ten megabytes of digits as an item number: rejected like any other
    // number too large, in one pass, and never quoted whole.
    const QByteArray digits(10 << 20, '7');
    ImportReport report;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(run(digits + ";A\r\n5;B", ImportMode::Catalogue, report), QString());
    qDebug("ten megabytes of digits handled in %lld ms", timer.elapsed());
    QCOMPARE(report.errors, 1);
    QCOMPARE(report.rejected.value(0).reason,
             QStringLiteral("номер больше 2147483647: «") + QString(40, u'7') + QStringLiteral("…»"));
    QCOMPARE(report.rejected.value(0).text.size(), digits.size() + 2);
    QCOMPARE(shortQuote(report.rejected.value(0).text), QString(60, u'7') + QChar(0x2026));
    QCOMPARE(m_db.rows("select barcod from catalog"), Rows{"0000000005"});
}

void TestImportUnit::rejectedLinesFileFormat()
{
    const QList<RejectedLine> lines{
        {1, QString(), "a;b"}, {4, QString(), toCp1251(QStringLiteral("Ёж;«x»"))}, {9, QString(), "x\ny"}};
    QCOMPARE(rejectedLinesFile(lines), "a;b\r\n" + toCp1251(QStringLiteral("Ёж;«x»")) + "\r\nx\ny\r\n");
    // Imported again, the same records come back, line for line.
    ImportReport report;
    QCOMPARE(run(rejectedLinesFile(lines), ImportMode::Readers, report), QString());
    QCOMPARE(report.rejected.size(), 3);
    for (qsizetype i = 0; i < lines.size(); ++i)
        QCOMPARE(report.rejected[i].text, lines[i].text);
}

void TestImportUnit::rejectedLinesFileNamed_data()
{
    QTest::addColumn<QString>("input");
    // Files already in the folder.
    QTest::addColumn<QStringList>("there");
    QTest::addColumn<QString>("named");

    QTest::newRow("the suffix kept") << QStringLiteral("catalog.csv") << QStringList()
                                     << QStringLiteral("catalog.ошибки.2024-05-20_14-03.csv");
    QTest::newRow("dots in the name") << QStringLiteral("a.b.txt") << QStringList()
                                      << QStringLiteral("a.b.ошибки.2024-05-20_14-03.txt");
    QTest::newRow("no suffix") << QStringLiteral("export") << QStringList()
                               << QStringLiteral("export.ошибки.2024-05-20_14-03");
    QTest::newRow("an earlier run's file of the same minute kept")
        << QStringLiteral("catalog.csv") << QStringList{QStringLiteral("catalog.ошибки.2024-05-20_14-03.csv")}
        << QStringLiteral("catalog.ошибки.2024-05-20_14-03_2.csv");
    QTest::newRow("two of them") << QStringLiteral("export")
                                 << QStringList{QStringLiteral("export.ошибки.2024-05-20_14-03"),
                                                QStringLiteral("export.ошибки.2024-05-20_14-03_2")}
                                 << QStringLiteral("export.ошибки.2024-05-20_14-03_3");
}

void TestImportUnit::rejectedLinesFileNamed()
{
    QFETCH(QString, input);
    QFETCH(QStringList, there);
    QFETCH(QString, named);

    QTemporaryDir folder;
    const QDir dir(folder.path());
    for (const QString &name : there) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QDateTime when(QDate(2024, 5, 20), QTime(14, 3, 59));
    QCOMPARE(rejectedLinesFileName(dir.filePath(input), when), dir.filePath(named));
}

void TestImportUnit::groupsCommitWholeRecords_data()
{
    QTest::addColumn<int>("records");
    // The clock's step at every reading, about once a record.
    QTest::addColumn<int>("msPerReading");
    QTest::addColumn<qint32>("stopAfter");
    QTest::addColumn<quint64>("commits");
    QTest::addColumn<qint32>("stored");

    QTest::newRow("a short run: one commit") << 10 << 0 << -1 << quint64(1) << 10;
    QTest::newRow("a group each quarter of a second") << 10 << 100 << -1 << quint64(3) << 10;
    QTest::newRow("a group each thousand records") << 2500 << 0 << -1 << quint64(3) << 2500;
    QTest::newRow("stopped as a group ends") << 10 << 100 << 4 << quint64(1) << 4;
    QTest::newRow("stopped inside a group") << 10 << 100 << 6 << quint64(2) << 6;
    QTest::newRow("nothing but rejected lines: nothing to commit") << -5 << 100 << -1 << quint64(0) << 0;
}

void TestImportUnit::groupsCommitWholeRecords()
{
    QFETCH(int, records);
    QFETCH(int, msPerReading);
    QFETCH(qint32, stopAfter);
    QFETCH(quint64, commits);
    QFETCH(qint32, stored);

    QByteArray bytes;
    for (int i = 1; i <= std::abs(records); ++i)
        bytes += (records < 0 ? "x" : QByteArray::number(i)) + ";A;T;Place;Press\r\n";
    const QString file = writeFile(bytes);
    const quint64 before = session().connection().commits();
    Recorder stopping(stopAfter);
    ImportReport report;
    {
        const SteppingClock clock(msPerReading);
        runImport(session(), ImportRequest{file, ImportMode::Catalogue, false, false}, stopping, report);
    }
    QCOMPARE(session().connection().commits() - before, commits);
    // Stored is what is committed, every record whole.
    QCOMPARE(report.stored, stored);
    QCOMPARE(m_db.value("select count(*) || '|' || (select count(*) from izdatelstvo) from catalog"),
             QByteArray::number(stored) + '|' + QByteArray::number(stored));
}

void TestImportUnit::resumeGoesOnAfterWhatIsStored_data()
{
    // Groups of four records, each taking a quarter of a second.
    QTest::addColumn<qint32>("killAfter");
    QTest::addColumn<qint32>("stopAfter");
    // A commit the database refuses once the group holds item number 6.
    QTest::addColumn<bool>("commitRefused");
    // What becomes of the file before it is imported again.
    QTest::addColumn<QString>("change");
    QTest::addColumn<qint32>("stored");
    QTest::addColumn<ResumePoint::State>("state");
    QTest::addColumn<qint64>("line");

    using S = ResumePoint::State;
    // The journal names the group of records 1 to 4 as committing; it did.
    QTest::newRow("killed inside the second group") << 6 << -1 << false << QString() << 4 << S::Resumable << qint64(5);
    QTest::newRow("killed inside the first group: nothing to go on from")
        << 2 << -1 << false << QString() << 0 << S::None << qint64(0);
    // The journal names the group of records 5 to 8 as committing; it did not.
    QTest::newRow("a commit that never came") << -1 << -1 << true << QString() << 4 << S::Resumable << qint64(5);
    QTest::newRow("stopped") << -1 << 6 << false << QString() << 6 << S::Resumable << qint64(7);
    QTest::newRow("the whole file done") << -1 << -1 << false << QString() << 10 << S::None << qint64(0);
    QTest::newRow("a file grown since") << 6 << -1 << false << QStringLiteral("grown") << 4 << S::Changed << qint64(0);
    QTest::newRow("a file touched since")
        << 6 << -1 << false << QStringLiteral("touched") << 4 << S::Changed << qint64(0);
}

void TestImportUnit::resumeGoesOnAfterWhatIsStored()
{
    QFETCH(qint32, killAfter);
    QFETCH(qint32, stopAfter);
    QFETCH(bool, commitRefused);
    QFETCH(QString, change);
    QFETCH(qint32, stored);
    QFETCH(ResumePoint::State, state);
    QFETCH(qint64, line);

    if (commitRefused) {
        DbReader admin(m_db.path());
        admin.exec("create exception never 'not now'");
        admin.exec("create trigger refuse_commit on transaction commit as begin "
                   "if (exists(select 1 from catalog where barcod = '0000000006')) then exception never; end");
        // An attachment reads the database's triggers as it attaches.
        connectAs(m_db.path(), adminParams());
    }
    QByteArray bytes;
    for (int i = 1; i <= 10; ++i)
        bytes += QByteArray::number(i) + ";A;T;Place;Press\r\n";
    const QString file = writeFile(bytes);
    KilledAfter run(killAfter, stopAfter);
    ImportReport report;
    QString error;
    try {
        const SteppingClock clock(100);
        runImport(session(), ImportRequest{file, ImportMode::Catalogue, false, false}, run, report);
    } catch (const Killed &) {
    } catch (const AppError &e) {
        error = e.text();
    }
    if (commitRefused) {
        QVERIFY2(error.startsWith(QStringLiteral("База данных не приняла записи со строки 5 файла.\nСохранено записей: "
                                                 "4; запись со строки 5 файла не сохранена, продолжить можно с неё.")),
                 qPrintable(error));
        DbReader(m_db.path()).exec("drop trigger refuse_commit");
        connectAs(m_db.path(), adminParams());
    }
    QCOMPARE(m_db.value("select count(*) from catalog"), QByteArray::number(stored));
    if (change == QLatin1String("grown")) {
        QFile grown(file);
        QVERIFY(grown.open(QIODevice::Append) && grown.write("11;B\r\n") > 0);
    } else if (change == QLatin1String("touched")) {
        QFile touched(file);
        QVERIFY(touched.open(QIODevice::ReadWrite));
        QVERIFY(touched.setFileTime(QFileInfo(file).lastModified().addSecs(-60), QFileDevice::FileModificationTime));
    }

    const ResumePoint resume = resumePoint(session().connection(), file, ImportMode::Catalogue);
    QCOMPARE(resume.state, state);
    QCOMPARE(resume.line, line);
    if (state == ResumePoint::State::Changed)
        return;
    // Gone on from there, or begun again when there is nothing to go on
    // from, every record of the file is stored once.
    if (stored < 10) {
        Recorder rest;
        try {
            runImport(session(), ImportRequest{file, ImportMode::Catalogue, false, false, std::max<qint64>(resume.line, 1)}, rest,
                      report);
        } catch (const AppError &e) {
            QFAIL(qPrintable(e.text()));
        }
    }
    QCOMPARE(m_db.value("select count(*) || '|' || count(distinct barcod) || '|' || "
                        "(select count(*) from izdatelstvo) from catalog"),
             QByteArray("10|10|10"));
    QCOMPARE(resumePoint(session().connection(), file, ImportMode::Catalogue).state,
             ResumePoint::State::None);
}

namespace {

// A field drawn at random: mostly short, now and then long, mostly of
// plain letters, now and then of Cyrillic, blanks, apostrophes, quotes and
// the signs that character sets lack; never a separator or a line end.
QByteArray randomText(QRandomGenerator &random)
{
    static const qsizetype lengths[]
        = {0, 1, 4, 5, 6, 8, 9, 10, 11, 12, 20, 29, 30, 31, 40, 41, 49, 50, 51, 99, 100, 101, 249, 250, 251, 300};
    const qsizetype length
        = random.bounded(10) < 8 ? random.bounded(12) : lengths[random.bounded(int(std::size(lengths)))];
    static const QByteArray plain = "abcxyzABC019.-, ";
    static const QByteArray odd = "'\"\xE0\xE1\xC0\xFF\xA8\xB8\xAB\xBB\x98\x96\xB9\t";
    QByteArray text;
    for (qsizetype i = 0; i < length; ++i) {
        const QByteArray &from = random.bounded(20) == 0 ? odd : plain;
        text += from[random.bounded(int(from.size()))];
    }
    // A run of blanks before the end, which a cut may leave at the end.
    if (random.bounded(6) == 0) {
        const qsizetype from = random.bounded(int(text.size()) + 1);
        text = text.left(from) + QByteArray(text.size() - from, ' ') + "z";
    }
    return text;
}

QByteArray randomNumber(QRandomGenerator &random)
{
    static const char *const odd[] = {"007",
                                      "-0",
                                      "-5",
                                      "2147483647",
                                      "2147483648",
                                      "-2147483648",
                                      "-2147483649",
                                      "99999999999",
                                      "9223372036854775807",
                                      "9223372036854775808",
                                      "-9223372036854775808",
                                      "-9223372036854775809",
                                      "99999999999999999999999",
                                      "\"12\"",
                                      "'12'",
                                      "",
                                      "abc",
                                      "12a",
                                      "21474836",
                                      "21474837",
                                      "12345678",
                                      "123456789"};
    if (random.bounded(10) < 9) {
        qint64 bound = 10;
        for (int digits = random.bounded(9); digits > 0; --digits)
            bound *= 10;
        return QByteArray::number(random.bounded(bound));
    }
    return odd[random.bounded(int(std::size(odd)))];
}

QByteArray randomPrice(QRandomGenerator &random)
{
    static const char *const prices[] = {"", "12", "12,5", "12.50", "1 000,00", "0", "327,67", "327,68", "21474836,47"};
    static const char *const odd[] = {"12,345", "99999999", "21474836,48", "abc", "1.000,00"};
    if (random.bounded(10) < 9)
        return prices[random.bounded(int(std::size(prices)))];
    return odd[random.bounded(int(std::size(odd)))];
}

QByteArray randomExport(ImportMode mode, int records, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes;
    const int fields = mode == ImportMode::Catalogue ? 13 : 9;
    for (int record = 0; record < records; ++record) {
        QList<QByteArray> line{randomNumber(random)};
        const int count = random.bounded(10) == 0 ? 1 + random.bounded(fields + 2) : fields;
        for (int field = 2; field <= count; ++field)
            line += field == 13 && mode == ImportMode::Catalogue ? randomPrice(random) : randomText(random);
        bytes += line.join(';') + "\r\n";
    }
    return bytes;
}

} // namespace

void TestImportUnit::checkAgreesWithTheRun_data()
{
    QTest::addColumn<ImportMode>("mode");
    QTest::addColumn<Rows>("setup");

    const ImportMode catalogue = ImportMode::Catalogue;
    const ImportMode readers = ImportMode::Readers;
    QTest::newRow("catalogue as shipped") << catalogue << Rows{};
    QTest::newRow("readers as shipped") << readers << Rows{};
    QTest::newRow("catalogue, columns shorter than the cuts")
        << catalogue << Rows{"alter table izdatelstvo drop mesto", "alter table izdatelstvo add mesto varchar(30)",
                             "alter table catalog drop autor",     "alter table catalog add autor varchar(40)",
                             "alter table catalog drop izdata2",   "alter table catalog add izdata2 char(4)"};
    QTest::newRow("catalogue, a longer column, other character sets, a 16-bit price")
        << catalogue
        << Rows{"alter table catalog drop title",   "alter table catalog add title varchar(500)",
                "alter table izdatelstvo drop izd", "alter table izdatelstvo add izd varchar(100) character set koi8r",
                "alter table catalog drop isbn",    "alter table catalog add isbn varchar(100) character set ascii",
                "alter table catalog drop vid",     "alter table catalog add vid varchar(20) character set utf8",
                "alter table catalog drop cost",    "alter table catalog add cost smallint"};
    QTest::newRow("readers, 64-bit numbers")
        << readers << Rows{"alter table readers drop nomer", "alter table readers add nomer bigint"};
    QTest::newRow("readers, the number as text, shorter names in other sets")
        << readers
        << Rows{"alter table readers drop nomer", "alter table readers add nomer varchar(8)",
                "alter table readers drop lname", "alter table readers add lname varchar(10) character set utf8",
                "alter table readers drop note",  "alter table readers add note char(20) character set iso8859_5"};
    QTest::newRow("readers, columns that may not be empty")
        << readers
        << Rows{"alter table readers alter fname set not null",
                "alter table readers add must_have varchar(1) default 'x' not null", "alter table readers drop nomer",
                "alter table readers add nomer numeric(9,2)"};
}

void TestImportUnit::checkAgreesWithTheRun()
{
    QFETCH(ImportMode, mode);
    QFETCH(Rows, setup);

    for (const QByteArray &statement : setup)
        DbReader(m_db.path()).exec(statement);
    const QString file = writeFile(randomExport(mode, 1000, quint32(qHash(QTest::currentDataTag()))));
    // The program's own account, as the window and the tool judge and store.
    connectAs(m_db.path(), builtInConnectionParams());

    // What the check says of each line: rejected with its reason, refused
    // by the database, or (not in the map) stored.
    const QString refused = QStringLiteral("refused by the database");
    const QString databaseWont = QStringLiteral("база данных не примет");
    ImportReport check;
    QMap<qint64, QString> checked;
    {
        Recorder recorder;
        check = ImportReport();
        QCOMPARE(runImport(session(), ImportRequest{file, mode, false, true}, recorder, check), ImportOutcome::Finished);
        for (const RejectedLine &line : std::as_const(check.rejected))
            checked[line.line] = line.reason.startsWith(databaseWont) ? refused : line.reason;
    }

    // What the real run does with each: run again from the line after each
    // refusal, as a user would after mending the line.
    QMap<qint64, QString> ran;
    qint32 stored = 0;
    for (qint64 from = 1; from > 0;) {
        Recorder recorder;
        ImportReport report;
        try {
            runImport(session(), ImportRequest{file, mode, false, false, from}, recorder, report);
            from = 0;
        } catch (const AppError &e) {
            QVERIFY2(report.failedLine >= from, qPrintable(e.text()));
            ran[report.failedLine] = refused;
            from = report.failedLine + 1;
        }
        for (const RejectedLine &line : std::as_const(report.rejected))
            ran[line.line] = line.reason;
        stored += report.stored;
    }
    QCOMPARE(checked, ran);
    QCOMPARE(check.stored, stored);
    const QByteArray table = mode == ImportMode::Catalogue ? "catalog" : "readers";
    QCOMPARE(DbReader(m_db.path()).value("select count(*) from " + table), QByteArray::number(stored));
    qInfo("%d stored, %d rejected, %d refused by the database", stored, int(check.errors - check.refused),
          int(check.refused));
}

QTEST_GUILESS_MAIN(TestImportUnit)
#include "tst_importunit.moc"
