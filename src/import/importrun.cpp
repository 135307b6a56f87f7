#include "import/importrun.h"

#include "base/errors.h"
#include "base/platform.h"
#include "base/text1251.h"
#include "db/dataset.h"
#include "db/dberror.h"
#include "db/refusals.h"
#include "db/session.h"
#include "db/utilites.h"
#include "firstrun/names.h"
#include "firstrun/wipe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <optional>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
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
    "delete from readers", "set generator nnreaders to 0", "delete from ruki", "set generator nnruki to 0",
    "delete from zakaz",   "set generator nnzakaz to 0",
};

// Record positions are 32-bit signed byte indexes.
constexpr qint64 kLargestFile = std::numeric_limits<qint32>::max();

// How often the rate is shown: a few times a second.
constexpr qint64 kRateEveryMs = 250;

// The first records go slower than the rest (the cache is cold, statements
// are prepared the first time): the time left waits for this many records
// or this long.
constexpr qint32 kSteadyRecords = 300;
constexpr qint64 kSteadyMs = 2000;

// How many item numbers already in catalog a check names.
constexpr qsizetype kSampleSize = 5;

[[noreturn]] void refuseNonRegular(const QString &fileName, const QString &kind)
{
    throw AppError(
        QStringLiteral("«%1» — %2, а не обычный файл; импортировать можно только обычный файл.").arg(fileName, kind));
}

#ifdef Q_OS_UNIX
QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("папка");
    if (S_ISFIFO(mode))
        return QStringLiteral("именованный канал");
    if (S_ISSOCK(mode))
        return QStringLiteral("сокет");
    return QStringLiteral("устройство");
}
#endif

// Opens the file to import; false when it cannot be had, which ends the run
// quietly. Anything but a regular file is refused with a message before it
// is read: a pipe would hold the run until something wrote to it, a device
// might never end. So is a file whose bytes could not all be reached by a
// record position.
bool openForImport(QFile &file)
{
    const QString name = file.fileName();
    if (name.isEmpty())
        return false;
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(name);
    struct stat info {};
    if (::stat(path.constData(), &info) != 0)
        return false;
    if (!S_ISREG(info.st_mode))
        refuseNonRegular(name, kindOf(info.st_mode));
    // Opened without waiting and checked again on the handle, so that a
    // pipe put in the file's place meanwhile cannot hold the open.
    const int handle = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0)
        return false;
    if (::fstat(handle, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(handle);
        refuseNonRegular(name, kindOf(info.st_mode));
    }
    if (!file.open(handle, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(handle);
        return false;
    }
    // Released when the file is closed; keeps out a writer that locks too.
    if (::flock(file.handle(), LOCK_SH | LOCK_NB) != 0)
        return false;
#else
    if (!QFileInfo(name).isFile() && QFileInfo::exists(name))
        refuseNonRegular(name, QStringLiteral("не файл"));
    if (!file.open(QIODevice::ReadOnly))
        return false;
#endif
    if (file.size() > kLargestFile) {
        throw AppError(QStringLiteral("файл %1 слишком велик для импорта: %2 байт, а можно не больше %3")
                           .arg(name)
                           .arg(file.size())
                           .arg(kLargestFile));
    }
    return true;
}

// The whole file in one read.
QByteArray readWhole(QFile &file, const QString &name)
{
    const qint64 size = file.size();
    QByteArray buffer(size, Qt::Uninitialized);
    if (file.read(buffer.data(), size) != size)
        throw AppError(QStringLiteral("не удаётся прочитать файл %1:\n%2").arg(name, file.errorString()));
    file.close();
    return buffer;
}

// Every barcod text of catalog, read once for a check.
QSet<QByteArray> catalogueBarcodes(DbSession &session)
{
    const SnapshotRead read(session.connection(), "select distinct barcod from catalog where barcod is not null");
    QSet<QByteArray> barcodes;
    barcodes.reserve(read.rows().recordCount());
    for (int row = 0; row < read.rows().recordCount(); ++row)
        barcodes.insert(read.rows().fieldAt(row, 0).asString());
    return barcodes;
}

// A column the engine names ("READERS.NOMER", "MESTO"), as the staff know
// it; the engine's name when it has none.
QString columnWords(const QString &column)
{
    const qsizetype dot = column.indexOf(u'.');
    const QByteArray table = dot < 0 ? QByteArray() : column.left(dot).toLatin1();
    const QByteArray name = column.mid(dot + 1).toLatin1();
    const QString title = columnTitle(table, name);
    if (!title.isEmpty())
        return QStringLiteral("поле «%1»").arg(title);
    if (table.isEmpty())
        return QStringLiteral("столбец %1").arg(column);
    return QStringLiteral("столбец %1 (%2)").arg(QString::fromLatin1(name), tableTitle(table));
}

// The first letter up, for a sentence of its own.
QString sentence(const QString &text)
{
    return text.isEmpty() ? text : text.front().toUpper() + text.mid(1);
}

// What the user is told when the database refuses a record. A refusal of
// the record's content names the line, the column the engine names and the
// record; any cause of the database's own (a lost connection, a missing
// right, a key clash) is said without blaming the file. Then what was
// stored and where to go on, and the engine's own words.
DbError refusal(const QString &database, const ImportReport &report, QByteArrayView text, const DbError &error)
{
    const QString resume = sentence(errorSummary(report)) + u'.';
    const QString cause = causeSentence(error, database);
    if (!cause.isEmpty())
        return error.explainedAs(cause + u'\n' + resume + QStringLiteral("\n\n") + error.text());
    const QString column = engineColumn(error.text());
    QString said = QStringLiteral("Строка %1 файла: база данных не приняла запись").arg(report.failedLine);
    if (!column.isEmpty())
        said += QStringLiteral(", ") + columnWords(column);
    return error.explainedAs(said + QStringLiteral(".\nЗапись: «%1»\n").arg(shortQuote(text)) + resume
                             + QStringLiteral("\n\n") + error.text());
}

// Nothing but line ends and blanks: no record to store.
bool blank(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); });
}

