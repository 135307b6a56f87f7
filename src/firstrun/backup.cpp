#include "firstrun/backup.h"

#include "base/platform.h"
#include "base/settings.h"
#include "base/text1251.h"
#include "db/dataset.h"
#include "db/dbcreate.h"
#include "db/fbservice.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kTimeFormat[] = "yyyy-MM-dd_HH-mm-ss-zzz";
constexpr char kSuffix[] = ".vesko-mika-backup.fbk";
constexpr char kPartial[] = ".partial";
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

// Why there is no backup, for the user, then the words of whoever refused.
QString failureText(ServiceError::Reason reason, const QString &words, const QString &folder, bool onServer)
{
    const QString where = onServer ? QStringLiteral("«%1» на сервере").arg(folder) : QStringLiteral("«%1»").arg(folder);
    const QString setting
        = QStringLiteral(" Папку для копий можно указать значением backup folder в файле настроек «%1».")
              .arg(QDir::toNativeSeparators(userSettingsFile()));
    QString why;
    switch (reason) {
    case ServiceError::Reason::NoRight:
        why = onServer ? QStringLiteral("сервер не принял имя и пароль администратора базы данных.")
                       : QStringLiteral("встроенный сервер отказал в резервном копировании этой базы.");
        break;
    case ServiceError::Reason::NoSpace:
        why = QStringLiteral("не хватило места на диске для копии в папке %1.").arg(where) + setting;
        break;
    case ServiceError::Reason::CannotOpenFile:
        why = QStringLiteral("в папку %1 не удалось записать копию: её нет, это не папка или в неё нельзя писать.")
                  .arg(where)
            + setting;
        break;
    case ServiceError::Reason::Exists:
        why = QStringLiteral("в папке %1 уже есть файл с именем копии; поверх него программа не пишет.").arg(where);
        break;
    default:
        why = QStringLiteral("служба резервного копирования Firebird не подтвердила копию.");
        break;
    }
    return QStringLiteral("Резервная копия базы не создана, поэтому база не очищена и ничего не изменено: ") + why
        + QStringLiteral("\n\n") + words;
}

