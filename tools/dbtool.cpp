// The program's database tool: creates a database file from the schema
// (optionally with demo rows), readies the program's own account on a
// database, restores a backup into a new database, names the embedded
// engine's configuration folder, and imports a text export without the
// window.

#include "auth/account.h"
#include "auth/autent.h"
#include "db/dataset.h"
#include "db/dbcreate.h"
#include "db/engine.h"
#include "db/errors.h"
#include "db/fbservice.h"
#include "db/settings.h"
#include "db/text1251.h"
#include "db/utilites.h"
#include "import/backup.h"
#include "import/importrun.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>

#include <cstdio>

#include <unistd.h>

namespace {

QByteArray readScript(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString()));
    // Scripts are kept in UTF-8; the database speaks Windows-1251.
    return toCp1251(QString::fromUtf8(file.readAll()));
}

int fail(const QString &text)
{
    std::fprintf(stderr, "utilities-db: %s\n", qPrintable(text));
    return 1;
}

// The administrator's credentials, as Firebird's own tools take them.
QList<QByteArray> adminLogin(const QCommandLineParser &parser)
{
    QByteArray user = parser.value(QStringLiteral("user")).toUtf8();
    if (user.isEmpty())
        user = qgetenv("ISC_USER");
    if (user.isEmpty())
        user = "SYSDBA";
    QByteArray password = parser.value(QStringLiteral("password")).toUtf8();
    if (password.isEmpty())
        password = qgetenv("ISC_PASSWORD");
    return adminParams(user, password);
}

void attachAsAdmin(DbConnection &connection, const QString &database, const QCommandLineParser &parser)
{
    connection.params = adminLogin(parser);
    connection.databaseName = database;
    connection.open();
}

int create(const QString &file, const QCommandLineParser &parser)
{
    const QString path = QFileInfo(file).absoluteFilePath();
    if (QFileInfo::exists(path)) {
        if (!parser.isSet(QStringLiteral("force")))
            return fail(QStringLiteral("%1 already exists; use --force to replace it").arg(path));
        if (!QFile::remove(path))
            return fail(QStringLiteral("cannot remove %1").arg(path));
    }
    if (!QFileInfo(QFileInfo(path).absolutePath()).isDir())
        return fail(QStringLiteral("folder of %1 does not exist").arg(path));

    try {
        const QString schema = parser.value(QStringLiteral("schema"));
        QList<QByteArray> scripts{readScript(schema.isEmpty() ? QStringLiteral(":/schema/schema.sql") : schema)};
        if (parser.isSet(QStringLiteral("demo")))
            scripts.append(readScript(QStringLiteral(":/schema/demo.sql")));
        createDatabase(path, scripts);
        DbConnection connection;
        attachAsAdmin(connection, path, parser);
        grantAccountRights(&connection);
        connection.close();
    } catch (const AppError &e) {
        QFile::remove(path);
        return fail(e.text());
    }
    std::printf("created %s\n", qPrintable(path));
    return 0;
}