// Tells the observer the rate a few times a second: one reading of a
// steady clock per record, nothing more.
class RateMeter {
public:
    RateMeter(ImportObserver &observer, qint32 total)
        : m_observer(observer), m_total(total), m_started(platform::steadyMs()), m_shown(m_started)
    {
    }

    // Measured afresh from here: records passed over say nothing of it.
    void restart(qint32 processed)
    {
        m_started = platform::steadyMs();
        m_shown = m_started;
        m_base = processed;
    }

    void recordDone(qint32 processed)
    {
        const qint64 now = platform::steadyMs();
        if (now - m_shown < kRateEveryMs)
            return;
        m_shown = now;
        show(processed, now, false);
    }

    void finish(qint32 processed) { show(processed, platform::steadyMs(), true); }

private:
    void show(qint32 processed, qint64 now, bool last)
    {
        const qint32 measured = processed - m_base;
        const qint64 elapsed = std::max<qint64>(now - m_started, 1);
        const double perSecond = measured * 1000.0 / double(elapsed);
        qint64 secondsLeft = -1;
        if (processed >= m_total)
            secondsLeft = 0;
        else if (!last && perSecond > 0 && (measured >= kSteadyRecords || elapsed >= kSteadyMs))
            secondsLeft = qint64(std::ceil((m_total - processed) / perSecond));
        m_observer.rateChanged(perSecond, secondsLeft);
    }

    ImportObserver &m_observer;
    qint32 m_total;
    qint64 m_started;
    qint64 m_shown;
    qint32 m_base = 0;
};

// The field of a record that holds position: 1 + the separators before it.
int fieldAt(QByteArrayView buffer, qsizetype recordStart, qsizetype position)
{
    return 1 + int(buffer.sliced(recordStart, position - recordStart).count(';'));
}

// Judges the record at position and, unless only checking, stores it.
void handleRecord(DbSession &session, const ImportRequest &request, QByteArrayView buffer, LineEnds ends,
                  qsizetype position, qint64 line, const QList<Unencodable> &unencodable, qsizetype &nextUnencodable,
                  const QSet<QByteArray> &catalogued, ImportReport &report)
{
    const QByteArray text = recordText(buffer, position, ends);
    if (text.isEmpty())
        return;
    const qsizetype end = recordTextEnd(buffer, position, ends);
    while (nextUnencodable < unencodable.size() && unencodable[nextUnencodable].position < position)
        ++nextUnencodable;
    QString reason;
    int field = 0;
    RecordPlan plan;
    if (nextUnencodable < unencodable.size() && unencodable[nextUnencodable].position < end) {
        reason = unencodableReason(unencodable[nextUnencodable]);
        field = fieldAt(buffer, position, unencodable[nextUnencodable].position);
    } else {
        plan = planRecord(text, request.mode);
        reason = rejectionReason(plan.rejection, plan.rejectedValue);
        field = plan.rejectedField;
    }
    if (!reason.isEmpty()) {
        ++report.errors;
        report.rejected.append({line, reason, buffer.sliced(position, end - position).toByteArray(), field});
        return;
    }
    if (!request.checkOnly) {
        try {
            ExecAllOrNothing(session.connection(), plan.statements);
        } catch (const DbError &error) {
            report.failedLine = line;
            throw refusal(session.connection().databaseName, report, buffer.sliced(position, end - position), error);
        }
    } else if (catalogued.contains(plan.barcode)) {
        ++report.inCatalog;
        if (report.inCatalogSample.size() < kSampleSize && !report.inCatalogSample.contains(plan.barcode))
            report.inCatalogSample.append(plan.barcode);
    }
    ++report.stored;
    for (quint32 bits = plan.cutFields; bits != 0; bits &= bits - 1)
        ++report.cut[std::countr_zero(bits)];
}

} // namespace