// A new file of this process's, never through a link another user put at
// its name, readable by the owner alone until it gets its final mode.
bool createPrivateFile(const QString &path)
{
    const int fd
        = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// Gives a file the database file's owner and group where this process may
// and a mode no wider than the database's; without the database's mode,
// no wider than owner and group.
void takeDatabasePermissions(const QString &file, const QString &databaseFile)
{
    const QByteArray path = QFile::encodeName(file);
    struct stat own {};
    if (::lstat(path.constData(), &own) != 0 || !S_ISREG(own.st_mode))
        return;
    struct stat database {};
    mode_t mode = own.st_mode & 0660;
    if (::stat(QFile::encodeName(databaseFile).constData(), &database) == 0) {
        if (::chown(path.constData(), database.st_uid, database.st_gid) != 0)
            (void)::chown(path.constData(), uid_t(-1), database.st_gid);
        struct stat now {};
        ::lstat(path.constData(), &now);
        mode = database.st_mode & 0666;
        // The database's group bits are for its group, not this file's.
        if (now.st_gid != database.st_gid)
            mode &= ~mode_t(0070);
    }
    ::chmod(path.constData(), mode);
}

// Writes the record over the file made for it, never through a link.
bool writeRecord(const QString &recordFile, const BackupRecord &record)
{
    const int fd = ::open(QFile::encodeName(recordFile).constData(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    QFile out;
    const QByteArray text = backupRecordText(record);
    const bool written = out.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)
        && out.write(text) == text.size() && out.flush();
    if (!out.isOpen())
        ::close(fd);
    return written;
}

// Makes the record, which comes first so that a run cut short leaves a
// partial backup that names its database and can be cleared away; for the
// embedded engine also the partial file it writes into. The server makes
// that itself, so nothing may stand at its name. Nothing is made over or
// through what stands at either name.
void makeOwnFiles(const QString &record, const QString &partial, const BackupRecord &first, const QString &folder,
                  bool onServer)
{
    const auto refuse = [&](int error) {
        const bool taken = error == EEXIST || error == ELOOP;
        throw BackupError(failureText(taken ? ServiceError::Reason::Exists : ServiceError::Reason::CannotOpenFile,
                                      QString::fromLocal8Bit(std::strerror(error)), folder, onServer));
    };
    if (!createPrivateFile(record))
        refuse(errno);
    int error = 0;
    struct stat standing {};
    if (onServer && ::lstat(QFile::encodeName(partial).constData(), &standing) == 0)
        error = EEXIST;
    else if (!writeRecord(record, first))
        error = errno ? errno : EIO;
    else if (!onServer && !createPrivateFile(partial))
        error = errno;
    if (error != 0) {
        QFile::remove(record);
        refuse(error);
    }
}

bool removeLeftovers(const QString &partial, const QString &record)
{
    bool gone = QFile::remove(partial) || !QFileInfo::exists(partial);
    QFile::remove(record);
    return gone;
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

QString partialBackupName(const QString &backupFile)
{
    return backupFile + QLatin1String(kPartial);
}

QString backupRecordName(const QString &backupFile)
{
    const QString name = backupFile.endsWith(QLatin1String(".fbk")) ? backupFile.chopped(4) : backupFile;
    return name + QStringLiteral(".txt");
}

QByteArray backupRecordText(const BackupRecord &record)
{
    QByteArray text = "# A backup made before a wipe by the lending desk utilities: the database it\n"
                      "# holds, the backup file's SHA-256, and the rows it holds of each table.\n";
    text += "database " + record.database.toUtf8() + '\n';
    if (!record.sha256.isEmpty())
        text += "sha256 " + record.sha256 + '\n';
    for (const auto &[table, rows] : record.rows)
        text += "table " + QByteArray::number(rows) + ' ' + table.toUtf8() + '\n';
    return text;
}

std::optional<BackupRecord> readBackupRecord(const QString &recordFile)
{
    const QFileInfo info(recordFile);
    if (info.isSymLink() || !info.isFile())
        return std::nullopt;
    QFile in(recordFile);
    if (!in.open(QIODevice::ReadOnly))
        return std::nullopt;
    BackupRecord record;
    for (const QByteArray &line : in.readAll().split('\n')) {
        const qsizetype space = line.indexOf(' ');
        if (line.startsWith('#') || space < 0)
            continue;
        const QByteArray key = line.left(space);
        const QByteArray value = line.mid(space + 1);
        if (key == "database") {
            record.database = QString::fromUtf8(value);
        } else if (key == "sha256") {
            record.sha256 = value.trimmed();
        } else if (key == "table") {
            const qsizetype at = value.indexOf(' ');
            bool ok = false;
            const qint64 rows = value.left(at).toLongLong(&ok);
            if (at > 0 && ok)
                record.rows.append({QString::fromUtf8(value.mid(at + 1)), rows});
        }
    }
    if (record.database.isEmpty())
        return std::nullopt;
    return record;
}

QByteArray fileSha256(const QString &file)
{
    QFile in(file);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!in.open(QIODevice::ReadOnly) || !hash.addData(&in))
        return QByteArray();
    return hash.result().toHex();
}

QStringList pruneBackups(const QString &folder, const QString &databaseFile, const QString &database, int kept)
{
    struct Found {
        QDateTime time;
        QString name;
    };
    const QDir dir(folder);
    const auto ours = [&](const QString &backupName) {
        const std::optional<BackupRecord> record = readBackupRecord(dir.filePath(backupRecordName(backupName)));
        return record && record->database == database;
    };
    QList<Found> backups;
    QStringList removed;
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : entries) {
        // The program only ever writes plain files; a link is someone else's.
        if (entry.isSymLink() || !entry.isFile())
            continue;
        const QString name = entry.fileName();
        const bool partial = name.endsWith(QLatin1String(kPartial));
        const QString backupName = partial ? name.chopped(qsizetype(sizeof kPartial - 1)) : name;
        const QDateTime time = programBackupTime(backupName, databaseFile);
        if (!time.isValid() || !ours(backupName))
            continue;
        if (partial) {
            // Left by an attempt that never finished.
            if (removeLeftovers(entry.filePath(), dir.filePath(backupRecordName(backupName))))
                removed.append(name);
        } else {
            backups.append({time, name});
        }
    }
    std::sort(backups.begin(), backups.end(),
              [](const Found &a, const Found &b) { return a.time != b.time ? a.time > b.time : a.name > b.name; });
    for (qsizetype i = std::max(kept, 1); i < backups.size(); ++i) {
        if (QFile::remove(dir.filePath(backups[i].name))) {
            QFile::remove(dir.filePath(backupRecordName(backups[i].name)));
            removed.append(backups[i].name);
        }
    }
    return removed;
}

int backupsKept()
{
    bool ok = false;
    const int kept = settingText(QStringLiteral("backups kept")).toInt(&ok);
    return ok ? std::max(kept, 1) : kDefaultKept;
}

std::optional<Backup> backUpDatabase(DbConnection *connection, const AskAdministrator &askAdministrator)
{
    const ServiceTarget target = serviceTarget(connection->databaseName);
    // The database as its engine names it, which no other database shares.
    const QString database
        = fromCp1251(selectValue(connection, "select rdb$get_context('SYSTEM', 'DB_NAME') from rdb$database"));
    // A server's alias has no folder; the server knows where it lies.
    const QString databasePath = lastSeparator(target.database) < 0 ? database : target.database;
    const QString folder = backupFolder(databasePath);
    const QString databaseFile = fileNameOf(databasePath);

    Backup backup;
    backup.onServer = target.onServer();
    ServiceLogin login;
    if (backup.onServer) {
        // The program's own account may not back up; the administrator,
        // asked each time, may.
        const std::optional<ServiceLogin> administrator = askAdministrator ? askAdministrator() : std::nullopt;
        if (!administrator)
            return std::nullopt;
        login = *administrator;
        login.role.clear();
    } else {
        // The embedded engine takes the name on trust: whoever may open the
        // file may copy it, and its permissions are the boundary.
        login.user = "SYSDBA";
    }

    backup.file = joinPath(folder, backupFileName(databaseFile, platform::now()));
    // A remote server's folder is its administrator's: the server writes
    // the backup under its own name, and nothing else is done there.
    const QFileInfo folderInfo(folder);
    const bool here = !backup.onServer
        || (isLoopback(target.host) && folderInfo.isDir() && folderInfo.isWritable()
            && QFileInfo::exists(databasePath));
    const QString partial = partialBackupName(backup.file);
    const QString record = backupRecordName(backup.file);
    if (here)
        makeOwnFiles(record, partial, {database, {}, {}}, folder, backup.onServer);

    BackupReport report;
    try {
        report = backUpThroughService(target.manager, login, target.database, here ? partial : backup.file);
    } catch (const ServiceError &e) {
        if (here)
            removeLeftovers(partial, record);
        throw BackupError(failureText(e.reason(), e.text(), folder, backup.onServer));
    }
    if (!here)
        return backup;

    const QFileInfo written(partial);
    const QByteArray sha256 = written.isSymLink() ? QByteArray() : fileSha256(partial);
    if (sha256.isEmpty() || !writeRecord(record, {database, sha256, report.rows})) {
        const QString words = written.exists()
            ? QStringLiteral("%1: копию не удалось прочесть и записать о ней").arg(partial)
            : QStringLiteral("%1: такого файла на этой машине нет").arg(partial);
        removeLeftovers(partial, record);
        throw BackupError(failureText(ServiceError::Reason::Other, words, folder, backup.onServer));
    }
    takeDatabasePermissions(partial, databasePath);
    takeDatabasePermissions(record, databasePath);
    // Under its own name only once confirmed, and never over another file.
    if (!QFile::rename(partial, backup.file)) {
        removeLeftovers(partial, record);
        throw BackupError(failureText(ServiceError::Reason::Exists, backup.file, folder, backup.onServer));
    }
    backup.removed = pruneBackups(folder, databaseFile, database, backupsKept());
    return backup;
}
