#include "testdb.h"

#include "auth/autent.h"
#include "base/text1251.h"
#include "import/importrun.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <signal.h>

using Rows = QList<QByteArray>;

// The database tool's import, run as a child process the way a script runs
// it; killed in the middle of its work, it must leave whole records and an
// untouched or wholly cleared catalogue.
class TestHeadless : public QObject {
    Q_OBJECT

private slots:
    void init();

    void exitStatusOutputAndFiles_data();
    void exitStatusOutputAndFiles();
    void killedWhileClearing();
    void killedThenResumed();
    void stoppedBySignalGoesOnFromTheLine_data();
    void stoppedBySignalGoesOnFromTheLine();

private:
    QString writeFile(const QString &name, const QByteArray &bytes);
    // Starts the import; the arguments after "import".
    void start(QProcess &child, const QStringList &arguments);
    // Reads the child's output a line at a time until one matches.
    QRegularExpressionMatch waitForLine(QProcess &child, const QRegularExpression &pattern, QByteArray &seen);
    QByteArray tableCounts() const
    {
        return DbReader(m_path).value("select (select count(*) from catalog) || '|' || (select count(*) from "
                                      "izdatelstvo) || '|' || (select count(*) from readers) from rdb$database");
    }

    TestDb m_db{false};
    QTemporaryDir m_files;
    QString m_path;
};

void TestHeadless::init()
{
    m_path = m_db.freshFile();
}

QString TestHeadless::writeFile(const QString &name, const QByteArray &bytes)
{
    const QString path = m_files.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestHeadless::start(QProcess &child, const QStringList &arguments)
{
    child.setProcessChannelMode(QProcess::MergedChannels);
    // The tool's journals in a folder of the test's own.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_files.filePath(QStringLiteral("cache")));
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral(DBTOOL_PATH), QStringList{QStringLiteral("import")} + arguments);
    QVERIFY(child.waitForStarted());
}

QRegularExpressionMatch TestHeadless::waitForLine(QProcess &child, const QRegularExpression &pattern, QByteArray &seen)
{
    for (;;) {
        while (child.canReadLine()) {
            const QByteArray line = child.readLine();
            seen += line;
            const QRegularExpressionMatch match = pattern.match(QString::fromUtf8(line).trimmed());
            if (match.hasMatch())
                return match;
        }
        if (!child.waitForReadyRead(60000))
            return QRegularExpressionMatch();
    }
}

