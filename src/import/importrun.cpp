#include "import/importrun.h"

#include "db/errors.h"
#include "db/utilites.h"

#include <QFile>

#include <limits>

#ifdef Q_OS_UNIX
#include <sys/file.h>
#endif

namespace {

constexpr const char *kCatalogueClearing[] = {
    "delete from catalog",     "set generator nncatalog to 0",
    "delete from izdatelstvo", "set generator nnizdatelstvo to 0",
    "delete from sbornik",     "set generator nnsbornik to 0",
    "delete from comment",     "set generator nncomment to 0",
    "delete from mnogotom",    "set generator nnmnogotom to 0",
    "delete from udkop",       "set generator nnudkop to 0",
};

constexpr const char *kReadersClearing[] = {
    "delete from readers", "set generator nnreaders to 0",
    "delete from ruki",    "set generator nnruki to 0",
    "delete from zakaz",   "set generator nnzakaz to 0",
};

// Record positions are 32-bit signed byte indexes.
constexpr qint64 kLargestFile = std::numeric_limits<qint32>::max();

// Opens the file to import; false when it cannot be had, which ends the run
// quietly. A file whose bytes could not all be reached by a record position
// is refused with a message before anything is read.
bool openForImport(QFile &file)
{
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly))
        return false;
#ifdef Q_OS_UNIX
    // Released when the file is closed; keeps out a writer that locks too.
    if (::flock(file.handle(), LOCK_SH | LOCK_NB) != 0)
        return false;
#endif
    if (file.size() > kLargestFile) {
        throw AppError(QStringLiteral("файл %1 слишком велик для импорта: %2 байт, а можно не больше %3")
                           .arg(file.fileName())
                           .arg(file.size())
                           .arg(kLargestFile));
    }
    return true;
}

// The whole file in one read.
QByteArray readWhole(QFile &file)
{
    const qint64 size = file.size();
    QByteArray buffer(size, Qt::Uninitialized);
    if (file.read(buffer.data(), size) != size)
        throw AppError(QStringLiteral("не удаётся прочитать файл %1:\n%2").arg(file.fileName(), file.errorString()));
    file.close();
    return buffer;
}

} // namespace

std::span<const char *const> clearingStatements(ImportMode mode)
{
    if (mode == ImportMode::Catalogue)
        return kCatalogueClearing;
    return kReadersClearing;
}

qint32 storeRecord(const QByteArray &record, ImportMode mode)
{
    const auto statements = recordStatements(record, mode);
    if (!statements)
        return -1;
    for (const QByteArray &statement : *statements) {
        SqlText = statement;
        ExecAndCommit(SqlText);
    }
    return 0;
}

ImportOutcome runImport(const QString &fileName, ImportMode mode, bool clear, ImportObserver &observer)
{
    QFile file(fileName);
    if (!openForImport(file))
        return ImportOutcome::NotOpened;
    observer.phaseChanged(ImportPhase::Reading, 0);
    const QByteArray buffer = readWhole(file);

    observer.phaseChanged(ImportPhase::Counting, 0);
    const qint32 total = qint32(countRecords(buffer));

    if (clear) {
        observer.phaseChanged(ImportPhase::Clearing, 0);
        ExecAllOrNothing(clearingStatements(mode));
    }

    observer.phaseChanged(ImportPhase::Importing, total);
    qint32 errors = 0;
    qint32 processed = 0;
    qsizetype position = 0;
    for (;;) {
        const QByteArray text = recordText(buffer, position);
        if (!text.isEmpty() && storeRecord(text, mode) < 0)
            ++errors;
        position = NextRecordStart(buffer, position);
        ++processed;
        observer.recordDone(total, processed, errors);
        if (observer.stopWanted())
            return ImportOutcome::Stopped;
        if (position == -1)
            return ImportOutcome::Finished;
    }
}