std::span<const char *const> clearingStatements(ImportMode mode)
{
    if (mode == ImportMode::Catalogue)
        return kCatalogueClearing;
    return kReadersClearing;
}

qint32 storeRecord(DbSession &session, const QByteArray &record, ImportMode mode)
{
    const auto statements = recordStatements(record, mode);
    if (!statements)
        return -1;
    ExecAllOrNothing(session.connection(), *statements);
    return 0;
}

namespace {

ImportOutcome importFile(DbSession &session, const ImportRequest &request, ImportObserver &observer,
                         ImportReport &report)
{
    report = ImportReport();
    report.fileName = request.fileName;
    QFile file(request.fileName);
    if (!openForImport(file))
        return ImportOutcome::NotOpened;
    observer.phaseChanged(ImportPhase::Reading, 0);
    const DecodedText decoded = decodeImportText(readWhole(file, request.fileName));
    // Refused before anything is changed, the clearing included.
    if (!readable(decoded.encoding))
        throw AppError(unreadableText(decoded.encoding, request.fileName));
    if (blank(decoded.bytes)) {
        throw AppError(
            QStringLiteral("файл пуст: в «%1» нет ни одной записи; в базе ничего не изменено").arg(request.fileName));
    }
    const QByteArrayView buffer(decoded.bytes);
    const LineEnds ends = detectLineEnds(buffer);
    report.format = {decoded.encoding, ends};
    observer.formatFound(report.format);

    observer.phaseChanged(ImportPhase::Counting, 0);
    report.total = qint32(countRecords(buffer, ends));

    QSet<QByteArray> catalogued;
    if (request.checkOnly) {
        if (request.mode == ImportMode::Catalogue)
            catalogued = catalogueBarcodes(session);
    } else if (request.clear) {
        observer.phaseChanged(ImportPhase::Clearing, 0);
        const std::span<const char *const> clearing = clearingStatements(request.mode);
        emptyTables(session, clearing,
                    [&](qsizetype done) { observer.clearingStep(done, clearing.size(), clearing[done - 1]); });
    }
    // No clear or wipe on another desk empties the tables while the run
    // stores into them, between its records included.
    std::optional<TablesInUse> inUse;
    if (!request.checkOnly)
        inUse.emplace(session, emptiedTables(clearingStatements(request.mode)));

    observer.phaseChanged(request.checkOnly ? ImportPhase::Checking : ImportPhase::Importing, report.total);
    RateMeter rate(observer, report.total);
    qsizetype nextUnencodable = 0;
    qsizetype position = 0;
    qint64 line = 1;
    bool skipping = request.fromLine > 1;
    for (;;) {
        if (line < request.fromLine) {
            ++report.skipped;
        } else {
            if (skipping) {
                skipping = false;
                rate.restart(report.processed);
            }
            handleRecord(session, request, buffer, ends, position, line, decoded.unencodable, nextUnencodable,
                         catalogued, report);
        }
        const qsizetype next = NextRecordStart(buffer, position, ends);
        ++report.processed;
        report.lastLine = line;
        report.nextLine = next == -1 ? 0 : line + countLineBreaks(buffer.sliced(position, next - position));
        observer.recordDone(report.total, report.processed, report.errors);
        rate.recordDone(report.processed);
        if (observer.stopWanted()) {
            rate.finish(report.processed);
            return ImportOutcome::Stopped;
        }
        if (next == -1) {
            rate.finish(report.processed);
            return ImportOutcome::Finished;
        }
        line = report.nextLine;
        position = next;
    }
}

} // namespace

