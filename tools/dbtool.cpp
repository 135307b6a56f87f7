// Creates the program's database file from the schema, optionally with demo
// rows. Used by ./run and by the tests.

#include "db/dbcreate.h"
#include "db/errors.h"
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("utilities-db"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Creates a database file for the utilities program."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("the database file to create"));
    const QCommandLineOption demo(QStringLiteral("demo"), QStringLiteral("fill in the demo accounts and ranges"));
    const QCommandLineOption force(QStringLiteral("force"), QStringLiteral("replace an existing file"));
    const QCommandLineOption schema(QStringLiteral("schema"), QStringLiteral("use this schema script instead of the built-in one"),
                                    QStringLiteral("script"));
    parser.addOptions({demo, force, schema});
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    if (args.size() != 1)
        return fail(QStringLiteral("give exactly one database file (see --help)"));
    const QString path = QFileInfo(args[0]).absoluteFilePath();
    if (QFileInfo::exists(path)) {
        if (!parser.isSet(force))
            return fail(QStringLiteral("%1 already exists; use --force to replace it").arg(path));
        if (!QFile::remove(path))
            return fail(QStringLiteral("cannot remove %1").arg(path));
    }
    if (!QFileInfo(QFileInfo(path).absolutePath()).isDir())
        return fail(QStringLiteral("folder of %1 does not exist").arg(path));

    try {
        QList<QByteArray> scripts{readScript(parser.isSet(schema) ? parser.value(schema) : QStringLiteral(":/schema/schema.sql"))};
        if (parser.isSet(demo))
            scripts.append(readScript(QStringLiteral(":/schema/demo.sql")));
        createDatabase(path, scripts);
    } catch (const AppError &e) {
        QFile::remove(path);
        return fail(e.text());
    }
    std::printf("created %s\n", qPrintable(path));
    return 0;
}
