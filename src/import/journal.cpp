#include "import/journal.h"

#include "db/dataset.h"
#include "import/importdb.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

std::function<QString()> journalFolder = [] {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/vesko-mika/import");
};

namespace {

struct Identity {
    qint64 size = -1;
    qint64 modified = -1;
};

Identity identityOf(const QString &input)
{
    const QFileInfo info(input);
    if (!info.isFile())
        return {};
    return {info.size(), info.lastModified().toMSecsSinceEpoch()};
}

QString absolute(const QString &input)
{
    return QFileInfo(input).absoluteFilePath();
}

const char *modeWord(ImportMode mode)
{
    return mode == ImportMode::Catalogue ? "catalog" : "readers";
}

QByteArray text(const QString &value)
{
    return value.toUtf8().toPercentEncoding();
}

QString fromText(const QByteArray &value)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(value));
}

} // namespace

KeyedTable keyedTable(ImportMode mode)
{
    if (mode == ImportMode::Catalogue)
        return {"catalog", "nncatalog"};
    return {"readers", "nnreaders"};
}

QString journalDatabaseName(const QString &database)
{
    // A connection string names a server's database as it stands.
    if (!QFileInfo::exists(database))
        return database;
    return QFileInfo(database).absoluteFilePath();
}

QString ImportJournal::fileName(const QString &input, const QString &database, ImportMode mode)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(modeWord(mode));
    hash.addData("\n");
    hash.addData(journalDatabaseName(database).toUtf8());
    hash.addData("\n");
    hash.addData(absolute(input).toUtf8());
    return QDir(journalFolder()).filePath(QString::fromLatin1(hash.result().toHex()) + QStringLiteral(".journal"));
}

ImportJournal::ImportJournal(const QString &input, const QString &database, ImportMode mode, qint64 fromLine)
    : m_fileName(fileName(input, database, mode))
{
    const Identity identity = identityOf(input);
    m_entry.input = absolute(input);
    m_entry.size = identity.size;
    m_entry.modified = identity.modified;
    m_entry.database = journalDatabaseName(database);
    m_entry.mode = mode;
    m_entry.line = fromLine;
    write();
}

void ImportJournal::committing(qint64 line, qint64 transaction, qint64 keyFloor)
{
    m_entry.pendingLine = line;
    m_entry.pendingTransaction = transaction;
    m_entry.pendingFloor = keyFloor;
    write();
}

void ImportJournal::committed()
{
    passed(m_entry.pendingLine);
}

void ImportJournal::passed(qint64 line)
{
    m_entry.line = line;
    m_entry.pendingLine = 0;
    m_entry.pendingTransaction = 0;
    m_entry.pendingFloor = 0;
}

void ImportJournal::done(qint64 line)
{
    passed(line);
    write();
}

void ImportJournal::finished()
{
    m_given = true;
    QFile::remove(m_fileName);
}

void ImportJournal::write()
{
    if (m_given)
        return;
    QDir().mkpath(QFileInfo(m_fileName).absolutePath());
    QByteArray bytes;
    bytes += "input=" + text(m_entry.input) + '\n';
    bytes += "size=" + QByteArray::number(m_entry.size) + '\n';
    bytes += "modified=" + QByteArray::number(m_entry.modified) + '\n';
    bytes += "database=" + text(m_entry.database) + '\n';
    bytes += QByteArray("mode=") + modeWord(m_entry.mode) + '\n';
    bytes += "line=" + QByteArray::number(m_entry.line) + '\n';
    if (m_entry.pendingTransaction != 0) {
        bytes += "pending.line=" + QByteArray::number(m_entry.pendingLine) + '\n';
        bytes += "pending.transaction=" + QByteArray::number(m_entry.pendingTransaction) + '\n';
        bytes += "pending.floor=" + QByteArray::number(m_entry.pendingFloor) + '\n';
    }
    // Whole or not at all, on the disk before the commit it announces.
    QSaveFile file(m_fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        finished();
}

std::optional<JournalEntry> readJournal(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    JournalEntry entry;
    bool line = false;
    while (!file.atEnd()) {
        const QByteArray row = file.readLine().trimmed();
        const qsizetype equals = row.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = row.left(equals);
        const QByteArray value = row.mid(equals + 1);
        if (key == "input")
            entry.input = fromText(value);
        else if (key == "size")
            entry.size = value.toLongLong();
        else if (key == "modified")
            entry.modified = value.toLongLong();
        else if (key == "database")
            entry.database = fromText(value);
        else if (key == "mode")
            entry.mode = value == "readers" ? ImportMode::Readers : ImportMode::Catalogue;
        else if (key == "line")
            line = (entry.line = value.toLongLong()) >= 0;
        else if (key == "pending.line")
            entry.pendingLine = value.toLongLong();
        else if (key == "pending.transaction")
            entry.pendingTransaction = value.toLongLong();
        else if (key == "pending.floor")
            entry.pendingFloor = value.toLongLong();
    }
    if (!line)
        return std::nullopt;
    return entry;
}

ResumePoint resumePoint(DbConnection &connection, const QString &input, ImportMode mode)
{
    const std::optional<JournalEntry> entry = readJournal(ImportJournal::fileName(input, connection.databaseName, mode));
    if (!entry)
        return {};
    const Identity now = identityOf(input);
    if (now.size != entry->size || now.modified != entry->modified)
        return {ResumePoint::State::Changed, 0};
    qint64 line = entry->line;
    if (entry->pendingTransaction != 0) {
        const KeyedTable keyed = keyedTable(mode);
        const bool committed = !readRows(connection,
                                         QByteArray("select first 1 1 from ") + keyed.table + " where num > "
                                             + QByteArray::number(entry->pendingFloor) + " and rdb$record_version = "
                                             + QByteArray::number(entry->pendingTransaction))
                                    .isEmpty();
        if (committed)
            line = entry->pendingLine;
    }
    if (line <= 1)
        return {};
    return {ResumePoint::State::Resumable, line};
}