void TestHeadless::exitStatusOutputAndFiles_data()
{
    QTest::addColumn<Rows>("setup");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("said");
    QTest::addColumn<QByteArray>("counts");
    QTest::addColumn<QByteArray>("rejected");

    // FILE and DB stand for the input file and the database.
    const QString file = QStringLiteral("FILE");
    const QString db = QStringLiteral("DB");
    const QString catalog = QStringLiteral("catalog");
    const QString readers = QStringLiteral("readers");
    QTest::newRow("catalogue stored") << Rows{} << QStringList{catalog, file, db}
                                      << QByteArray("1;A;T;Place;Press\r\n2;B\r\n") << 0
                                      << QStringList{QStringLiteral("кодировка Windows-1251, концы строк: CR LF"),
                                                     QStringLiteral("импортирование данных, всего записей: 2"),
                                                     QStringLiteral(
                                                         "операция завершена: всего записей 2, обработано 2, "
                                                         "из них ошибок 0")}
                                      << QByteArray("2|1|0") << QByteArray();
    QTest::newRow("UTF-8 LF readers, rejected lines beside the file")
        << Rows{} << QStringList{readers, file, db} << QStringLiteral("1;Иванов\nx;bad\n3;Smith ✓\n").toUtf8() << 2
        << QStringList{QStringLiteral("кодировка UTF-8, концы строк: LF"),
                       QStringLiteral("операция завершена: всего записей 3, обработано 3, из них ошибок 2"),
                       QStringLiteral("отвергнутые строки (2) записаны в FILE.ошибки.csv")}
        << QByteArray("0|0|1") << QByteArray("x;bad\r\n3;Smith ?\r\n");
    QTest::newRow("check only") << Rows{"insert into catalog (num, barcod) values (1, '0000000001')"}
                                << QStringList{catalog, file, db, QStringLiteral("--check"), QStringLiteral("--clear")}
                                << QByteArray("1;A\r\n-1;B") << 2
                                << QStringList{QStringLiteral("проверка записей, всего записей: 2"),
                                               QStringLiteral("проверка завершена: всего записей 2, обработано 2, "
                                                              "из них ошибок 1"),
                                               QStringLiteral("будет сохранено записей: 1, отвергнуто: 1"),
                                               QStringLiteral("уже есть в каталоге: 1 (0000000001) — очистка перед "
                                                              "импортом их уберёт")}
                                << QByteArray("1|0|0") << QByteArray("-1;B\r\n");
    QTest::newRow("cleared first") << Rows{"insert into readers (num, nomer) values (1, 1)"}
                                   << QStringList{readers, file, db, QStringLiteral("--clear")} << QByteArray("7;a")
                                   << 0
                                   << QStringList{QStringLiteral("чистка таблицы"),
                                                  QStringLiteral("6 из 6: set generator nnzakaz to 0")}
                                   << QByteArray("0|0|1") << QByteArray();
    QTest::newRow("database error") << Rows{"alter table izdatelstvo drop mesto"} << QStringList{catalog, file, db}
                                    << QByteArray("1;A\r\n2;B;T;Place;Press\r\n3;C") << 1
                                    << QStringList{QStringLiteral(
                                                       "utilities-db: Строка 2 файла: база данных не приняла "
                                                       "запись, поле «место издания»."),
                                                   QStringLiteral("Запись: «2;B;T;Place;Press»"),
                                                   QStringLiteral("продолжить: utilities-db import catalog FILE DB "
                                                                  "--from-line 2")}
                                    << QByteArray("1|0|0") << QByteArray();
    QTest::newRow("missing file") << Rows{} << QStringList{catalog, QStringLiteral("FILE.gone"), db} << QByteArray()
                                  << 1 << QStringList{QStringLiteral("не удаётся открыть файл «FILE.gone»")}
                                  << QByteArray("0|0|0") << QByteArray();
    QTest::newRow("a folder") << Rows{} << QStringList{catalog, QStringLiteral("FOLDER"), db} << QByteArray() << 1
                              << QStringList{QStringLiteral("— папка, а не обычный файл")} << QByteArray("0|0|0")
                              << QByteArray();
    // The first install on a library's own database, before its grant.
    QTest::newRow("account without its rights")
        << Rows{"revoke all on all from " + builtInUserName()} << QStringList{catalog, file, db}
        << QByteArray("1;A\r\n") << 1
        << QStringList{QStringLiteral("utilities-db: У учётной записи программы нет прав на базу данных «DB»: их "
                                      "даёт администратор базы командой «utilities-db grant DB»"),
                       QStringLiteral("no permission for USAGE access to GENERATOR NNCATALOG")}
        << QByteArray("0|0|0") << QByteArray();
    // Line 2 would be rejected, and say so, were it read.
    QTest::newRow("from line 3") << Rows{}
                                 << QStringList{catalog, file, db, QStringLiteral("--from-line"), QStringLiteral("3")}
                                 << QByteArray("1;A\r\nx;B\r\n3;C\r\n4;D") << 0
                                 << QStringList{QStringLiteral("операция завершена: всего записей 4, обработано 4, "
                                                               "из них ошибок 0, пропущено до строки 3: 2")}
                                 << QByteArray("2|0|0") << QByteArray();
    QTest::newRow("going on with nothing to go on with")
        << Rows{} << QStringList{readers, file, db, QStringLiteral("--resume")} << QByteArray("1;a\r\n2;b") << 1
        << QStringList{QStringLiteral("прерванного импорта файла «%1» в эту базу нет, продолжать нечего; в базе "
                                      "ничего не изменено. Чтобы импортировать файл с начала, запустите импорт "
                                      "без --resume")
                           .arg(file)}
        << QByteArray("0|0|0") << QByteArray();
    QTest::newRow("going on from a line named twice")
        << Rows{} << QStringList{readers,
                                 file,
                                 db,
                                 QStringLiteral("--resume"),
                                 QStringLiteral("--from-line"),
                                 QStringLiteral("2")}
        << QByteArray("1;a") << 2
        << QStringList{QStringLiteral("import: --resume сам находит строку, с которой продолжить; --from-line с ним "
                                      "не задают")}
        << QByteArray("0|0|0") << QByteArray();
    QTest::newRow("database that cannot be opened")
        << Rows{} << QStringList{catalog, file, QStringLiteral("FOLDER/missing.fdb")} << QByteArray("1") << 1
        << QStringList{QStringLiteral("не удалось открыть базу данных")} << QByteArray("0|0|0") << QByteArray();
}

