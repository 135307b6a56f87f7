#include "import/importrun.h"

#include "base/errors.h"
#include "base/platform.h"
#include "base/sqltext.h"
#include "base/text1251.h"
#include "db/dataset.h"
#include "db/dberror.h"
#include "db/refusals.h"
#include "db/session.h"
#include "db/utilites.h"
#include "firstrun/names.h"
#include "firstrun/wipe.h"
#include "import/importdb.h"
#include "import/importfile.h"
#include "import/journal.h"
#include "import/judge.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

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

// The tables a mode's records go to.
const QList<QByteArray> &storedTables(ImportMode mode)
{
    static const QList<QByteArray> catalogue{"catalog", "izdatelstvo"};
    static const QList<QByteArray> readers{"readers"};
    return mode == ImportMode::Catalogue ? catalogue : readers;
}

// How often the rate is shown: a few times a second.
constexpr qint64 kRateEveryMs = 250;

// The first records go slower than the rest (the cache is cold, statements
// are prepared the first time): the time left waits for this many records
// or this long.
constexpr qint32 kSteadyRecords = 300;
constexpr qint64 kSteadyMs = 2000;

// How many item numbers already in catalog a check names.
constexpr qsizetype kSampleSize = 5;

// Keys read at a time when a check looks up the catalogue's item numbers.
constexpr qint64 kKeysAtATime = 200000;

