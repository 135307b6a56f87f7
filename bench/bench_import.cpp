// Imports generated catalogue records and reader cards through the main
// window's import run and through the database tool's headless import, and
// has Firebird's own isql-fb run the same statements twice, with a commit
// after each and in one transaction, each into a fresh database; prints the
// rates and their ratios, and the time the window's check of the catalogue
// file takes. Once with the files opened by the embedded engine, once
// through the suite's private Firebird server over loopback. With --big-mb,
// imports a big export of that size (1024 for the 1 GB case; it takes long)
// with the database tool and prints its rate and the tool's peak memory;
// last, has eight desks import files and eight keep the barcode register at
// once through the server, and prints each desk's rate and the whole.
//
//   bench_import [--records N] [--big-mb MB] [--big-window] [--desks N]
//                [--desk-records N] [--range-steps N] [--dbtool PATH] [--isql PATH]

#include "app/mainform.h"
#include "app/resulttext.h"
#include "base/platform.h"
#include "base/text1251.h"
#include "db/dataset.h"
#include "db/dbcreate.h"
#include "db/engine.h"
#include "fbserver.h"
#include "import/records.h"
#include "manydesks.h"
#include "ui/uiplatform.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

[[noreturn]] void fail(const QString &text)
{
    std::fprintf(stderr, "bench_import: %s\n", qPrintable(text));
    std::exit(1);
}

QByteArray catalogueLine(qint64 i)
{
    return toCp1251(QStringLiteral("%1;Автор %1 А. Б.;Название книги № %1;Москва;Издательство %2;1985;5-0000-%1;"
                                   "1000;200 с.;книга;Абонемент;основной;%3,50\r\n")
                        .arg(i)
                        .arg(i % 97)
                        .arg(i % 1000));
}

QByteArray catalogueFile(int records)
{
    QByteArray bytes;
    for (int i = 1; i <= records; ++i)
        bytes += catalogueLine(i);
    return bytes;
}

QByteArray readersFile(int records)
{
    QByteArray bytes;
    for (int i = 1; i <= records; ++i) {
        bytes += toCp1251(QStringLiteral("%1;Фамилия%1;Имя;Завод «Маяк»;инженер;12-34-56;ул. Ленина, д. %2;65-43-21;"
                                         "примечание\r\n")
                              .arg(i)
                              .arg(i % 200));
    }
    return bytes;
}

// The statements the import run sends for a file, in order.
QList<QByteArray> statementsOf(const QByteArray &buffer, ImportMode mode)
{
    QList<QByteArray> all;
    for (qsizetype position = 0; position != -1; position = NextRecordStart(buffer, position)) {
        const QByteArray text = recordText(buffer, position);
        if (text.isEmpty())
            continue;
        if (const auto statements = recordStatements(text, mode))
            all += *statements;
    }
    return all;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write %1").arg(path));
}

void createDatabase(const QString &tool, const QString &path)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(tool, {QStringLiteral("create"), path, QStringLiteral("--demo")});
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        fail(QStringLiteral("%1 failed: %2").arg(tool, QString::fromLocal8Bit(process.readAll())));
}

QByteArray count(const QString &database, const QList<QByteArray> &login, const char *table)
{
    DbConnection connection;
    connection.params = login;
    connection.databaseName = database;
    connection.open();
    const QByteArray n = selectValue(&connection, QByteArray("select count(*) from ") + table);
    connection.close();
    return n;
}

