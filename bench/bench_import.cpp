// Imports generated catalogue records and reader cards through the main
// window's import run and through the database tool's headless import, and
// has Firebird's own isql-fb run the same statements with a commit after each
// against another fresh database; prints the rates, and the time the
// window's check of the catalogue file takes. Once with the files opened by
// the embedded engine, once through the suite's private Firebird server over
// loopback.
//
//   bench_import [--records N] [--dbtool PATH] [--isql PATH]

#include "app/mainform.h"
#include "app/resulttext.h"
#include "base/text1251.h"
#include "db/dataset.h"
#include "db/dbcreate.h"
#include "db/engine.h"
#include "fbserver.h"
#include "import/records.h"
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

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const QString &text)
{
    std::fprintf(stderr, "bench_import: %s\n", qPrintable(text));
    std::exit(1);
}

QByteArray catalogueFile(int records)
{
    QByteArray bytes;
    for (int i = 1; i <= records; ++i) {
        bytes += toCp1251(QStringLiteral("%1;Автор %1 А. Б.;Название книги № %1;Москва;Издательство %2;1985;5-0000-%1;"
                                         "1000;200 с.;книга;Абонемент;основной;%3,50\r\n")
                              .arg(i)
                              .arg(i % 97)
                              .arg(i % 1000));
    }
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

struct Timing {
    double catalogue = 0;
    double readers = 0;
    double check = 0;
    double total() const { return catalogue + readers; }
};

Timing runProgram(const QString &database, const QString &catalogue, const QString &readers, int records)
{
    QStringList errors;
    platform::showError = [&](QWidget *, const QString &text) { errors += text; };

    TFormMain form;
    form.BazaPath = database;
    form.show();
    QCoreApplication::processEvents();
    form.Login->setText(QStringLiteral("admin"));
    form.Password->setText(QStringLiteral("admin"));
    form.BitBtnGO->click();
    if (!form.PageControl1->isVisible())
        fail(QStringLiteral("could not sign in to %1").arg(database));
    form.PageControl1->setCurrentWidget(form.TabSheetIM);
    QCoreApplication::processEvents();

    const QString expected = QStringLiteral("уже обработано: %1").arg(records);
    const auto importOne = [&](QRadioButton *mode, const QString &file) {
        mode->click();
        form.EditF->setText(file);
        QElapsedTimer timer;
        timer.start();
        form.BitBtnIM->click();
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (!errors.isEmpty())
            fail(QStringLiteral("the import failed: %1").arg(errors.join(u'\n')));
        if (form.LabelTC->text() != expected || form.LabelTE->text() != QStringLiteral("из них ошибок: 0"))
            fail(QStringLiteral("unexpected counters: %1, %2").arg(form.LabelTC->text(), form.LabelTE->text()));
        return seconds;
    };
    Timing timing;
    timing.catalogue = importOne(form.RadioCA, catalogue);
    timing.readers = importOne(form.RadioKA, readers);

    // The check of the catalogue file, with every item number already in
    // the catalogue to look up.
    form.RadioCA->click();
    form.EditF->setText(catalogue);
    QElapsedTimer timer;
    timer.start();
    form.BitBtnCheck->click();
    timing.check = timer.nsecsElapsed() / 1e9;
    if (form.LabelCC->text() != QStringLiteral("проверка завершена")
        || !form.LabelCheck->text().contains(QStringLiteral("уже есть в каталоге: %1 (").arg(records)))
        fail(QStringLiteral("unexpected check: %1 %2").arg(form.LabelCC->text(), form.LabelCheck->text()));
    form.BitBtnGO->click();
    return timing;
}

// The database tool's import of one file, as a script would run it.
double runHeadless(const QString &tool, const QString &mode, const QString &file, const QString &database)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    process.start(tool, {QStringLiteral("import"), mode, file, database});
    if (!process.waitForFinished(-1))
        fail(QStringLiteral("%1 import did not finish").arg(tool));
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        fail(QStringLiteral("%1 import failed: %2").arg(tool, QString::fromLocal8Bit(process.readAll())));
    return seconds;
}

// isql-fb as the given user; an embedded one in the program's own engine
// configuration, so that both run the engine the same way.
double runIsql(const QString &isql, const QString &database, const QByteArray &password, const QString &script)
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
    QElapsedTimer timer;
    timer.start();
    process.start(isql, arguments << database << QStringLiteral("-i") << script);
    if (!process.waitForFinished(-1))
        fail(QStringLiteral("%1 did not finish").arg(isql));
    const double seconds = timer.nsecsElapsed() / 1e9;
    const QByteArray output = process.readAll();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 || !output.trimmed().isEmpty())
        fail(QStringLiteral("%1 failed: %2").arg(isql, QString::fromLocal8Bit(output)));
    return seconds;
}

