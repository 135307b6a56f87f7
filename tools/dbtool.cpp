// The program's database tool: creates a database file from the schema
// (optionally with demo rows), readies the program's own account on a
// database, restores a backup into a new database, and names the embedded
// engine's configuration folder.

#include "auth/account.h"
#include "db/dataset.h"
#include "db/dbcreate.h"
#include "db/engine.h"
#include "db/errors.h"
#include "db/fbservice.h"
#include "db/text1251.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

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
        setUpProgramAccount(&connection);
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
        const bool onServer = setUpProgramAccount(&connection);
        connection.close();
        if (onServer)
            std::printf("the program's account is ready on the server and has its rights on %s\n", qPrintable(database));
        else
            std::printf("the program's account has its rights on %s\n", qPrintable(database));
    } catch (const AppError &e) {
        return fail(e.text());
    }
    return 0;
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
            return fail(QStringLiteral("no backup file %1").arg(backupFile));
        if (QFileInfo::exists(newDatabase) && !force)
            return fail(QStringLiteral("%1 already exists; use --force to replace it").arg(newDatabase));
        if (!QFileInfo(QFileInfo(newDatabase).absolutePath()).isDir())
            return fail(QStringLiteral("folder of %1 does not exist").arg(newDatabase));
        madeHere = !QFileInfo::exists(newDatabase);
    }
    // A backup cut short has the embedded engine ask on standard input for
    // its next volume; nobody answers that here, so it reads an end instead
    // and the restore fails rather than waits for ever.
    if (!target.onServer())
        std::freopen("/dev/null", "r", stdin);
    try {
        restoreThroughService(target.manager, serviceLogin(adminLogin(parser)), backupFile, target.database, force);
    } catch (const ServiceError &e) {
        // A half-made database is of no use and would stand in the way.
        if (madeHere)
            QFile::remove(newDatabase);
        if (e.reason() == ServiceError::Reason::Exists)
            return fail(QStringLiteral("%1 already exists; use --force to replace it\n%2").arg(database, e.text()));
        return fail(QStringLiteral("could not restore %1 into %2; the service said:\n%3")
                        .arg(backupFile, newDatabase, e.text()));
    }
    try {
        // The rights come back with the backup; granted again all the same,
        // so that a backup from before a right was added works too.
        DbConnection connection;
        attachAsAdmin(connection, newDatabase, parser);
        setUpProgramAccount(&connection);
        connection.close();
    } catch (const AppError &e) {
        return fail(
            QStringLiteral("restored %1, but the program's account was not readied: %2").arg(newDatabase, e.text()));
    }
    std::printf("restored %s into %s\n", qPrintable(backupFile), qPrintable(newDatabase));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("utilities-db"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The utilities program's database tool.\n\n"
        "  utilities-db [create] FILE [--demo] [--force] [--schema SCRIPT]\n"
        "      creates a database file from the schema, owned by SYSDBA, with the\n"
        "      program's account granted its rights\n"
        "  utilities-db grant DATABASE [--user NAME] [--password PASSWORD]\n"
        "      as the given administrator (default SYSDBA, or ISC_USER/ISC_PASSWORD):\n"
        "      through a server, creates the program's account or sets its password\n"
        "      again; on any database, grants it the rights it needs\n"
        "  utilities-db restore BACKUP NEWDB [--force] [--user NAME] [--password PASSWORD]\n"
        "      restores a backup made before a wipe into a new database: a file, or a\n"
        "      server's connection string with BACKUP named as the server sees it; as\n"
        "      the given administrator, who owns the new database; the program's\n"
        "      account gets its rights there. It never replaces an existing database\n"
        "      unless told to with --force\n"
        "  utilities-db engine-root\n"
        "      prints the folder to give other embedded clients as FIREBIRD, so that\n"
        "      they share database files with the program"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("create, grant, restore or engine-root (default create)"));
    parser.addOptions({
        {QStringLiteral("demo"), QStringLiteral("fill in the demo accounts and ranges")},
        {QStringLiteral("force"), QStringLiteral("replace an existing file or database")},
        {QStringLiteral("schema"), QStringLiteral("use this schema script instead of the built-in one"),
         QStringLiteral("script")},
        {QStringLiteral("user"), QStringLiteral("the administrator's user name"), QStringLiteral("name")},
        {QStringLiteral("password"), QStringLiteral("the administrator's password"), QStringLiteral("password")},
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
    if (command == QLatin1String("create"))
        args.removeFirst();
    if (args.size() != 1)
        return fail(QStringLiteral("give a command and its database (see --help)"));
    return create(args[0], parser);
}