int grant(const QString &database, const QCommandLineParser &parser)
{
    try {
        DbConnection connection;
        attachAsAdmin(connection, database, parser);
        if (serviceTarget(database).onServer()) {
            // One password per server, made here and kept in the settings:
            // a password already kept is used again, so that running this
            // on a further desk does not lock the others out.
            const QString settings = parser.isSet(QStringLiteral("settings")) ? parser.value(QStringLiteral("settings"))
                                                                              : systemSettingsFile();
            QByteArray password = accountPasswordIn(settings);
            const bool fresh = parser.isSet(QStringLiteral("new-password"));
            const ServerAccount account = serverAccount(&connection, password);
            if (account == ServerAccount::Refused && !fresh) {
                const QString why = password.isEmpty()
                    ? QStringLiteral("на сервере уже есть учётная запись программы, а в файле настроек «%1» "
                                     "нет её пароля")
                          .arg(settings)
                    : QStringLiteral("сервер не принимает пароль учётной записи программы из файла настроек «%1»")
                          .arg(settings);
                return fail(why
                            + QStringLiteral(". Перенесите строку «account%20password=…» из файла настроек рабочего "
                                             "места, где grant для этого сервера уже выполнен, или задайте новый "
                                             "пароль ключом --new-password (тогда его строку переносят на все "
                                             "рабочие места). Ничего не изменено."));
            }
            if (fresh || password.isEmpty())
                password = newAccountPassword();
            // Kept before the server hears it, so that a settings file this
            // user may not write leaves the server as it was.
            if (password != accountPasswordIn(settings))
                keepAccountPassword(settings, password);
            if (fresh || account == ServerAccount::Missing)
                setServerAccountPassword(&connection, password);
            grantAccountRights(&connection);
            connection.close();
            std::printf("%s\n",
                        qPrintable(QStringLiteral("учётная запись программы готова на сервере и получила свои "
                                                  "права в базе %1; её пароль в файле настроек «%2»")
                                       .arg(database, settings)));
            return 0;
        }
        grantAccountRights(&connection);
        connection.close();
        std::printf("%s\n",
                    qPrintable(QStringLiteral("учётная запись программы получила свои права в базе %1 "
                                              "(встроенному серверу пароль не нужен)")
                                   .arg(database)));
    } catch (const AppError &e) {
        return fail(e.text());
    }
    return 0;
}

// Deletes a database that a failed restore left, as the administrator;
// a file that cannot be attached is deleted as a file.
void removeDatabase(const QString &database, bool localFile, const QCommandLineParser &parser)
{
    try {
        DbConnection connection;
        attachAsAdmin(connection, database, parser);
        connection.dropDatabase();
    } catch (const AppError &) {
        if (localFile)
            QFile::remove(database);
    }
}

// The tables whose rows differ from what was expected, each with both
// counts; a table that cannot be counted differs.
QStringList rowDifferences(DbConnection *connection, const TableRows &expected)
{
    QStringList differences;
    for (const auto &[table, rows] : expected) {
        QString found;
        try {
            QByteArray name = toCp1251(table);
            name.replace('"', "\"\"");
            const qint64 actual = selectValue(connection, "select count(*) from \"" + name + "\"").toLongLong();
            if (actual == rows)
                continue;
            found = QString::number(actual);
        } catch (const DbError &) {
            found = QStringLiteral("таблицы нет");
        }
        differences.append(QStringLiteral("%1: в копии %2, восстановлено %3").arg(table).arg(rows).arg(found));
    }
    return differences;
}