// Processor seconds of this process (its engine's threads included), or of
// its children waited for so far.
double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    const auto seconds = [](const timeval &time) { return double(time.tv_sec) + time.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The wall-clock and processor seconds a piece of work took.
struct Spent {
    double wall = 0;
    double cpu = 0;
};

// Measures from its making: this process's processor time, or its
// children's.
class Stopwatch {
public:
    explicit Stopwatch(int who) : m_who(who), m_cpu(cpuSeconds(who)) { m_wall.start(); }
    Spent spent() const { return {m_wall.nsecsElapsed() / 1e9, cpuSeconds(m_who) - m_cpu}; }

private:
    int m_who;
    double m_cpu;
    QElapsedTimer m_wall;
};

struct Timing {
    Spent catalogue;
    Spent readers;
    Spent check;
    // The headless tool's own start, attach and end: a run over a file of
    // one rejected line.
    Spent start;
};

// The window shown and signed in as the demo administrator, on its import tab.
void signInToImportTab(TFormMain &form, const QString &database)
{
    form.BazaPath = database;
    form.show();
    QCoreApplication::processEvents();
    form.Login->setText(QStringLiteral("admin"));
    form.Password->setText(QStringLiteral("admin"));
    form.BitBtnGO->click();
    if (!form.PageControl1->isVisible())
        fail(QStringLiteral("could not sign in to %1").arg(database));
    form.PageControl1->setCurrentWidget(form.TabSheetIM);
}

Timing runProgram(const QString &database, const QString &catalogue, const QString &readers, int records)
{
    QStringList errors;
    platform::showError = [&](QWidget *, const QString &text) { errors += text; };

    TFormMain form;
    signInToImportTab(form, database);
    QCoreApplication::processEvents();

    const QString expected = QStringLiteral("уже обработано: %1").arg(records);
    const auto importOne = [&](QRadioButton *mode, const QString &file) {
        mode->click();
        form.EditF->setText(file);
        const Stopwatch stopwatch(RUSAGE_SELF);
        form.BitBtnIM->click();
        const Spent spent = stopwatch.spent();
        if (!errors.isEmpty())
            fail(QStringLiteral("the import failed: %1").arg(errors.join(u'\n')));
        if (form.LabelTC->text() != expected || form.LabelTE->text() != QStringLiteral("из них ошибок: 0"))
            fail(QStringLiteral("unexpected counters: %1, %2").arg(form.LabelTC->text(), form.LabelTE->text()));
        return spent;
    };
    Timing timing;
    timing.catalogue = importOne(form.RadioCA, catalogue);
    timing.readers = importOne(form.RadioKA, readers);

    // The check of the catalogue file, with every item number already in
    // the catalogue to look up.
    form.RadioCA->click();
    form.EditF->setText(catalogue);
    const Stopwatch stopwatch(RUSAGE_SELF);
    form.BitBtnCheck->click();
    timing.check = stopwatch.spent();
    if (form.LabelCC->text() != QStringLiteral("проверка завершена")
        || !form.LabelCheck->text().contains(QStringLiteral("уже есть в каталоге: %1 (").arg(records)))
        fail(QStringLiteral("unexpected check: %1 %2").arg(form.LabelCC->text(), form.LabelCheck->text()));
    form.BitBtnGO->click();
    return timing;
}

// The database tool's import of one file, as a script would run it.
// Where the program's account password is kept for the server in use, as
// a desk's settings: empty for files opened by the embedded engine.
QString settingsFolder;

Spent runHeadless(const QString &tool, const QString &mode, const QString &file, const QString &database,
                  int status = 0)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!settingsFolder.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), settingsFolder);
        process.setProcessEnvironment(environment);
    }
    const Stopwatch stopwatch(RUSAGE_CHILDREN);
    process.start(tool, {QStringLiteral("import"), mode, file, database});
    if (!process.waitForFinished(-1))
        fail(QStringLiteral("%1 import did not finish").arg(tool));
    const Spent spent = stopwatch.spent();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != status)
        fail(QStringLiteral("%1 import failed: %2").arg(tool, QString::fromLocal8Bit(process.readAll())));
    return spent;
}

// isql-fb as the given user; an embedded one in the program's own engine
// configuration, so that both run the engine the same way.
Spent runIsql(const QString &isql, const QString &database, const QByteArray &password, const QString &script)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!embeddedEngineRoot().isEmpty())
        environment.insert(QStringLiteral("FIREBIRD"), embeddedEngineRoot());
    process.setProcessEnvironment(environment);
    QStringList arguments{QStringLiteral("-user"),   QStringLiteral("SYSDBA"), QStringLiteral("-ch"),
                          QStringLiteral("WIN1251"), QStringLiteral("-b"),     QStringLiteral("-q")};
    if (!password.isEmpty())
        arguments << QStringLiteral("-password") << QString::fromLatin1(password);
    const Stopwatch stopwatch(RUSAGE_CHILDREN);
    process.start(isql, arguments << database << QStringLiteral("-i") << script);
    if (!process.waitForFinished(-1))
        fail(QStringLiteral("%1 did not finish").arg(isql));
    const Spent spent = stopwatch.spent();
    const QByteArray output = process.readAll();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 || !output.trimmed().isEmpty())
        fail(QStringLiteral("%1 failed: %2").arg(isql, QString::fromLocal8Bit(output)));
    return spent;
}