void TestHeadless::exitStatusOutputAndFiles()
{
    QFETCH(Rows, setup);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    QFETCH(QStringList, said);
    QFETCH(QByteArray, counts);
    QFETCH(QByteArray, rejected);

    for (const QByteArray &statement : setup)
        DbReader(m_path).exec(statement);
    const QString input = writeFile(QStringLiteral("export.csv"), bytes);
    // Named with the time of the run.
    const QStringList pattern{QStringLiteral("export.ошибки.*.csv")};
    for (const QString &earlier : QDir(m_files.path()).entryList(pattern))
        QFile::remove(m_files.filePath(earlier));
    QString rejectedFile;
    const auto place = [&](QString text) {
        return text.replace(QStringLiteral("FOLDER"), m_files.path())
            .replace(QStringLiteral("FILE.ошибки.csv"), rejectedFile)
            .replace(QStringLiteral("FILE"), input)
            .replace(QStringLiteral("DB"), m_path);
    };
    QStringList placed;
    for (const QString &argument : arguments)
        placed += place(argument);

    QProcess child;
    start(child, placed);
    QVERIFY(child.waitForFinished(60000));
    const QString output = QString::fromUtf8(child.readAll());
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QVERIFY2(child.exitCode() == status, qPrintable(output));
    // A run with nothing rejected writes no file.
    const QStringList written = QDir(m_files.path()).entryList(pattern);
    QCOMPARE(written.size(), rejected.isEmpty() ? 0 : 1);
    if (!rejected.isEmpty()) {
        QVERIFY2(QRegularExpression(QStringLiteral(R"(^export\.ошибки\.\d{4}-\d\d-\d\d_\d\d-\d\d\.csv$)"))
                     .match(written[0])
                     .hasMatch(),
                 qPrintable(written[0]));
        rejectedFile = m_files.filePath(written[0]);
        QFile file(rejectedFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), rejected);
        // Owner and group correct it together, whatever the umask; nobody else reads it.
        QCOMPARE(QFileInfo(rejectedFile).permissions(), kRejectedLinesPermissions);
    }
    for (const QString &text : said)
        QVERIFY2(output.contains(place(text)), qPrintable(place(text) + QStringLiteral("\nnot in:\n") + output));
    QCOMPARE(tableCounts(), counts);
}

void TestHeadless::killedWhileClearing()
{
    // An old catalogue: a thousand books, each with its publisher, and
    // 200,000 publisher rows in all. Detached again before the child runs.
    {
        DbReader old(m_path);
        old.exec("execute block as declare i integer = 1; begin while (i <= 200000) do begin insert into "
                 "izdatelstvo (num, barcod, izd) values (:i, lpad(:i, 10, '0'), 'old'); i = i + 1; end end");
        old.exec("execute block as declare i integer = 1; begin while (i <= 1000) do begin "
                 "insert into catalog (num, barcod, title) values (:i, lpad(:i, 10, '0'), 'old'); i = i + 1; end end");
        old.exec("set generator nncatalog to 1000");
        old.exec("set generator nnizdatelstvo to 200000");
    }
    QByteArray bytes;
    for (int i = 1; i <= 100; ++i)
        bytes += QByteArray::number(i) + ";A;New;Place;New press\r\n";
    const QString input = writeFile(QStringLiteral("new.csv"), bytes);

    // Killed once the catalogue's rows are deleted, while the publishers'
    // go: the clearing is one transaction, so nothing of it stays.
    QProcess child;
    start(child, {QStringLiteral("catalog"), input, m_path, QStringLiteral("--clear")});
    QByteArray seen;
    const QRegularExpressionMatch step
        = waitForLine(child, QRegularExpression(QStringLiteral("^1 из 12: delete from catalog$")), seen);
    QVERIFY2(step.hasMatch(), seen.constData());
    child.kill();
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QCOMPARE(tableCounts(), QByteArray("1000|200000|0"));
    QCOMPARE(DbReader(m_path).value("select gen_id(nncatalog, 0) || '|' || gen_id(nnizdatelstvo, 0) from rdb$database"),
             QByteArray("1000|200000"));

    // Cleared in full the next time, each new book has its one publisher.
    QProcess again;
    start(again, {QStringLiteral("catalog"), input, m_path, QStringLiteral("--clear")});
    QVERIFY(again.waitForFinished(150000));
    QVERIFY2(again.exitCode() == 0, again.readAll().constData());
    QCOMPARE(tableCounts(), QByteArray("100|100|0"));
    QCOMPARE(DbReader(m_path).value("select count(*) from catalog c join izdatelstvo i on i.barcod = c.barcod "
                                    "where i.izd = 'New press'"),
             QByteArray("100"));
}