int restore(const QString &backup, const QString &database, const QCommandLineParser &parser)
{
    const bool force = parser.isSet(QStringLiteral("force"));
    const ServiceTarget target = serviceTarget(database);
    // Through a server both names are the server's; only a local file can
    // be looked at before the service runs.
    QString backupFile = backup;
    QString newDatabase = database;
    bool madeHere = false;
    if (!target.onServer()) {
        backupFile = QFileInfo(backup).absoluteFilePath();
        newDatabase = target.database;
        if (!QFileInfo(backupFile).isFile())
            return fail(QStringLiteral("нет файла резервной копии %1").arg(backupFile));
        if (QFileInfo::exists(newDatabase) && !force)
            return fail(QStringLiteral("%1 уже есть; заменить её можно ключом --force").arg(newDatabase));
        if (!QFileInfo(QFileInfo(newDatabase).absolutePath()).isDir())
            return fail(QStringLiteral("нет папки для %1").arg(newDatabase));
        madeHere = !QFileInfo::exists(newDatabase);
    }

    // The record the program wrote beside its backup, where this machine
    // sees it (a server on this machine names the same files).
    const std::optional<BackupRecord> record = readBackupRecord(backupRecordName(backupFile));
    QStringList checked;
    if (record && !record->sha256.isEmpty() && QFileInfo(backupFile).isReadable()) {
        if (fileSha256(backupFile) != record->sha256)
            return fail(QStringLiteral("резервная копия %1 повреждена: её контрольная сумма SHA-256 не та, что "
                                       "записана при её создании в %2; ничего не восстановлено")
                            .arg(backupFile, backupRecordName(backupFile)));
        checked.append(QStringLiteral("контрольная сумма копии та же, что при её создании"));
    }

    // A backup cut short has the embedded engine ask on standard input for
    // its next volume; nobody answers that here, so it reads an end instead
    // and the restore fails rather than waits for ever.
    if (!target.onServer())
        std::freopen("/dev/null", "r", stdin);
    TableRows restored;
    try {
        restored = restoreThroughService(target.manager, serviceLogin(adminLogin(parser)), backupFile, target.database,
                                         force);
    } catch (const ServiceError &e) {
        if (e.reason() == ServiceError::Reason::Exists)
            return fail(QStringLiteral("%1 уже есть; заменить её можно ключом --force\n%2").arg(database, e.text()));
        // A half-made database is of no use and would stand in the way.
        if (madeHere || restoreMadeDatabase(e.output))
            removeDatabase(newDatabase, !target.onServer(), parser);
        return fail(QStringLiteral("не удалось восстановить %1 в %2, новая база удалена; служба сказала:\n%3")
                        .arg(backupFile, newDatabase, e.text()));
    }

    // Every table holds the rows the backup wrote of it: the record's
    // counts, or without a record, the restore's own.
    const TableRows expected = record ? record->rows : restored;
    try {
        DbConnection connection;
        attachAsAdmin(connection, newDatabase, parser);
        const QStringList differences = rowDifferences(&connection, expected);
        if (!differences.isEmpty()) {
            connection.dropDatabase();
            return fail(QStringLiteral("восстановленная база %1 не совпадает с копией, новая база удалена:\n%2")
                            .arg(newDatabase, differences.join(u'\n')));
        }
        // The rights come back with the backup; granted again all the
        // same, so that a backup from before a right changed works too.
        grantAccountRights(&connection);
        connection.close();
    } catch (const AppError &e) {
        removeDatabase(newDatabase, !target.onServer(), parser);
        return fail(
            QStringLiteral("восстановленную базу %1 не удалось проверить, она удалена: %2").arg(newDatabase, e.text()));
    }
    qint64 rows = 0;
    for (const auto &table : expected)
        rows += table.second;
    checked.append(record ? QStringLiteral("строки всех таблиц (%1, всего %2) — как записано при создании копии")
                                .arg(expected.size())
                                .arg(rows)
                          : QStringLiteral("записи о копии рядом с ней нет: строки всех таблиц (%1, всего %2) "
                                           "сверены с тем, что сообщило само восстановление")
                                .arg(expected.size())
                                .arg(rows));
    std::printf("%s\n", qPrintable(QStringLiteral("восстановлено: %1 в %2").arg(backupFile, newDatabase)));
    for (const QString &line : checked)
        std::printf("%s\n", qPrintable(QStringLiteral("проверено: ") + line));
    return 0;
}

// The terminal as an import run's observer: each phase on a line of its
// own, and one progress line (records, rate, time left) kept up to date a
// few times a second, in place on a terminal.
class TerminalObserver : public ImportObserver {
public:
    TerminalObserver() : m_inPlace(::isatty(STDOUT_FILENO) == 1) {}

    void phaseChanged(ImportPhase phase, qint32 total) override
    {
        endProgress();
        if (phase == ImportPhase::Importing || phase == ImportPhase::Checking)
            say(QStringLiteral("%1, всего записей: %2").arg(phaseCaption(phase)).arg(total));
        else
            say(phaseCaption(phase));
    }

    void formatFound(const FileFormat &format) override { say(formatDescription(format)); }

    void clearingStep(qsizetype done, qsizetype count, const char *statement) override
    {
        say(QStringLiteral("  %1 из %2: %3").arg(done).arg(count).arg(QLatin1String(statement)));
    }