QByteArray isqlScript(const QList<QByteArray> &statements, bool oneTransaction)
{
    QByteArray script = "SET NAMES WIN1251;\n";
    for (const QByteArray &statement : statements)
        script += statement + (oneTransaction ? ";\n" : ";\ncommit;\n");
    if (oneTransaction)
        script += "commit;\n";
    return script;
}

// A child run to its end, with its peak memory.
struct Measured {
    double seconds = 0;
    double cpu = 0;
    qint64 peakKb = 0;
    int status = -1;
};

Measured spawnMeasured(const QStringList &command)
{
    QList<QByteArray> words;
    for (const QString &word : command)
        words.append(QFile::encodeName(word));
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    // Its progress lines would bury the figures.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0)
        fail(QStringLiteral("cannot start %1").arg(command.first()));
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        fail(QStringLiteral("lost %1").arg(command.first()));
    Measured measured;
    measured.seconds = timer.nsecsElapsed() / 1e9;
    measured.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    measured.peakKb = usage.ru_maxrss;
    measured.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return measured;
}

// The catalogue's records, numbered from 1, until the file holds at least
// megabytes; returns how many.
qint64 writeBigFile(const QString &path, qint64 megabytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail(QStringLiteral("cannot write %1").arg(path));
    const qint64 wanted = megabytes << 20;
    qint64 records = 0;
    QByteArray piece;
    while (file.size() + piece.size() < wanted) {
        piece += catalogueLine(++records);
        if (piece.size() >= (1 << 20)) {
            file.write(piece);
            piece.clear();
        }
    }
    file.write(piece);
    return records;
}