ImportOutcome runImport(DbSession &session, const ImportRequest &request, ImportObserver &observer,
                        ImportReport &report)
{
    try {
        return importFile(session, request, observer, report);
    } catch (const DbError &e) {
        throw explained(e, session.connection().databaseName);
    }
}

ImportOutcome runImport(DbSession &session, const QString &fileName, ImportMode mode, bool clear,
                        ImportObserver &observer)
{
    ImportReport report;
    return runImport(session, ImportRequest{fileName, mode, clear, false}, observer, report);
}

QString phaseCaption(ImportPhase phase)
{
    switch (phase) {
    case ImportPhase::Reading:
        return QStringLiteral("читаю файл в буфер");
    case ImportPhase::Counting:
        return QStringLiteral("считаю записи");
    case ImportPhase::Clearing:
        return QStringLiteral("чистка таблицы");
    case ImportPhase::Importing:
        return QStringLiteral("импортирование данных");
    case ImportPhase::Checking:
        return QStringLiteral("проверка записей");
    }
    return QString();
}

QString outcomeCaption(ImportOutcome outcome, bool checkOnly)
{
    if (outcome == ImportOutcome::Stopped)
        return QStringLiteral("прервано пользователем");
    return checkOnly ? QStringLiteral("проверка завершена") : QStringLiteral("операция завершена");
}

QString formatDescription(const FileFormat &format)
{
    QString encoding;
    switch (format.encoding) {
    case TextEncoding::Cp1251:
        encoding = QStringLiteral("Windows-1251");
        break;
    case TextEncoding::Utf8:
        encoding = QStringLiteral("UTF-8");
        break;
    case TextEncoding::Utf8WithMark:
        encoding = QStringLiteral("UTF-8 с меткой BOM");
        break;
    case TextEncoding::Utf16Le:
        encoding = QStringLiteral("UTF-16 LE");
        break;
    case TextEncoding::Utf16Be:
        encoding = QStringLiteral("UTF-16 BE");
        break;
    case TextEncoding::Binary:
        encoding = QStringLiteral("не текст");
        break;
    }
    QString ends;
    switch (format.lineEnds) {
    case LineEnds::CrLf:
        ends = QStringLiteral("CR LF");
        break;
    case LineEnds::Lf:
        ends = QStringLiteral("LF");
        break;
    case LineEnds::Cr:
        ends = QStringLiteral("CR");
        break;
    case LineEnds::None:
        ends = QStringLiteral("нет, одна строка");
        break;
    }
    return QStringLiteral("кодировка %1, концы строк: %2").arg(encoding, ends);
}

QString rateDescription(double perSecond, qint64 secondsLeft)
{
    const QString rate = QStringLiteral("%1 зап./с").arg(qint64(std::llround(perSecond)));
    if (secondsLeft < 0)
        return rate;
    const qint64 hours = secondsLeft / 3600;
    const qint64 minutes = secondsLeft / 60 % 60;
    const qint64 seconds = secondsLeft % 60;
    QString left = QStringLiteral("%1:%2").arg(minutes).arg(seconds, 2, 10, QLatin1Char('0'));
    if (hours > 0)
        left = QStringLiteral("%1:%2:%3")
                   .arg(hours)
                   .arg(minutes, 2, 10, QLatin1Char('0'))
                   .arg(seconds, 2, 10, QLatin1Char('0'));
    return rate + QStringLiteral(", осталось ") + left;
}

QStringList checkSummary(const ImportReport &report, ImportMode mode, bool clear)
{
    QStringList lines;
    lines += QStringLiteral("будет сохранено записей: %1, отвергнуто: %2").arg(report.stored).arg(report.errors);
    QStringList cut;
    for (const ImportField &field : importFields(mode)) {
        if (const qint32 records = report.cut[field.number - 1]) {
            cut += QStringLiteral("поле %1 «%2» (%3 зн.) — %4")
                       .arg(field.number)
                       .arg(columnTitle(field.table, field.column))
                       .arg(field.kept)
                       .arg(records);
        }
    }
    lines += cut.isEmpty() ? QStringLiteral("обрезанных полей не будет")
                           : QStringLiteral("будут обрезаны: ") + cut.join(QStringLiteral("; "));
    if (mode == ImportMode::Catalogue) {
        if (report.inCatalog == 0) {
            lines += QStringLiteral("номеров, которые уже есть в каталоге, нет");
        } else {
            QStringList sample;
            for (const QByteArray &barcode : report.inCatalogSample)
                sample += QString::fromLatin1(barcode);
            QString line = QStringLiteral("уже есть в каталоге: %1 (%2%3)")
                               .arg(report.inCatalog)
                               .arg(sample.join(QStringLiteral(", ")))
                               .arg(report.inCatalog > sample.size() ? QStringLiteral(", …") : QString());
            line += clear ? QStringLiteral(" — очистка перед импортом их уберёт")
                          : QStringLiteral(" — импорт их удвоит");
            lines += line;
        }
    }
    return lines;
}

