#include "db/engine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// Where the system's Firebird keeps its plugins, character sets and
// messages; found when the program was built.
QString systemRoot()
{
#ifdef FIREBIRD_SYSTEM_ROOT
    return QStringLiteral(FIREBIRD_SYSTEM_ROOT);
#else
    return QString();
#endif
}

constexpr char kConfig[] = "# Made by the utilities program; rewritten when it differs.\n"
                           "# The embedded engine in its shared mode: several processes on this\n"
                           "# machine may have one database file open at the same time.\n"
                           "ServerMode = SuperClassic\n";

bool writeIfDifferent(const QString &fileName, const QByteArray &content)
{
    QFile current(fileName);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == content)
        return true;
    QSaveFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit();
}

bool linkTo(const QString &target, const QString &link)
{
    if (QFileInfo(link).symLinkTarget() == target)
        return true;
    QFile::remove(link);
    return QFile::link(target, link);
}

// The engine looks its character sets up under this folder and checks the
// real path of the module it loaded, so a link would not do: a copy it is.
bool copyIfDifferent(const QString &source, const QString &target)
{
    QFile from(source);
    if (!from.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = from.readAll();
    return writeIfDifferent(target, bytes);
}

QString prepareOwnRoot()
{
    const QString system = systemRoot();
    if (system.isEmpty() || !QFileInfo::exists(system + QStringLiteral("/plugins")))
        return QString();
    const QString root = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/vesko-mika/firebird");
    if (!QDir().mkpath(root + QStringLiteral("/intl")))
        return QString();
    bool ready = writeIfDifferent(root + QStringLiteral("/firebird.conf"), kConfig)
        && linkTo(system + QStringLiteral("/plugins"), root + QStringLiteral("/plugins"))
        && linkTo(system + QStringLiteral("/firebird.msg"), root + QStringLiteral("/firebird.msg"))
        && copyIfDifferent(system + QStringLiteral("/intl/libfbintl.so"), root + QStringLiteral("/intl/libfbintl.so"));
    if (ready && QFileInfo::exists(system + QStringLiteral("/plugins.conf")))
        ready = linkTo(system + QStringLiteral("/plugins.conf"), root + QStringLiteral("/plugins.conf"));
    return ready ? root : QString();
}

} // namespace

QString embeddedEngineRoot()
{
    static const QString root = [] {
        const QString preset = qEnvironmentVariable("FIREBIRD");
        return preset.isEmpty() ? prepareOwnRoot() : preset;
    }();
    return root;
}

void prepareEmbeddedEngine()
{
    static const bool done = [] {
        const QString root = embeddedEngineRoot();
        if (!root.isEmpty() && qEnvironmentVariable("FIREBIRD") != root)
            qputenv("FIREBIRD", QFile::encodeName(root));
        return true;
    }();
    (void)done;
}

QString embeddedEngineLockFolder()
{
    const QString preset = qEnvironmentVariable("FIREBIRD_LOCK");
    return preset.isEmpty() ? QStringLiteral("/tmp/firebird") : preset;
}
