#include "import/backup.h"

#include "db/dataset.h"
#include "db/dbcreate.h"
#include "db/fbservice.h"
#include "db/platform.h"
#include "db/settings.h"
#include "db/text1251.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>

#include <algorithm>

namespace {

constexpr char kTimeFormat[] = "yyyy-MM-dd_HH-mm-ss-zzz";
constexpr char kSuffix[] = ".vesko-mika-backup.fbk";
constexpr int kDefaultKept = 5;

// Paths here may be the server's, so either separator ends a folder.
qsizetype lastSeparator(const QString &path)
{
    return std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
}

QString fileNameOf(const QString &path)
{
    return path.mid(lastSeparator(path) + 1);
}

QString folderOf(const QString &path)
{
    const qsizetype at = lastSeparator(path);
    return at < 0 ? QString() : at == 0 ? path.left(1) : path.left(at);
}

bool isAbsolute(const QString &path)
{
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:[\\\\/]"));
    return path.startsWith(u'/') || path.startsWith(u'\\') || drive.match(path).hasMatch();
}

// Joins in the folder's own style, so that a Windows server gets its
// backslashes.
QString joinPath(const QString &folder, const QString &name)
{
    if (folder.isEmpty())
        return name;
    if (folder.endsWith(u'/') || folder.endsWith(u'\\'))
        return folder + name;
    const bool windows = folder.contains(u'\\') && !folder.contains(u'/');
    return folder + (windows ? u'\\' : u'/') + name;
}

bool isLoopback(const QString &host)
{
    const QString h = host.toLower();
    return h == QLatin1String("localhost") || h == QLatin1String("::1") || h.startsWith(QLatin1String("127."))
        || h == QSysInfo::machineHostName().toLower();
}

QString backupFolder(const QString &databasePath)
{
    const QString setting = settingText(QStringLiteral("backup folder"));
    if (setting.isEmpty())
        return folderOf(databasePath);
    return isAbsolute(setting) ? setting : joinPath(folderOf(databasePath), setting);
}

QString failureText(const ServiceError &error, const QString &folder, bool onServer)
{
    const QString where = onServer ? QStringLiteral("«%1» на сервере").arg(folder) : QStringLiteral("«%1»").arg(folder);
    const QString setting
        = QStringLiteral(" Папку для копий можно указать значением backup folder в файле настроек «%1».")
              .arg(QDir::toNativeSeparators(userSettingsFile()));
    QString why;
    switch (error.reason()) {
    case ServiceError::Reason::NoRight:
        why = QStringLiteral("у учётной записи программы нет права делать резервные копии этой базы; "
                             "его даёт администратор командой «utilities-db grant» для этой базы.");
        break;
    case ServiceError::Reason::NoSpace:
        why = QStringLiteral("не хватило места на диске для копии в папке %1.").arg(where) + setting;
        break;
    case ServiceError::Reason::CannotOpenFile:
        why = QStringLiteral("в папку %1 не удалось записать копию: её нет, это не папка или в неё нельзя писать.")
                  .arg(where)
            + setting;
        break;
    default:
        why = QStringLiteral("служба резервного копирования Firebird не подтвердила копию.");
        break;
    }
    return QStringLiteral("Резервная копия базы не создана, поэтому база не очищена и ничего не изменено: ") + why
        + QStringLiteral("\n\n") + error.text();
}

} // namespace

QString backupFileName(const QString &databaseFile, const QDateTime &when)
{
    return databaseFile + u'.' + when.toString(QLatin1String(kTimeFormat)) + QLatin1String(kSuffix);
}

QDateTime programBackupTime(const QString &name, const QString &databaseFile)
{
    // Anchored, with the database's name as it is, so that neither another
    // database's backups nor anyone else's files can match.
    const QRegularExpression pattern(u'^' + QRegularExpression::escape(databaseFile)
                                     + QStringLiteral("\\.(\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d-\\d{3})")
                                     + QRegularExpression::escape(QLatin1String(kSuffix)) + u'$');
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return QDateTime();
    return QDateTime::fromString(match.captured(1), QLatin1String(kTimeFormat));
}

QStringList pruneBackups(const QString &folder, const QString &databaseFile, int kept)
{
    struct Found {
        QDateTime time;
        QString name;
    };
    QList<Found> backups;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : entries) {
        // The program only ever writes plain files; a link is someone else's.
        if (entry.isSymLink() || !entry.isFile())
            continue;
        const QDateTime time = programBackupTime(entry.fileName(), databaseFile);
        if (time.isValid())
            backups.append({time, entry.fileName()});
    }
    std::sort(backups.begin(), backups.end(),
              [](const Found &a, const Found &b) { return a.time != b.time ? a.time > b.time : a.name > b.name; });
    QStringList removed;
    for (qsizetype i = std::max(kept, 1); i < backups.size(); ++i) {
        if (QFile::remove(QDir(folder).filePath(backups[i].name)))
            removed.append(backups[i].name);
    }
    return removed;
}

int backupsKept()
{
    bool ok = false;
    const int kept = settingText(QStringLiteral("backups kept")).toInt(&ok);
    return ok ? std::max(kept, 1) : kDefaultKept;
}

Backup backUpDatabase(DbConnection *connection)
{
    const ServiceTarget target = serviceTarget(connection->databaseName);
    QString databasePath = target.database;
    // A server's alias has no folder; the server knows where it lies.
    if (lastSeparator(databasePath) < 0) {
        databasePath = fromCp1251(selectValue(connection,
                                              "select rdb$get_context('SYSTEM', 'DB_NAME') "
                                              "from rdb$database"));
    }
    const QString folder = backupFolder(databasePath);
    const QString databaseFile = fileNameOf(databasePath);

    Backup backup;
    backup.onServer = target.onServer();
    backup.file = joinPath(folder, backupFileName(databaseFile, platform::now()));
    // The role holds the right to back up; the program's ordinary
    // connection goes without it and so without that power.
    ServiceLogin login = serviceLogin(connection->params);
    login.role = "RDB$ADMIN";
    try {
        backUpThroughService(target.manager, login, target.database, backup.file);
    } catch (const ServiceError &e) {
        throw BackupError(failureText(e, folder, backup.onServer));
    }

    const bool seenHere = !target.onServer() || isLoopback(target.host);
    if (seenHere && QFileInfo(folder).isDir())
        backup.removed = pruneBackups(folder, databaseFile, backupsKept());
    return backup;
}