QString stopSummary(const ImportReport &report, bool checkOnly)
{
    QString said = checkOnly ? QStringLiteral("проверка остановлена на строке %1 файла").arg(report.lastLine)
                             : QStringLiteral("сохранено записей: %1; остановлено на строке %2 файла")
                                   .arg(report.stored)
                                   .arg(report.lastLine);
    if (report.nextLine == 0)
        return said + QStringLiteral(", последней: обработаны все записи");
    return said + QStringLiteral("; продолжить можно со строки %1").arg(report.nextLine);
}

QString errorSummary(const ImportReport &report)
{
    return QStringLiteral("сохранено записей: %1; запись со строки %2 файла не сохранена, продолжить можно с неё")
        .arg(report.stored)
        .arg(report.failedLine);
}

QString shortQuote(QByteArrayView text, qsizetype longest)
{
    qsizetype end = 0;
    while (end < text.size() && end < longest && text[end] != '\r' && text[end] != '\n')
        ++end;
    QByteArray piece = text.first(end).toByteArray();
    for (char &c : piece) {
        if (static_cast<unsigned char>(c) < 32)
            c = ' ';
    }
    QString quote = fromCp1251(piece);
    if (end < text.size())
        quote += QChar(0x2026);
    return quote;
}

QString engineColumn(const QString &engineText)
{
    // How the engine names a column: a refused value, an unknown column, a
    // doubled key.
    static const QRegularExpression validation(
        QStringLiteral(R"re(validation error for column "([^"]+)"\."([^"]+)")re"));
    static const QRegularExpression unknown(QStringLiteral(R"re(Column unknown\s*\n-(\S+))re"));
    static const QRegularExpression key(QStringLiteral(R"re(Problematic key value is \("([^"]+)")re"));
    if (const QRegularExpressionMatch match = validation.match(engineText); match.hasMatch())
        return match.captured(1) + u'.' + match.captured(2);
    if (const QRegularExpressionMatch match = unknown.match(engineText); match.hasMatch())
        return match.captured(1);
    if (const QRegularExpressionMatch match = key.match(engineText); match.hasMatch())
        return match.captured(1);
    return QString();
}

QString rejectedLineQuote(const RejectedLine &line, qsizetype longest)
{
    // Far enough in that the beginning alone would not show it.
    constexpr qsizetype kLead = 40;
    constexpr qsizetype kFirstField = 20;
    const QByteArrayView text(line.text);
    qsizetype start = 0;
    for (int field = 1; field < line.field && start >= 0; ++field) {
        start = text.indexOf(';', start);
        if (start >= 0)
            ++start;
    }
    if (line.field <= 1 || start <= kLead)
        return shortQuote(text, longest);
    const QString first = shortQuote(text.first(text.indexOf(';')), kFirstField);
    return first + QStringLiteral(";…;")
        + shortQuote(text.sliced(start), std::max<qsizetype>(longest - kFirstField, 1));
}

QByteArray rejectedLinesFile(const QList<RejectedLine> &lines)
{
    QByteArray bytes;
    for (const RejectedLine &line : lines)
        bytes += line.text + "\r\n";
    return bytes;
}

QString rejectedLinesFileName(const QString &input, const QDateTime &when)
{
    const QFileInfo info(input);
    QString base = info.completeBaseName();
    QString suffix = info.suffix();
    if (suffix.isEmpty() || base.isEmpty()) {
        base = info.fileName();
        suffix.clear();
    }
    const QString stem = base + QStringLiteral(".ошибки.") + when.toString(QStringLiteral("yyyy-MM-dd_HH-mm"));
    const auto named
        = [&](const QString &name) { return info.dir().filePath(suffix.isEmpty() ? name : name + u'.' + suffix); };
    // Two runs within a minute: the later one's file is numbered.
    QString name = named(stem);
    for (int copy = 2; QFileInfo::exists(name); ++copy)
        name = named(stem + u'_' + QString::number(copy));
    return name;
}