// The item numbers of catalog that a record's barcode can meet: the
// ten-digit texts of 32-bit numbers, kept as numbers, in order. Read a
// range of keys at a time, so that a catalogue of millions never stands
// in memory as rows.
std::vector<qint32> catalogueNumbers(DbConnection &connection)
{
    const QList<QByteArray> bounds = readRows(connection, "select min(num), max(num) from catalog").value(0);
    std::vector<qint32> numbers;
    if (bounds.value(0).isEmpty())
        return numbers;
    const qint64 last = bounds.value(1).toLongLong();
    for (qint64 from = bounds.value(0).toLongLong(); from <= last; from += kKeysAtATime) {
        const QList<QList<QByteArray>> rows
            = readRows(connection,
                       "select barcod from catalog where num >= " + QByteArray::number(from) + " and num < "
                           + QByteArray::number(from + kKeysAtATime) + " and char_length(barcod) = 10");
        for (const QList<QByteArray> &row : rows) {
            const ItemNumber number = readItemNumber(row.value(0));
            if (number.status == ItemNumber::Read && ZeroPad(number.value, 10) == row.value(0))
                numbers.push_back(number.value);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

// A column the engine names ("READERS.NOMER", "MESTO"), as the staff know
// it; the engine's name when it has none.
QString columnWords(const QString &column)
{
    const qsizetype dot = column.indexOf(u'.');
    const QByteArray table = dot < 0 ? QByteArray() : column.left(dot).toLatin1();
    return columnWords(table, column.mid(dot + 1).toLatin1());
}

// The first letter up, for a sentence of its own.
QString sentence(const QString &text)
{
    return text.isEmpty() ? text : text.front().toUpper() + text.mid(1);
}

// What the user is told when the database refuses a record. A refusal of
// the record's content names its line, the column the engine names and the
// record; any cause of the database's own (a lost connection, a missing
// right, a key clash) is said without blaming the file. Then what was
// stored and where to go on, and the engine's own words.
DbError refusal(const QString &database, const ImportReport &report, qint64 line, QByteArrayView text,
                const DbError &error)
{
    const QString resume = sentence(errorSummary(report)) + u'.';
    const QString cause = causeSentence(error, database);
    if (!cause.isEmpty())
        return error.explainedAs(cause + u'\n' + resume + QStringLiteral("\n\n") + error.text());
    const QString column = engineColumn(error.text());
    QString said = QStringLiteral("Строка %1 файла: база данных не приняла запись").arg(line);
    if (!column.isEmpty())
        said += QStringLiteral(", ") + columnWords(column);
    return error.explainedAs(said + QStringLiteral(".\nЗапись: «%1»\n").arg(shortQuote(text)) + resume
                             + QStringLiteral("\n\n") + error.text());
}

// What the user is told when the database refuses a group's commit (a
// lost connection, a rule of the database's own at commit): the group is
// lost, and the run goes on from its first record.
DbError commitRefusal(const QString &database, const ImportReport &report, const DbError &error)
{
    QString said = causeSentence(error, database);
    if (said.isEmpty())
        said = QStringLiteral("База данных не приняла записи со строки %1 файла.").arg(report.failedLine);
    return error.explainedAs(said + u'\n' + sentence(errorSummary(report)) + u'.' + QStringLiteral("\n\n")
                             + error.text());
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

    // Returns the clock's reading, for whatever else goes by time.
    qint64 recordDone(qint32 processed)
    {
        const qint64 now = platform::steadyMs();
        if (now - m_shown >= kRateEveryMs) {
            m_shown = now;
            show(processed, now, false);
        }
        return now;
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
int fieldAt(QByteArrayView record, qsizetype position)
{
    return 1 + int(record.first(position).count(';'));
}

// The field of the record a column takes its value from; 0 for none.
int fieldOf(ImportMode mode, QByteArrayView table, QByteArrayView column)
{
    const auto same
        = [](QByteArrayView a, const char *b) { return a.compare(QByteArrayView(b), Qt::CaseInsensitive) == 0; };
    if (same(column, "barcod") || same(column, "nomer"))
        return 1;
    if (same(column, "cost"))
        return 13;
    for (const ImportField &field : importFields(mode)) {
        if (same(table, field.table) && same(column, field.column))
            return field.number;
    }
    return 0;
}

// What a check holds for the whole file: the database's description and
// the item numbers already in the catalogue.
struct CheckBasis {
    StatementJudge judge;
    std::vector<qint32> catalogued;
};

// One record judged and, unless only checking, handed to the group.
class RecordHandler {
public:
    RecordHandler(const ImportRequest &request, ImportReport &report, CheckBasis *check, GroupStore *store)
        : m_request(request), m_report(report), m_check(check), m_store(store)
    {
    }

    // A refusal by the database is raised.
    void handle(const FileRecord &record)
    {
        const QByteArrayView bytes(record.bytes);
        const QByteArray text = recordText(bytes, 0, m_report.format.lineEnds);
        if (text.isEmpty())
            return;
        const qsizetype end = recordTextEnd(bytes, 0, m_report.format.lineEnds);
        QString reason;
        int field = 0;
        RecordPlan plan;
        const auto unencodable = std::find_if(record.unencodable.cbegin(), record.unencodable.cend(),
                                              [end](const Unencodable &what) { return what.position < end; });
        if (unencodable != record.unencodable.cend()) {
            reason = unencodableReason(*unencodable);
            field = fieldAt(bytes, unencodable->position);
        } else {
            plan = planRecord(text, m_request.mode);
            reason = rejectionReason(plan.rejection, plan.rejectedValue);
            field = plan.rejectedField;
        }
        if (reason.isEmpty() && m_check)
            reason = judged(plan, field, record.line);
        if (!reason.isEmpty()) {
            ++m_report.errors;
            m_report.rejected.append({record.line, reason, bytes.first(end).toByteArray(), field});
            return;
        }
        if (m_store)
            m_store->store(plan.statements);
        else
            ++m_report.stored;
        // An import's are counted as its group commits.
        std::array<qint32, 32> &cut = m_store ? m_cut : m_report.cut;
        for (quint32 bits = plan.cutFields; bits != 0; bits &= bits - 1)
            ++cut[std::countr_zero(bits)];
        if (m_check
            && std::binary_search(m_check->catalogued.begin(), m_check->catalogued.end(),
                                  qint32(plan.barcode.toInt()))) {
            ++m_report.inCatalog;
            if (m_report.inCatalogSample.size() < kSampleSize && !m_report.inCatalogSample.contains(plan.barcode))
                m_report.inCatalogSample.append(plan.barcode);
        }
    }

    // The cut fields of the records in the group, stored now or lost.
    void cutsStored()
    {
        for (size_t i = 0; i < m_cut.size(); ++i)
            m_report.cut[i] += std::exchange(m_cut[i], 0);
    }
    void cutsLost() { m_cut.fill(0); }

private:
    // What the database would make of the record's statements, said as a
    // rejection; empty when it would take them.
    QString judged(const RecordPlan &plan, int &field, qint64 line)
    {
        for (const QByteArray &statement : plan.statements) {
            if (const std::optional<Refusal> refused = m_check->judge.judge(statement)) {
                field = fieldOf(m_request.mode, refused->table, refused->column);
                if (m_report.refused++ == 0)
                    m_report.firstRefusedLine = line;
                return refusalReason(*refused);
            }
        }
        return QString();
    }

    const ImportRequest &m_request;
    ImportReport &m_report;
    CheckBasis *m_check;
    GroupStore *m_store;
    std::array<qint32, 32> m_cut{};
};

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
    const FileScan scan = scanImportFile(file);
    // Refused before anything is changed, the clearing included.
    if (!readable(scan.encoding))
        throw AppError(unreadableText(scan.encoding, request.fileName));
    if (scan.blank) {
        throw AppError(
            QStringLiteral("файл пуст: в «%1» нет ни одной записи; в базе ничего не изменено").arg(request.fileName));
    }
    report.format = {scan.encoding, scan.lineEnds};
    observer.formatFound(report.format);

    observer.phaseChanged(ImportPhase::Counting, 0);
    report.total = qint32(scan.records);
    if (!file.seek(0))
        throw AppError(QStringLiteral("не удаётся прочитать файл %1:\n%2").arg(request.fileName, file.errorString()));

    DbConnection &connection = session.connection();
    std::optional<CheckBasis> check;
    if (request.checkOnly) {
        check.emplace(CheckBasis{StatementJudge::read(connection, storedTables(request.mode)), {}});
        if (request.mode == ImportMode::Catalogue)
            check->catalogued = catalogueNumbers(connection);
    } else if (request.clear) {
        observer.phaseChanged(ImportPhase::Clearing, 0);
        const std::span<const char *const> clearing = clearingStatements(request.mode);
        emptyTables(session, clearing,
                    [&](qsizetype done) { observer.clearingStep(done, clearing.size(), clearing[done - 1]); });
    }
    // No clear or wipe on another desk empties the tables while the run
    // stores into them, between its records included.
    std::optional<TablesInUse> inUse;
    std::optional<GroupStore> store;
    std::optional<ImportJournal> journal;
    if (!request.checkOnly) {
        inUse.emplace(session, emptiedTables(clearingStatements(request.mode)));
        const KeyedTable keyed = keyedTable(request.mode);
        store.emplace(connection,
                      QByteArray("select current_transaction, gen_id(") + keyed.generator + ", 0) from rdb$database");
        journal.emplace(request.fileName, connection.databaseName, request.mode, request.fromLine);
    }

    observer.phaseChanged(request.checkOnly ? ImportPhase::Checking : ImportPhase::Importing, report.total);
    RecordHandler handler(request, report, check ? &*check : nullptr, store ? &*store : nullptr);
    RateMeter rate(observer, report.total);
    RecordReader reader(file, scan);
    FileRecord record;
    // The open group: the line of its first record, and since when it runs.
    qint64 groupLine = 0;
    qint64 groupStarted = 0;
    // Every record before this line is done: stored, rejected or passed over.
    qint64 doneLine = request.fromLine;
    const auto commitGroup = [&] {
        if (!store || store->pending() == 0)
            return;
        journal->committing(doneLine, store->transaction(), store->keyFloor());
        report.stored += store->commit();
        handler.cutsStored();
        journal->committed();
        groupLine = 0;
    };
    // The journal still names the group as committing when its commit is
    // refused, which the database then says never came.
    const auto commitOrEnd = [&] {
        try {
            commitGroup();
        } catch (const DbError &error) {
            handler.cutsLost();
            report.failedLine = groupLine;
            throw commitRefusal(connection.databaseName, report, error);
        }
    };
    bool skipping = request.fromLine > 1;
    while (reader.next(record)) {
        if (record.line < request.fromLine) {
            ++report.skipped;
        } else {
            if (skipping) {
                skipping = false;
                rate.restart(report.processed);
            }
            try {
                handler.handle(record);
            } catch (const DbError &error) {
                // The records before it in the group are committed when the
                // group could be kept; else the run goes on from the
                // group's first record.
                if (!store->lost()) {
                    doneLine = record.line;
                    try {
                        commitGroup();
                    } catch (const DbError &) {
                    }
                }
                handler.cutsLost();
                report.failedLine = store->lost() && groupLine > 0 ? groupLine : record.line;
                journal->done(report.failedLine);
                throw refusal(connection.databaseName, report, record.line,
                              record.bytes.first(recordTextEnd(record.bytes, 0, scan.lineEnds)), error);
            }
        }
        ++report.processed;
        report.lastLine = record.line;
        report.nextLine = record.nextLine;
        doneLine = record.nextLine;
        observer.recordDone(report.total, report.processed, report.errors);
        const qint64 now = rate.recordDone(report.processed);
        const bool last = record.nextLine == 0;
        if (store) {
            if (store->pending() == 0)
                journal->passed(doneLine);
            else if (groupLine == 0) {
                groupLine = record.line;
                groupStarted = now;
            }
        }
        if (observer.stopWanted()) {
            // Everything handled so far is committed before the question.
            commitOrEnd();
            if (observer.stopConfirmed()) {
                if (journal && last)
                    journal->finished();
                else if (journal)
                    journal->done(doneLine);
                rate.finish(report.processed);
                return ImportOutcome::Stopped;
            }
        }
        if (store && store->pending() > 0
            && (last || store->pending() >= kGroupRecords || now - groupStarted >= kGroupMs))
            commitOrEnd();
    }
    if (journal)
        journal->finished();
    rate.finish(report.processed);
    return ImportOutcome::Finished;
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
    if (report.refused > 0) {
        lines += QStringLiteral("база данных не примет записей: %1 — импорт остановится на строке %2")
                     .arg(report.refused)
                     .arg(report.firstRefusedLine);
    }
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
    QString said = checkOnly ? QStringLiteral("проверено %1 строк из %2; проверка остановлена на строке %3 файла")
                                   .arg(report.processed - report.skipped)
                                   .arg(report.total - report.skipped)
                                   .arg(report.lastLine)
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