    void recordDone(qint32 total, qint32 processed, qint32 errors) override
    {
        m_total = total;
        m_processed = processed;
        m_errors = errors;
    }

    void rateChanged(double perSecond, qint64 secondsLeft) override
    {
        const QString line = QStringLiteral("записей: %1 из %2, ошибок: %3, %4")
                                 .arg(m_processed)
                                 .arg(m_total)
                                 .arg(m_errors)
                                 .arg(rateDescription(perSecond, secondsLeft));
        if (m_inPlace) {
            std::printf("\r%s\033[K", line.toLocal8Bit().constData());
            m_progressShown = true;
        } else {
            std::printf("%s\n", line.toLocal8Bit().constData());
        }
        std::fflush(stdout);
    }

    bool stopWanted() override { return false; }

    void endProgress()
    {
        if (m_progressShown)
            std::printf("\n");
        m_progressShown = false;
        std::fflush(stdout);
    }

    static void say(const QString &text)
    {
        std::printf("%s\n", text.toLocal8Bit().constData());
        std::fflush(stdout);
    }

private:
    bool m_inPlace;
    bool m_progressShown = false;
    qint32 m_total = 0;
    qint32 m_processed = 0;
    qint32 m_errors = 0;
};

// Writes the rejected lines beside the input file, whole or not at all.
void writeRejected(const QString &input, const ImportReport &report)
{
    if (report.rejected.isEmpty())
        return;
    const QString name = rejectedLinesFileName(input);
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(rejectedLinesFile(report.rejected)) < 0 || !file.commit()) {
        std::fprintf(stderr, "utilities-db: не удаётся записать отвергнутые строки в %s: %s\n", qPrintable(name),
                     qPrintable(file.errorString()));
        return;
    }
    TerminalObserver::say(
        QStringLiteral("отвергнутые строки (%1) записаны в %2").arg(report.rejected.size()).arg(name));
}