void TestHeadless::killedThenResumed()
{
    // Each publisher row takes its time, so that a kill lands inside a
    // group, nearly always between a record's catalog row and its commit.
    DbReader(m_path).exec("create trigger slow_publisher for izdatelstvo before insert as "
                          "declare i integer = 0; begin while (i < 1000000) do i = i + 1; end");
    QByteArray bytes;
    for (int i = 1; i <= 300; ++i)
        bytes += QByteArray::number(i) + ";A;T;Place;Press\r\n";
    const QString input = writeFile(QStringLiteral("slow.csv"), bytes);
    const QStringList first{QStringLiteral("catalog"), input, m_path};
    const QStringList resume = first + QStringList{QStringLiteral("--resume")};

    for (int kill = 1; kill <= 3; ++kill) {
        QProcess child;
        start(child, kill == 1 ? first : resume);
        // Killed a little further on each time, some groups committed.
        QByteArray seen;
        QRegularExpressionMatch progress;
        do {
            progress = waitForLine(
                child, QRegularExpression(QStringLiteral(R"(^записей: ([0-9]+) из 300, ошибок: 0, [0-9]+ зап\./с)")),
                seen);
        } while (progress.hasMatch() && progress.captured(1).toInt() < 20 * kill);
        QVERIFY2(progress.hasMatch(), seen.constData());
        QThread::msleep(60);
        child.kill();
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        // Every record stored is whole; none is stored in half.
        const QList<QByteArray> stored = tableCounts().split('|');
        QCOMPARE(stored.value(0), stored.value(1));
        QCOMPARE(DbReader(m_path).value("select count(*) from catalog c "
                                        "where not exists (select 1 from izdatelstvo i where i.barcod = c.barcod)"),
                 QByteArray("0"));
        if (kill == 1) {
            // The file changed since the run is not gone on with; as it
            // was, it is again.
            const QDateTime modified = QFileInfo(input).lastModified();
            writeFile(QStringLiteral("slow.csv"), bytes + "301;B\r\n");
            QProcess refused;
            start(refused, resume);
            QVERIFY(refused.waitForFinished(60000));
            const QString said = QString::fromUtf8(refused.readAll());
            QVERIFY2(refused.exitCode() == 1 && said.contains(QStringLiteral("изменён после прерванного импорта")),
                     qPrintable(said));
            QCOMPARE(tableCounts().split('|'), stored);
            writeFile(QStringLiteral("slow.csv"), bytes);
            QFile file(input);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(modified, QFileDevice::FileModificationTime));
        }
    }
    // Gone on each time from where it was killed: every book is there once.
    DbReader(m_path).exec("drop trigger slow_publisher");
    QProcess rest;
    start(rest, resume);
    QVERIFY(rest.waitForFinished(60000));
    const QByteArray said = rest.readAll();
    QVERIFY2(rest.exitCode() == 0 && said.contains("продолжаю прерванный импорт со строки "), said.constData());
    QCOMPARE(tableCounts(), QByteArray("300|300|0"));
    QCOMPARE(DbReader(m_path).value("select count(distinct barcod) from catalog"), QByteArray("300"));
    // The whole file done, nothing is left to go on with: asked again, it
    // stores nothing rather than every book a second time.
    QProcess again;
    start(again, resume);
    QVERIFY(again.waitForFinished(60000));
    QCOMPARE(again.exitCode(), 1);
    QVERIFY(QString::fromUtf8(again.readAll()).contains(QStringLiteral("продолжать нечего")));
    QCOMPARE(tableCounts(), QByteArray("300|300|0"));
}