// The window alone importing one catalogue file, for its own process's
// peak memory: prints the seconds it took.
int windowOnly(const QString &file, const QString &database)
{
    QStringList errors;
    platform::showError = [&](QWidget *, const QString &text) { errors += text; };
    TFormMain form;
    signInToImportTab(form, database);
    form.RadioCA->click();
    form.EditF->setText(file);
    QElapsedTimer timer;
    timer.start();
    form.BitBtnIM->click();
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (!errors.isEmpty() || form.LabelTE->text() != QStringLiteral("из них ошибок: 0"))
        fail(QStringLiteral("the window's import failed: %1 %2").arg(errors.join(u'\n'), form.LabelTE->text()));
    std::printf("%.3f\n", seconds);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QCommandLineParser parser;
    const QCommandLineOption recordsOption(QStringLiteral("records"), QStringLiteral("records of each kind"),
                                           QStringLiteral("n"), QStringLiteral("20000"));
    const QCommandLineOption bigOption(QStringLiteral("big-mb"), QStringLiteral("size of the big export, 0 for none"),
                                       QStringLiteral("mb"), QStringLiteral("0"));
    const QCommandLineOption bigWindowOption(QStringLiteral("big-window"),
                                             QStringLiteral("import the big export through the window too"));
    const QCommandLineOption desksOption(QStringLiteral("desks"), QStringLiteral("desks of each kind, 0 for none"),
                                         QStringLiteral("n"), QStringLiteral("8"));
    const QCommandLineOption deskRecordsOption(QStringLiteral("desk-records"),
                                               QStringLiteral("records each importing desk stores"),
                                               QStringLiteral("n"), QStringLiteral("5000"));
    const QCommandLineOption rangeStepsOption(QStringLiteral("range-steps"),
                                              QStringLiteral("adds and deletes of each register desk"),
                                              QStringLiteral("n"), QStringLiteral("300"));
    const QCommandLineOption windowOnlyOption(QStringLiteral("window-only"),
                                              QStringLiteral("(inner) the window alone importing FILE into DB"));
    const QCommandLineOption toolOption(
        QStringLiteral("dbtool"), QStringLiteral("the database tool"), QStringLiteral("path"),
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../utilities-db")));
    const QCommandLineOption isqlOption(QStringLiteral("isql"), QStringLiteral("Firebird's isql"),
                                        QStringLiteral("path"), QStringLiteral("isql-fb"));
    parser.addOptions({recordsOption, bigOption, bigWindowOption, desksOption, deskRecordsOption, rangeStepsOption,
                       windowOnlyOption, toolOption, isqlOption});
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("file"), QString());
    parser.process(app);
    if (parser.isSet(windowOnlyOption))
        return windowOnly(parser.positionalArguments().value(0), parser.positionalArguments().value(1));
    const int records = parser.value(recordsOption).toInt();
    if (records <= 0)
        fail(QStringLiteral("--records wants a positive number"));
    const QString tool = QFileInfo(parser.value(toolOption)).absoluteFilePath();

    QTemporaryDir dir;
    if (!dir.isValid())
        fail(QStringLiteral("no temporary folder"));
    const QByteArray catalogue = catalogueFile(records);
    const QByteArray readers = readersFile(records);
    const QString catalogueCsv = dir.filePath(QStringLiteral("catalog.csv"));
    const QString readersCsv = dir.filePath(QStringLiteral("readers.csv"));
    writeFile(catalogueCsv, catalogue);
    writeFile(readersCsv, readers);
    const QList<QByteArray> catalogueStatements = statementsOf(catalogue, ImportMode::Catalogue);
    const QList<QByteArray> readerStatements = statementsOf(readers, ImportMode::Readers);
    const QString catalogueEach = dir.filePath(QStringLiteral("catalog-each.sql"));
    const QString readersEach = dir.filePath(QStringLiteral("readers-each.sql"));
    const QString catalogueOne = dir.filePath(QStringLiteral("catalog-one.sql"));
    const QString readersOne = dir.filePath(QStringLiteral("readers-one.sql"));
    writeFile(catalogueEach, isqlScript(catalogueStatements, false));
    writeFile(readersEach, isqlScript(readerStatements, false));
    writeFile(catalogueOne, isqlScript(catalogueStatements, true));
    writeFile(readersOne, isqlScript(readerStatements, true));

    // A file the tool reads and rejects whole: what a run costs besides its
    // records.
    const QString rejectedCsv = dir.filePath(QStringLiteral("rejected.csv"));
    writeFile(rejectedCsv, "x\r\n");

    struct Rates {
        double window = 0;
        double headless = 0;
        // Processor microseconds a record, the least of the rounds.
        double windowCpu = 0;
        double headlessCpu = 0;
    };
    // One pass: the window, the headless import and isql-fb in one
    // transaction, each into a database of its own, several times over in
    // turn, and isql-fb with a commit a statement once. The rates are the
    // fastest run's, as on shared cores the others' work stretches a run
    // now and then; the ratios are the middle one of the rounds' own, each
    // of runs made one after the other. With the engine in this process,
    // the ratios of processor time too, which the others' work stretches
    // less.
    constexpr int kRounds = 5;
    const auto fastest = [](const QList<Timing> &timings, Spent Timing::*part) {
        double best = (timings.front().*part).wall;
        for (const Timing &timing : timings)
            best = std::min(best, (timing.*part).wall);
        return best;
    };
    const auto least = [](const QList<Timing> &timings, Spent Timing::*part) {
        double best = (timings.front().*part).cpu;
        for (const Timing &timing : timings)
            best = std::min(best, (timing.*part).cpu);
        return best;
    };
    const auto middle = [](QList<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    const auto pass = [&](const std::function<QString(const QString &)> &make, const QByteArray &password, bool local) {
        const auto counted = [&](const QString &database) {
            for (const char *table : {"catalog", "izdatelstvo", "readers"}) {
                const QByteArray rows = count(database, adminParams("SYSDBA", password), table);
                if (rows != QByteArray::number(records))
                    fail(QStringLiteral("%1 in %2 holds %3 rows").arg(table, database, rows));
            }
        };
        QList<Timing> windows;
        QList<Timing> headlesses;
        QList<Timing> ones;
        for (int round = 1; round <= kRounds; ++round) {
            const QString windowDb = make(QStringLiteral("program%1.fdb").arg(round));
            windows.append(runProgram(windowDb, catalogueCsv, readersCsv, records));
            counted(windowDb);
            const QString headlessDb = make(QStringLiteral("headless%1.fdb").arg(round));
            Timing headless;
            headless.catalogue = runHeadless(tool, QStringLiteral("catalog"), catalogueCsv, headlessDb);
            headless.readers = runHeadless(tool, QStringLiteral("readers"), readersCsv, headlessDb);
            headless.start = runHeadless(tool, QStringLiteral("catalog"), rejectedCsv, headlessDb, 2);
            headlesses.append(headless);
            counted(headlessDb);
            const QString oneDb = make(QStringLiteral("isql-one%1.fdb").arg(round));
            Timing one;
            one.catalogue = runIsql(parser.value(isqlOption), oneDb, password, catalogueOne);
            one.readers = runIsql(parser.value(isqlOption), oneDb, password, readersOne);
            ones.append(one);
            counted(oneDb);
        }
        const QString eachDb = make(QStringLiteral("isql-each.fdb"));
        Timing each;
        each.catalogue = runIsql(parser.value(isqlOption), eachDb, password, catalogueEach);
        each.readers = runIsql(parser.value(isqlOption), eachDb, password, readersEach);
        counted(eachDb);

        const auto line = [&](const char *what, qsizetype statements, Spent Timing::*part) {
            Rates rates;
            rates.window = records / fastest(windows, part);
            rates.headless = records / fastest(headlesses, part);
            rates.windowCpu = 1e6 * least(windows, part) / records;
            rates.headlessCpu = 1e6 * least(headlesses, part) / records;
            QList<double> windowToOne, windowToOneCpu, headlessToWindow, headlessLessStart, headlessCpu;
            for (int round = 0; round < kRounds; ++round) {
                const Spent window = windows[round].*part;
                const Spent headless = headlesses[round].*part;
                const Spent one = ones[round].*part;
                const Spent start = headlesses[round].start;
                windowToOne.append(one.wall / window.wall);
                windowToOneCpu.append(one.cpu / window.cpu);
                headlessToWindow.append(window.wall / headless.wall);
                headlessLessStart.append(window.wall / (headless.wall - start.wall));
                headlessCpu.append(window.cpu / headless.cpu);
            }
            std::printf("%-9s %6d rec %6lld st  window %7.0f rec/s  headless %7.0f  isql-fb one %7.0f"
                        "  isql-fb each %7.0f\n",
                        what, records, static_cast<long long>(statements), rates.window, rates.headless,
                        records / fastest(ones, part), records / (each.*part).wall);
            std::printf("          window/isql-one %.2f  headless/window %.2f (%.2f less the tool's %.2f s start)"
                        "  window/isql-each %.2f\n",
                        middle(windowToOne), middle(headlessToWindow), middle(headlessLessStart),
                        fastest(headlesses, &Timing::start), (each.*part).wall / fastest(windows, part));
            if (local) {
                std::printf("          processor time: window/isql-one %.2f  headless/window %.2f\n",
                            middle(windowToOneCpu), middle(headlessCpu));
            }
            return rates;
        };
        const Rates rates = line("catalogue", catalogueStatements.size(), &Timing::catalogue);
        line("readers", readerStatements.size(), &Timing::readers);
        std::printf("check     %6d rec  window %.3f s (%.0f rec/s)\n", records, fastest(windows, &Timing::check),
                    records / fastest(windows, &Timing::check));
        std::fflush(stdout);
        return rates;
    };

    std::printf("embedded engine, files in %s; rates of the fastest of %d runs (isql-fb each of one), ratios the "
                "middle of the runs' own\n",
                qPrintable(dir.path()), kRounds);
    QStringList embedded;
    const Rates embeddedCatalogue = pass(
        [&](const QString &name) {
            embedded.append(dir.filePath(name));
            createDatabase(tool, embedded.back());
            return embedded.back();
        },
        QByteArray(), true);
    for (const QString &database : embedded)
        QFile::remove(database);

    FbServer server;
    if (!server.running())
        fail(server.error());
    std::printf("through a Firebird server on 127.0.0.1:%d\n", server.port());
    settingsFolder = server.settingsFolder();
    platform::systemSettingsFolder = [&server] { return server.settingsFolder(); };
    pass(
        [&](const QString &name) {
            const QString database = server.createDatabase(name);
            if (database.isEmpty())
                fail(server.failure());
            return database;
        },
        server.adminPassword(), false);

    const qint64 bigMb = parser.value(bigOption).toLongLong();
    if (bigMb > 0) {
        const QString big = dir.filePath(QStringLiteral("big.csv"));
        const qint64 bigRecords = writeBigFile(big, bigMb);
        const QString bigDb = dir.filePath(QStringLiteral("big.fdb"));
        createDatabase(tool, bigDb);
        const Measured headless
            = spawnMeasured({tool, QStringLiteral("import"), QStringLiteral("catalog"), big, bigDb});
        if (headless.status != 0)
            fail(QStringLiteral("the big import failed"));
        const double rate = bigRecords / headless.seconds;
        std::printf("big file  %lld MB, %lld rec  headless %.0f rec/s (%.0f s), peak memory %.1f MB"
                    "  | rate / %d-record rate %.2f; processor %.1f us a record against %.1f\n",
                    static_cast<long long>(QFileInfo(big).size() >> 20), static_cast<long long>(bigRecords), rate,
                    headless.seconds, headless.peakKb / 1024.0, records, rate / embeddedCatalogue.headless,
                    1e6 * headless.cpu / bigRecords, embeddedCatalogue.headlessCpu);
        std::fflush(stdout);
        if (parser.isSet(bigWindowOption)) {
            QFile::remove(bigDb);
            createDatabase(tool, bigDb);
            const Measured window
                = spawnMeasured({QCoreApplication::applicationFilePath(), QStringLiteral("--window-only"), big, bigDb});
            if (window.status != 0)
                fail(QStringLiteral("the window's big import failed"));
            std::printf("big file  window %.0f rec/s (%.0f s), peak memory of its process %.1f MB"
                        "  | rate / %d-record rate %.2f; processor %.1f us a record against %.1f\n",
                        bigRecords / window.seconds, window.seconds, window.peakKb / 1024.0, records,
                        bigRecords / window.seconds / embeddedCatalogue.window, 1e6 * window.cpu / bigRecords,
                        embeddedCatalogue.windowCpu);
        }
        QFile::remove(bigDb);
        QFile::remove(big);
    }

    const int desks = parser.value(desksOption).toInt();
    if (desks > 0) {
        const int deskRecords = parser.value(deskRecordsOption).toInt();
        const int rangeSteps = parser.value(rangeStepsOption).toInt();
        const QString database = server.createDatabase(QStringLiteral("desks.fdb"));
        if (database.isEmpty())
            fail(server.failure());
        QStringList files;
        for (int desk = 1; desk <= desks; ++desk) {
            files.append(dir.filePath(QStringLiteral("desk%1.csv").arg(desk)));
            writeFile(files.back(), deskCatalogue(qint64(desk) * 1000000, deskRecords));
        }
        const ManyDesks run = runManyDesks(server, database, files, desks, rangeSteps, dir.filePath("cache"));
        std::printf("%d desks importing and %d keeping the register at once, through the server, %.2f s\n", desks,
                    desks, run.seconds);
        for (const DeskRun &desk : run.imports) {
            if (desk.crashed || desk.exitCode != 0)
                fail(desk.name + QStringLiteral(" failed: ") + QString::fromUtf8(desk.output));
            std::printf("  %-10s %6d rec in %6.2f s  %7.0f rec/s\n", qPrintable(desk.name), deskRecords, desk.seconds,
                        deskRecords / desk.seconds);
        }
        for (const DeskRun &desk : run.ranges) {
            if (desk.crashed || desk.exitCode != 0)
                fail(desk.name + QStringLiteral(" failed: ") + QString::fromUtf8(desk.output));
            std::printf(
                "  %-10s %6d steps in %6.2f s  %7.0f steps/s, %lld met another desk's lock\n", qPrintable(desk.name),
                rangeSteps, desk.seconds, rangeSteps / desk.seconds,
                static_cast<long long>(desk.output.count("\nbusy ") + (desk.output.startsWith("busy ") ? 1 : 0)));
        }
        const QByteArray stored = count(database, server.adminParams(), "catalog");
        if (stored != QByteArray::number(qint64(desks) * deskRecords))
            fail(QStringLiteral("the desks' catalogue holds %1 rows").arg(QString::fromLatin1(stored)));
        std::printf("  all imports: %lld rec in %.2f s, %.0f rec/s\n",
                    static_cast<long long>(qint64(desks) * deskRecords), run.seconds,
                    desks * deskRecords / run.seconds);
    }
    return 0;
}