// 0 when every record was stored (or would be), 2 when some were rejected,
// 1 when the run could not start or ended with an error.
int importFile(const QString &modeName, const QString &input, const QString &database, const QCommandLineParser &parser)
{
    ImportRequest request;
    if (modeName == QLatin1String("catalog"))
        request.mode = ImportMode::Catalogue;
    else if (modeName == QLatin1String("readers"))
        request.mode = ImportMode::Readers;
    else
        return fail(QStringLiteral("the import mode is catalog or readers, not %1").arg(modeName));
    request.fileName = input;
    request.clear = parser.isSet(QStringLiteral("clear"));
    request.checkOnly = parser.isSet(QStringLiteral("check"));

    // The program's own account, as the window signs in with.
    QObject owner;
    DbConnection connection;
    connection.params = builtInConnectionParams();
    connection.databaseName = database;
    try {
        connection.open();
    } catch (const std::exception &e) {
        return fail(
            QStringLiteral("не удалось открыть базу данных «%1»:\n%2").arg(database, QString::fromUtf8(e.what())));
    }
    sharedDb() = SharedDb{&owner, &connection, nullptr};
    const auto detach = qScopeGuard([&] {
        sharedDb() = SharedDb{};
        connection.forceClose();
    });

    TerminalObserver observer;
    ImportReport report;
    ImportOutcome outcome;
    try {
        outcome = runImport(request, observer, report);
    } catch (const std::exception &e) {
        observer.endProgress();
        writeRejected(input, report);
        return fail(QString::fromUtf8(e.what()));
    }
    observer.endProgress();
    if (outcome == ImportOutcome::NotOpened)
        return fail(QStringLiteral("не удаётся открыть файл «%1»").arg(input));
    TerminalObserver::say(QStringLiteral("%1: всего записей %2, обработано %3, из них ошибок %4")
                              .arg(outcomeCaption(outcome, request.checkOnly))
                              .arg(report.total)
                              .arg(report.processed)
                              .arg(report.errors));
    if (request.checkOnly) {
        for (const QString &line : checkSummary(report, request.mode, request.clear))
            TerminalObserver::say(line);
    }
    writeRejected(input, report);
    return report.rejected.isEmpty() ? 0 : 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("utilities-db"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The utilities program's database tool.\n\n"
                       "  utilities-db [create] FILE [--demo] [--force] [--schema SCRIPT]\n"
                       "      creates a database file from the schema, owned by SYSDBA, with the\n"
                       "      program's account granted its rights\n"
                       "  utilities-db grant DATABASE [--user NAME] [--password PASSWORD]\n"
                       "                   [--settings FILE] [--new-password]\n"
                       "      as the given administrator (default SYSDBA, or ISC_USER/ISC_PASSWORD):\n"
                       "      through a server, creates the program's account with a password made\n"
                       "      for that server and keeps it in the system-wide settings file (or\n"
                       "      FILE), using a password already kept there again; on any database,\n"
                       "      grants the account exactly the rights it needs\n"
                       "  utilities-db restore BACKUP NEWDB [--force] [--user NAME] [--password PASSWORD]\n"
                       "      restores a backup made before a wipe into a new database: a file, or a\n"
                       "      server's connection string with BACKUP named as the server sees it; as\n"
                       "      the given administrator, who owns the new database; the program's\n"
                       "      account gets its rights there. It never replaces an existing database\n"
                       "      unless told to with --force\n"
                       "  utilities-db engine-root\n"
                       "      prints the folder to give other embedded clients as FIREBIRD, so that\n"
                       "      they share database files with the program\n"
                       "  utilities-db import catalog|readers FILE DATABASE [--clear] [--check]\n"
                       "      imports a text export as the program's import tab does, through the\n"
                       "      program's account; --clear empties the mode's tables first, --check\n"
                       "      only reads and judges the records and changes nothing. Rejected lines\n"
                       "      go to a file beside FILE. Exit status 0: all stored (or storable);\n"
                       "      2: some lines rejected; 1: the run could not start or ended with an\n"
                       "      error"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("create, grant, restore, engine-root or import (default create)"));
    parser.addOptions({
        {QStringLiteral("demo"), QStringLiteral("fill in the demo accounts and ranges")},
        {QStringLiteral("force"), QStringLiteral("replace an existing file or database")},
        {QStringLiteral("schema"), QStringLiteral("use this schema script instead of the built-in one"),
         QStringLiteral("script")},
        {QStringLiteral("user"), QStringLiteral("the administrator's user name"), QStringLiteral("name")},
        {QStringLiteral("password"), QStringLiteral("the administrator's password"), QStringLiteral("password")},
        {QStringLiteral("settings"),
         QStringLiteral("grant: keep the account's password in this settings file, not the system-wide one"),
         QStringLiteral("file")},
        {QStringLiteral("new-password"),
         QStringLiteral("grant: give the account on the server a new password, even where it has one")},
        {QStringLiteral("clear"), QStringLiteral("import: empty the mode's tables first")},
        {QStringLiteral("check"), QStringLiteral("import: check the file only, changing nothing")},
    });
    parser.process(app);

    QStringList args = parser.positionalArguments();
    const QString command = args.value(0);
    if (command == QLatin1String("engine-root") && args.size() == 1) {
        const QString root = embeddedEngineRoot();
        if (root.isEmpty())
            return fail(QStringLiteral("the system's Firebird files were not found"));
        std::printf("%s\n", qPrintable(root));
        return 0;
    }
    if (command == QLatin1String("grant") && args.size() == 2)
        return grant(args[1], parser);
    if (command == QLatin1String("restore") && args.size() == 3)
        return restore(args[1], args[2], parser);
    if (command == QLatin1String("import")) {
        if (args.size() != 4)
            return fail(QStringLiteral("import wants a mode, a file and a database (see --help)"));
        return importFile(args[1], args[2], args[3], parser);
    }
    if (command == QLatin1String("create"))
        args.removeFirst();
    if (args.size() != 1)
        return fail(QStringLiteral("give a command and its database (see --help)"));
    return create(args[0], parser);
}