void TestHeadless::stoppedBySignalGoesOnFromTheLine_data()
{
    QTest::addColumn<bool>("interrupt");
    QTest::newRow("SIGTERM") << false;
    QTest::newRow("SIGINT") << true;
}

void TestHeadless::stoppedBySignalGoesOnFromTheLine()
{
    QFETCH(bool, interrupt);
    // Each publisher row takes its time, so that the signal comes mid-run.
    DbReader(m_path).exec("create trigger slow_publisher for izdatelstvo before insert as "
                          "declare i integer = 0; begin while (i < 200000) do i = i + 1; end");
    QByteArray bytes;
    for (int i = 1; i <= 300; ++i)
        bytes += QByteArray::number(i) + ";A;T;Place;Press\r\n";
    const QString input = writeFile(QStringLiteral("signalled.csv"), bytes);

    QProcess child;
    start(child, {QStringLiteral("catalog"), input, m_path});
    QByteArray seen;
    const QRegularExpressionMatch progress
        = waitForLine(child, QRegularExpression(QStringLiteral(R"(^записей: [0-9]+ из 300)")), seen);
    QVERIFY2(progress.hasMatch(), seen.constData());
    ::kill(pid_t(child.processId()), interrupt ? SIGINT : SIGTERM);
    QVERIFY(child.waitForFinished(10000));
    seen += child.readAll();
    const QString output = QString::fromUtf8(seen);
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QVERIFY2(child.exitCode() == 1, qPrintable(output));
    const QRegularExpressionMatch said
        = QRegularExpression(QStringLiteral(R"(прервано сигналом %1: всего записей 300, обработано ([0-9]+), )"
                                            R"(из них ошибок 0\nсохранено записей: \1; остановлено на строке \1 )"
                                            R"(файла; продолжить можно со строки ([0-9]+)\nпродолжить: )"
                                            R"(utilities-db import catalog \S+ \S+ --from-line \2\n)")
                                 .arg(interrupt ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM")))
              .match(output);
    QVERIFY2(said.hasMatch(), qPrintable(output));
    const int stored = said.captured(1).toInt();
    QVERIFY2(stored > 0 && stored < 300, qPrintable(output));
    QCOMPARE(said.captured(2).toInt(), stored + 1);

    // Every record it counted is whole, and the file is sound.
    const QByteArray both = QByteArray::number(stored);
    QCOMPARE(tableCounts(), both + '|' + both + "|0");
    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    check.start(
        QStringLiteral("gfix"),
        {QStringLiteral("-v"), QStringLiteral("-full"), QStringLiteral("-user"), QStringLiteral("SYSDBA"), m_path});
    QVERIFY(check.waitForFinished(60000));
    const QByteArray checked = check.readAll();
    QVERIFY2(check.exitStatus() == QProcess::NormalExit && check.exitCode() == 0 && checked.trimmed().isEmpty(),
             checked.constData());

    // Gone on from the line it named, each book is there once.
    DbReader(m_path).exec("drop trigger slow_publisher");
    QProcess rest;
    start(rest, {QStringLiteral("catalog"), input, m_path, QStringLiteral("--from-line"), said.captured(2)});
    QVERIFY(rest.waitForFinished(60000));
    QVERIFY2(rest.exitCode() == 0, rest.readAll().constData());
    QCOMPARE(tableCounts(), QByteArray("300|300|0"));
    QCOMPARE(DbReader(m_path).value("select count(distinct barcod) from catalog"), QByteArray("300"));
}

QTEST_GUILESS_MAIN(TestHeadless)
#include "tst_headless.moc"