QByteArray isqlScript(const QList<QByteArray> &statements)
{
    QByteArray script = "SET NAMES WIN1251;\n";
    for (const QByteArray &statement : statements)
        script += statement + ";\ncommit;\n";
    return script;
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
    const QCommandLineOption toolOption(
        QStringLiteral("dbtool"), QStringLiteral("the database tool"), QStringLiteral("path"),
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../utilities-db")));
    const QCommandLineOption isqlOption(QStringLiteral("isql"), QStringLiteral("Firebird's isql"),
                                        QStringLiteral("path"), QStringLiteral("isql-fb"));
    parser.addOptions({recordsOption, toolOption, isqlOption});
    parser.addHelpOption();
    parser.process(app);
    const int records = parser.value(recordsOption).toInt();
    if (records <= 0)
        fail(QStringLiteral("--records wants a positive number"));

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
    const QString catalogueSql = dir.filePath(QStringLiteral("catalog.sql"));
    const QString readersSql = dir.filePath(QStringLiteral("readers.sql"));
    writeFile(catalogueSql, isqlScript(catalogueStatements));
    writeFile(readersSql, isqlScript(readerStatements));

    const auto line = [](const char *what, int recordCount, qsizetype statements, double windowSeconds,
                         double headlessSeconds, double isqlSeconds) {
        const double windowRate = recordCount / windowSeconds;
        const double headlessRate = recordCount / headlessSeconds;
        const double isqlRate = recordCount / isqlSeconds;
        std::printf("%-10s %6d records %6lld statements  window %7.1f rec/s (%6.2f s)  headless %7.1f rec/s (%6.2f s)"
                    "  isql-fb %7.1f rec/s (%6.2f s)  window/isql %.3f  headless/window %.3f\n",
                    what, recordCount, static_cast<long long>(statements), windowRate, windowSeconds, headlessRate,
                    headlessSeconds, isqlRate, isqlSeconds, windowRate / isqlRate, headlessRate / windowRate);
    };
    // One pass: the window into one database, the headless import into a
    // second, isql-fb into a third.
    const auto pass = [&](const QString &windowDb, const QString &headlessDb, const QString &isqlDb,
                          const QByteArray &password) {
        const Timing window = runProgram(windowDb, catalogueCsv, readersCsv, records);
        Timing headless;
        headless.catalogue = runHeadless(parser.value(toolOption), QStringLiteral("catalog"), catalogueCsv, headlessDb);
        headless.readers = runHeadless(parser.value(toolOption), QStringLiteral("readers"), readersCsv, headlessDb);
        Timing isql;
        isql.catalogue = runIsql(parser.value(isqlOption), isqlDb, password, catalogueSql);
        isql.readers = runIsql(parser.value(isqlOption), isqlDb, password, readersSql);
        for (const QString &database : {windowDb, headlessDb, isqlDb}) {
            for (const char *table : {"catalog", "izdatelstvo", "readers"}) {
                const QByteArray rows = count(database, adminParams("SYSDBA", password), table);
                if (rows != QByteArray::number(records))
                    fail(QStringLiteral("%1 in %2 holds %3 rows").arg(table, database, rows));
            }
        }
        line("catalogue", records, catalogueStatements.size(), window.catalogue, headless.catalogue, isql.catalogue);
        line("readers", records, readerStatements.size(), window.readers, headless.readers, isql.readers);
        line("total", 2 * records, catalogueStatements.size() + readerStatements.size(), window.total(),
             headless.total(), isql.total());
        std::printf("check      %6d records  window %.3f s (%.0f rec/s)\n", records, window.check,
                    records / window.check);
    };

    std::printf("embedded engine, files in %s\n", qPrintable(dir.path()));
    const QString programDb = dir.filePath(QStringLiteral("program.fdb"));
    const QString headlessDb = dir.filePath(QStringLiteral("headless.fdb"));
    const QString isqlDb = dir.filePath(QStringLiteral("isql.fdb"));
    for (const QString &database : {programDb, headlessDb, isqlDb})
        createDatabase(parser.value(toolOption), database);
    pass(programDb, headlessDb, isqlDb, QByteArray());

    FbServer server;
    if (!server.running())
        fail(server.error());
    std::printf("through a Firebird server on 127.0.0.1:%d\n", server.port());
    const QString serverProgramDb = server.createDatabase(QStringLiteral("program.fdb"));
    const QString serverHeadlessDb = server.createDatabase(QStringLiteral("headless.fdb"));
    const QString serverIsqlDb = server.createDatabase(QStringLiteral("isql.fdb"));
    if (serverProgramDb.isEmpty() || serverHeadlessDb.isEmpty() || serverIsqlDb.isEmpty())
        fail(server.failure());
    pass(serverProgramDb, serverHeadlessDb, serverIsqlDb, server.adminPassword());
    return 0;
}
