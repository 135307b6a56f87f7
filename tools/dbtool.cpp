// The program's database tool: creates a database file from the schema
// (optionally with demo rows), readies the program's own account on a
// database, restores a backup into a new database, names the embedded
// engine's configuration folder, and imports a text export without the
// window. It speaks Russian, as the program does; the engine's own words
// follow where it has any.

#include "auth/account.h"
#include "auth/autent.h"
#include "base/errors.h"
#include "base/settings.h"
#include "base/text1251.h"
#include "db/dataset.h"
#include "db/dbcreate.h"
#include "db/dberror.h"
#include "db/engine.h"
#include "db/fbservice.h"
#include "db/refusals.h"
#include "db/session.h"
#include "db/utilites.h"
#include "firstrun/backup.h"
#include "import/importrun.h"
#include "import/journal.h"
#include "labels/symbology.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScopeGuard>

#include <algorithm>
#include <csignal>
#include <cstdio>

#include <signal.h>
#include <unistd.h>

namespace {

QByteArray readScript(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("не удаётся прочитать «%1»: %2").arg(fileName, file.errorString()));
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

void attachAs(DbConnection &connection, const QString &database, const QList<QByteArray> &params)
{
    connection.params = params;
    connection.databaseName = database;
    connection.open();
}

QString existsText(const QString &database)
{
    return QStringLiteral("«%1» уже есть; чтобы заменить, добавьте --force").arg(database);
}

QString noFolderText(const QString &database)
{
    return QStringLiteral("нет папки для «%1»").arg(database);
}

int create(const QString &file, const QCommandLineParser &parser)
{
    const QString path = QFileInfo(file).absoluteFilePath();
    if (QFileInfo::exists(path)) {
        if (!parser.isSet(QStringLiteral("force")))
            return fail(existsText(path));
        if (!QFile::remove(path))
            return fail(QStringLiteral("не удаётся удалить «%1»").arg(path));
    }
    if (!QFileInfo(QFileInfo(path).absolutePath()).isDir())
        return fail(noFolderText(path));

    try {
        const QString schema = parser.value(QStringLiteral("schema"));
        QList<QByteArray> scripts{readScript(schema.isEmpty() ? QStringLiteral(":/schema/schema.sql") : schema)};
        if (parser.isSet(QStringLiteral("demo")))
            scripts.append(readScript(QStringLiteral(":/schema/demo.sql")));
        createDatabase(path, scripts);
        DbConnection connection;
        // As the owner the file was just created for, whoever ISC_USER names.
        attachAs(connection, path, adminParams());
        grantAccountRights(&connection);
        connection.close();
    } catch (const AppError &e) {
        QFile::remove(path);
        return fail(QStringLiteral("не удалось создать базу данных «%1»:\n\n%2").arg(path, attachRefusalText(e)));
    }
    std::printf("создана база данных «%s»\n", qPrintable(path));
    return 0;
}

int grant(const QString &database, const QCommandLineParser &parser)
{
    try {
        DbConnection connection;
        attachAs(connection, database, adminLogin(parser));
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
        return fail(QStringLiteral("не удалось дать учётной записи программы права на базу данных «%1»:\n\n%2")
                        .arg(database, attachRefusalText(e)));
    }
    return 0;
}

// Sets the symbology every desk prints the database's labels in.
int setSymbology(const QString &database, Symbology symbology, const QCommandLineParser &parser)
{
    try {
        DbConnection connection;
        attachAs(connection, database, adminLogin(parser));
        writeSymbology(connection, symbology);
        // A table made just now is of no use until the program may read it.
        grantAccountRights(&connection);
        connection.close();
    } catch (const AppError &e) {
        return fail(QStringLiteral("не удалось задать символику штрих-кода в базе данных «%1»:\n\n%2")
                        .arg(database, attachRefusalText(e)));
    }
    std::printf(
        "%s\n",
        qPrintable(
            QStringLiteral("наклейки базы %1 печатаются символикой %2").arg(database, symbologyCaption(symbology))));
    return 0;
}

// Deletes a database that a failed restore left, as the administrator;
// a file that cannot be attached is deleted as a file.
// True when there was one to delete.
bool removeDatabase(const QString &database, bool localFile, const QCommandLineParser &parser)
{
    try {
        DbConnection connection;
        attachAs(connection, database, adminLogin(parser));
        connection.dropDatabase();
        return true;
    } catch (const AppError &) {
        return localFile && QFile::remove(database);
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
            return fail(QStringLiteral("нет файла резервной копии «%1»").arg(backupFile));
        if (QFileInfo::exists(newDatabase) && !force)
            return fail(existsText(newDatabase));
        if (!QFileInfo(QFileInfo(newDatabase).absolutePath()).isDir())
            return fail(noFolderText(newDatabase));
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
            return fail(existsText(database) + QStringLiteral("\n\n") + e.text());
        // A half-made database is of no use and would stand in the way.
        const bool removed
            = (madeHere || restoreMadeDatabase(e.output)) && removeDatabase(newDatabase, !target.onServer(), parser);
        return fail(QStringLiteral("не удалось восстановить «%1» в «%2»%3; служба восстановления сообщила:\n\n%4")
                        .arg(backupFile, newDatabase, removed ? QStringLiteral(", новая база удалена") : QString(),
                             attachRefusalText(e)));
    }

    // Every table holds the rows the backup wrote of it: the record's
    // counts, or without a record, the restore's own.
    const TableRows expected = record ? record->rows : restored;
    try {
        DbConnection connection;
        attachAs(connection, newDatabase, adminLogin(parser));
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
        return fail(QStringLiteral("восстановленную базу %1 не удалось проверить, она удалена: %2")
                        .arg(newDatabase, attachRefusalText(e)));
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

// Set by SIGINT or SIGTERM during an import: the run stops after the
// record in hand, everything before it committed.
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void noteStopSignal(int signal)
{
    stopSignal = signal;
}

void stopOnSignals()
{
    struct sigaction action {};
    action.sa_handler = noteStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// An argument as a shell takes it back, for a command line to copy.
QString shellWord(const QString &text)
{
    static const QRegularExpression plain(QStringLiteral(R"(^[\w@%+=:,./-]+$)"),
                                          QRegularExpression::UseUnicodePropertiesOption);
    if (plain.match(text).hasMatch())
        return text;
    return u'\'' + QString(text).replace(QStringLiteral("'"), QStringLiteral("'\\''")) + u'\'';
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
        // Asked to stop before the first record: nothing is changed yet,
        // the clearing included.
        if (stopSignal != 0 && phase != ImportPhase::Importing && phase != ImportPhase::Checking)
            throw AppError(QStringLiteral("остановлено по сигналу до начала работы; в базе ничего не изменено"));
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

    bool stopWanted() override { return stopSignal != 0; }

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
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(kRejectedLinesPermissions)
        || file.write(rejectedLinesFile(report.rejected)) < 0 || !file.commit()) {
        std::fprintf(stderr, "utilities-db: не удаётся записать отвергнутые строки в %s: %s\n", qPrintable(name),
                     qPrintable(file.errorString()));
        return;
    }
    TerminalObserver::say(
        QStringLiteral("отвергнутые строки (%1) записаны в %2").arg(report.rejected.size()).arg(name));
}

// 0 when every record was stored (or would be), 2 when some were rejected,
// 1 when the run could not start or ended with an error.
int importFile(ImportMode mode, const QString &input, const QString &database, const QCommandLineParser &parser)
{
    ImportRequest request;
    request.mode = mode;
    request.fileName = input;
    request.clear = parser.isSet(QStringLiteral("clear"));
    request.checkOnly = parser.isSet(QStringLiteral("check"));
    if (parser.isSet(QStringLiteral("from-line")))
        request.fromLine = parser.value(QStringLiteral("from-line")).toLongLong();

    // The program's own account, as the window signs in with.
    DbSession session;
    try {
        session.open(database, builtInConnectionParams());
    } catch (const std::exception &e) {
        return fail(QStringLiteral("не удалось открыть базу данных «%1»:\n%2").arg(database, attachRefusalText(e)));
    }
    const auto detach = qScopeGuard([&] { session.connection().forceClose(); });

    if (parser.isSet(QStringLiteral("resume"))) {
        ResumePoint resume;
        try {
            resume = resumePoint(session.connection(), input, mode);
        } catch (const AppError &e) {
            return fail(e.text());
        }
        switch (resume.state) {
        case ResumePoint::State::Changed:
            return fail(QStringLiteral("файл «%1» изменён после прерванного импорта, продолжать его нельзя; в базе "
                                       "ничего не изменено. Чтобы импортировать файл с начала, запустите импорт "
                                       "без --resume")
                            .arg(input));
        case ResumePoint::State::None:
            // Run again after a whole run, from the first line it would
            // store every record twice.
            return fail(QStringLiteral("прерванного импорта файла «%1» в эту базу нет, продолжать нечего; в базе "
                                       "ничего не изменено. Чтобы импортировать файл с начала, запустите импорт "
                                       "без --resume")
                            .arg(input));
        case ResumePoint::State::Resumable:
            request.fromLine = resume.line;
            TerminalObserver::say(QStringLiteral("продолжаю прерванный импорт со строки %1").arg(resume.line));
            break;
        }
    }

    // The command that goes on from a line, for the user to copy.
    const auto goOnFrom = [&](qint64 line) {
        QStringList again{QStringLiteral("utilities-db import"),
                          mode == ImportMode::Catalogue ? QStringLiteral("catalog") : QStringLiteral("readers"),
                          shellWord(input), shellWord(database)};
        if (request.checkOnly)
            again += QStringLiteral("--check");
        again += QStringLiteral("--from-line %1").arg(line);
        return QStringLiteral("продолжить: ") + again.join(u' ');
    };

    stopOnSignals();
    TerminalObserver observer;
    ImportReport report;
    ImportOutcome outcome;
    try {
        outcome = runImport(session, request, observer, report);
    } catch (const std::exception &e) {
        observer.endProgress();
        writeRejected(input, report);
        // Explained by the run: its cause, what was stored, the line.
        const int code = fail(QString::fromUtf8(e.what()));
        if (report.failedLine > 0)
            std::fprintf(stderr, "%s\n", qPrintable(goOnFrom(report.failedLine)));
        return code;
    }
    observer.endProgress();
    if (outcome == ImportOutcome::NotOpened)
        return fail(QStringLiteral("не удаётся открыть файл «%1»").arg(input));
    // Only a signal stops a run here.
    const QString outcomeText = outcome == ImportOutcome::Stopped
        ? QStringLiteral("прервано сигналом %1").arg(stopSignal == SIGINT ? "SIGINT" : "SIGTERM")
        : outcomeCaption(outcome, request.checkOnly);
    QString summary = QStringLiteral("%1: всего записей %2, обработано %3, из них ошибок %4")
                          .arg(outcomeText)
                          .arg(report.total)
                          .arg(report.processed)
                          .arg(report.errors);
    if (report.skipped > 0)
        summary += QStringLiteral(", пропущено до строки %1: %2").arg(request.fromLine).arg(report.skipped);
    TerminalObserver::say(summary);
    if (outcome == ImportOutcome::Stopped) {
        TerminalObserver::say(stopSummary(report, request.checkOnly));
        if (report.nextLine > 0)
            TerminalObserver::say(goOnFrom(report.nextLine));
        writeRejected(input, report);
        return 1;
    }
    if (request.checkOnly) {
        for (const QString &line : checkSummary(report, request.mode, request.clear))
            TerminalObserver::say(line);
    }
    writeRejected(input, report);
    return report.rejected.isEmpty() ? 0 : 2;
}

const char kUsage[] = R"(Использование:
  utilities-db create ФАЙЛ [--demo] [--force] [--schema СЦЕНАРИЙ]
      создаёт файл базы данных по схеме, владелец SYSDBA, и даёт учётной
      записи программы её права. --demo добавляет демонстрационные учётные
      записи и диапазоны; --force заменяет существующий файл; --schema берёт
      схему из сценария SQL в UTF-8 вместо встроенной
  utilities-db --demo ФАЙЛ [--force] [--schema СЦЕНАРИЙ]
      то же, что create ФАЙЛ --demo
  utilities-db grant БАЗА [--user ИМЯ] [--password ПАРОЛЬ]
                   [--settings ФАЙЛ] [--new-password]
      от имени администратора (по умолчанию ISC_USER и ISC_PASSWORD, иначе
      SYSDBA): на сервере создаёт учётную запись программы с паролем, который
      придуман для этого сервера и хранится в общем файле настроек (или в
      ФАЙЛЕ); пароль, который там уже есть, берётся снова, --new-password
      задаёт новый; на любой базе даёт учётной записи ровно нужные ей права
  utilities-db restore КОПИЯ НОВАЯ_БАЗА [--force] [--user ИМЯ] [--password ПАРОЛЬ]
      восстанавливает резервную копию, сделанную перед очисткой, в новую
      базу: файл или строку подключения к серверу (тогда и КОПИЯ названа так,
      как её видит сервер) и проверяет её: контрольную сумму копии, слова
      службы восстановления и строки каждой таблицы; не прошедшая проверку
      новая база удаляется. Новая база принадлежит администратору, учётная
      запись программы получает на неё права. Существующую базу заменяет
      только с --force
  utilities-db engine-root
      печатает папку встроенного движка, которую указывают в FIREBIRD другим
      встроенным клиентам, чтобы они открывали файлы баз вместе с программой
  utilities-db import catalog|readers ФАЙЛ БАЗА [--clear] [--check]
                   [--from-line N | --resume]
      импортирует текстовую выгрузку, как вкладка импорта, через учётную
      запись программы: catalog — каталог, readers — картотеку читателей.
      --clear сначала очищает таблицы режима; --check только проверяет
      записи, как их примет база, и ничего не меняет; --from-line N
      продолжает со строки N файла; --resume продолжает прерванный импорт
      этого файла в эту базу с того места, до которого он сохранил записи
      (если файл с тех пор не изменён). Отвергнутые строки записываются в
      файл рядом с ФАЙЛ
  utilities-db symbology БАЗА code39|code39mod43|code128|codabar
                   [--user ИМЯ] [--password ПАРОЛЬ]
      от имени администратора задаёт символику штрих-кода, которой все
      рабочие места печатают наклейки этой базы: code39 — Code 39 без
      контрольного знака (как прежде, по умолчанию), code39mod43 — Code 39
      с контрольным знаком mod 43, code128 — Code 128, codabar — Codabar
  utilities-db --help
      печатает эту справку

Код завершения: 0 — сделано; 1 — не сделано, причина в stderr; 2 — ошибка
в вызове (не хватает аргумента, лишний аргумент, неизвестное слово или
параметр), ничего не сделано; у import 2 ещё значит, что часть строк
отвергнута, а остальные сохранены.
)";

// A command word, the names of its arguments (as the usage writes them)
// and the options it takes.
struct Command {
    QLatin1String word;
    QStringList arguments;
    QStringList options;
};

const QList<Command> &commands()
{
    static const QStringList admin{QStringLiteral("user"), QStringLiteral("password")};
    static const QList<Command> list{
        {QLatin1String("create"),
         {QStringLiteral("ФАЙЛ")},
         {QStringLiteral("demo"), QStringLiteral("force"), QStringLiteral("schema")}},
        {QLatin1String("grant"),
         {QStringLiteral("БАЗА")},
         admin + QStringList{QStringLiteral("settings"), QStringLiteral("new-password")}},
        {QLatin1String("restore"),
         {QStringLiteral("КОПИЯ"), QStringLiteral("НОВАЯ_БАЗА")},
         QStringList{QStringLiteral("force")} + admin},
        {QLatin1String("engine-root"), {}, {}},
        {QLatin1String("symbology"), {QStringLiteral("БАЗА"), QStringLiteral("СИМВОЛИКА")}, admin},
        {QLatin1String("import"),
         {QStringLiteral("РЕЖИМ"), QStringLiteral("ФАЙЛ"), QStringLiteral("БАЗА")},
         {QStringLiteral("clear"), QStringLiteral("check"), QStringLiteral("from-line"), QStringLiteral("resume")}},
    };
    return list;
}

// Says what is wrong with the call, then how to call; nothing has been
// touched yet.
int usageError(const QString &what)
{
    std::fprintf(stderr, "utilities-db: %s\n\n%s", qPrintable(what), kUsage);
    return 2;
}

// The call checked whole before anything is touched: the command, its
// arguments in number, and only its own options. Empty when all is well.
QString callError(const QCommandLineParser &parser, const Command *&command, QStringList &arguments)
{
    arguments = parser.positionalArguments();
    const auto known = std::find_if(commands().begin(), commands().end(),
                                    [&](const Command &c) { return c.word == arguments.value(0); });
    QString name;
    if (known != commands().end()) {
        command = &*known;
        name = arguments.takeFirst();
    } else if (parser.isSet(QStringLiteral("demo"))) {
        // Kept for the scripts that make a demo database this way; a bare
        // word without it never creates anything.
        command = &commands().first();
        name = QStringLiteral("--demo");
    } else if (arguments.isEmpty()) {
        return QStringLiteral("не указана команда");
    } else {
        return QStringLiteral("неизвестная команда «%1»").arg(arguments.first());
    }
    for (const QString &option : parser.optionNames()) {
        if (!command->options.contains(option))
            return QStringLiteral("%1: параметр --%2 к этой команде не относится").arg(name, option);
    }
    for (qsizetype i = 0; i < command->arguments.size(); ++i) {
        if (arguments.value(i).isEmpty())
            return QStringLiteral("%1: не указан аргумент %2").arg(name, command->arguments[i]);
    }
    if (arguments.size() > command->arguments.size())
        return QStringLiteral("%1: лишний аргумент «%2»").arg(name, arguments[command->arguments.size()]);
    if (command->word == QLatin1String("import") && arguments[0] != QLatin1String("catalog")
        && arguments[0] != QLatin1String("readers"))
        return QStringLiteral("import: режим — catalog или readers, а не «%1»").arg(arguments[0]);
    if (command->word == QLatin1String("symbology") && !symbologyNamed(arguments[1].toLatin1()))
        return QStringLiteral("symbology: символика — одна из %1, а не «%2»").arg(symbologyNames(), arguments[1]);
    if (parser.isSet(QStringLiteral("from-line"))) {
        bool number = false;
        const QString line = parser.value(QStringLiteral("from-line"));
        if (line.toLongLong(&number) < 1 || !number)
            return QStringLiteral("import: --from-line ждёт номер строки от 1, а не «%1»").arg(line);
        // The clearing would take away what the run before stored.
        if (parser.isSet(QStringLiteral("clear")) && !parser.isSet(QStringLiteral("check")))
            return QStringLiteral("import: --from-line продолжает прерванный импорт, а --clear удалил бы то, "
                                  "что он сохранил");
    }
    if (parser.isSet(QStringLiteral("resume"))) {
        if (parser.isSet(QStringLiteral("from-line")))
            return QStringLiteral("import: --resume сам находит строку, с которой продолжить; --from-line с ним не "
                                  "задают");
        if (parser.isSet(QStringLiteral("check")))
            return QStringLiteral("import: --resume продолжает прерванный импорт, а --check ничего не сохраняет");
        if (parser.isSet(QStringLiteral("clear")))
            return QStringLiteral("import: --resume продолжает прерванный импорт, а --clear удалил бы то, что он "
                                  "сохранил");
    }
    return QString();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("utilities-db"));

    QCommandLineParser parser;
    // "-demo" is taken as "--demo", not as four one-letter options.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({
        {{QStringLiteral("h"), QStringLiteral("help")}, QString()},
        {QStringLiteral("demo"), QString()},
        {QStringLiteral("force"), QString()},
        {QStringLiteral("schema"), QString(), QStringLiteral("script")},
        {QStringLiteral("user"), QString(), QStringLiteral("name")},
        {QStringLiteral("password"), QString(), QStringLiteral("password")},
        {QStringLiteral("settings"), QString(), QStringLiteral("file")},
        {QStringLiteral("new-password"), QString()},
        {QStringLiteral("clear"), QString()},
        {QStringLiteral("check"), QString()},
        {QStringLiteral("from-line"), QString(), QStringLiteral("N")},
        {QStringLiteral("resume"), QString()},
    });
    if (!parser.parse(QCoreApplication::arguments())) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            return usageError(QStringLiteral("неизвестный параметр «--%1»").arg(unknown.first()));
        // A value is missing only after the last word.
        return usageError(
            QStringLiteral("у параметра «%1» не указано значение").arg(QCoreApplication::arguments().last()));
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::printf("%s", kUsage);
        return 0;
    }
    const Command *command = nullptr;
    QStringList args;
    const QString error = callError(parser, command, args);
    if (!error.isEmpty())
        return usageError(error);

    if (command->word == QLatin1String("engine-root")) {
        const QString root = embeddedEngineRoot();
        if (root.isEmpty())
            return fail(QStringLiteral("не найдены файлы Firebird этой системы"));
        std::printf("%s\n", qPrintable(root));
        return 0;
    }
    if (command->word == QLatin1String("grant"))
        return grant(args[0], parser);
    if (command->word == QLatin1String("symbology"))
        return setSymbology(args[0], *symbologyNamed(args[1].toLatin1()), parser);
    if (command->word == QLatin1String("restore"))
        return restore(args[0], args[1], parser);
    if (command->word == QLatin1String("import"))
        return importFile(args[0] == QLatin1String("catalog") ? ImportMode::Catalogue : ImportMode::Readers, args[1],
                          args[2], parser);
    return create(args[0], parser);
}
