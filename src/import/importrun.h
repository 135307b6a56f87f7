#pragma once

#include "base/platform.h"
#include "import/encoding.h"
#include "import/records.h"

#include <QByteArray>
#include <QDateTime>
#include <QFileDevice>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <span>

class DbSession;

// One import run over a text export, free of any window: the file read as
// a stream, converted to Windows-1251 when it is UTF-8, its records
// counted, the tables of the mode cleared when asked, and record after
// record stored, committed in groups that never split a record. A check
// runs the same reading, judges every record as the database would by the
// database's own description of its tables, and stores nothing. The import
// tab and the database tool drive it and hear of its progress through an
// observer.

enum class ImportPhase { Reading, Counting, Clearing, Importing, Checking };

// How the file was written, as found on reading it.
struct FileFormat {
    TextEncoding encoding = TextEncoding::Cp1251;
    LineEnds lineEnds = LineEnds::None;
};

class ImportObserver {
public:
    virtual ~ImportObserver() = default;
    // A new phase has begun; total is the count of records once known.
    virtual void phaseChanged(ImportPhase phase, qint32 total) = 0;
    // A record has been handled (stored, rejected or skipped as empty).
    virtual void recordDone(qint32 total, qint32 processed, qint32 errors) = 0;
    // Asked after each record, cheaply: true when a stop is asked for. The
    // run then commits everything handled so far and asks stopConfirmed.
    virtual bool stopWanted() = 0;
    // True ends the run there, as stopped (the place for a question).
    virtual bool stopConfirmed() { return true; }
    // The file has been read: its encoding and line ends are known.
    virtual void formatFound(const FileFormat &) {}
    // A clearing statement has run (not yet committed: the clearing is one
    // transaction): done of count, the last being statement.
    virtual void clearingStep(qsizetype /*done*/, qsizetype /*count*/, const char * /*statement*/) {}
    // A few times a second while records are handled, and once when they
    // end: records per second so far, and the seconds the rest would take,
    // -1 until the rate is steady enough to tell (or after a stop).
    virtual void rateChanged(double /*perSecond*/, qint64 /*secondsLeft*/) {}
};

enum class ImportOutcome {
    NotOpened, // the file could not be had; nothing was done
    Finished,
    Stopped,
};

struct ImportRequest {
    QString fileName;
    ImportMode mode = ImportMode::Catalogue;
    bool clear = false;
    // Reads and judges every record and changes nothing in the database.
    bool checkOnly = false;
    // Records whose first line lies before this one are skipped: neither
    // stored nor judged. Where a stopped run said to go on.
    qint64 fromLine = 1;
};

// A record that was not stored: its line in the file (as an editor numbers
// lines), why, and its text as the file holds it, in Windows-1251.
struct RejectedLine {
    qint64 line = 0;
    QString reason;
    QByteArray text;
    // The field that failed, 1-based; 0 when the whole line did.
    int field = 0;
    bool operator==(const RejectedLine &) const = default;
};

// What a run found, filled in as it goes: a run that an error ends still
// tells what it had done before.
struct ImportReport {
    QString fileName;
    FileFormat format;
    qint32 total = 0;
    qint32 processed = 0;
    qint32 errors = 0;
    // Records stored (committed), or in a check, records that would be.
    qint32 stored = 0;
    // Records before the request's first line, passed over.
    qint32 skipped = 0;
    // The first line of the last record handled, and of the record after
    // it (0 when there is none): where a stopped run ended and may go on.
    qint64 lastLine = 0;
    qint64 nextLine = 0;
    // The first line of the record the database refused, which ended the
    // run; 0 when none did. Every record before it is stored.
    qint64 failedLine = 0;
    QList<RejectedLine> rejected;
    // By field number - 1: stored records whose field was cut to its column.
    std::array<qint32, 32> cut{};
    // A catalogue check: records whose item number already stands in
    // catalog, and the first few of those numbers.
    qint32 inCatalog = 0;
    QList<QByteArray> inCatalogSample;
    // A check: records the database would refuse (among the errors), and
    // the first one's line, where an import would stop.
    qint32 refused = 0;
    qint64 firstRefusedLine = 0;
};

// A group commits after this many records or once it has run this long,
// whichever comes first.
inline constexpr qint32 kGroupRecords = 1000;
inline constexpr qint64 kGroupMs = 250;

// The tables each mode may clear, with their key generators, in order.
std::span<const char *const> clearingStatements(ImportMode mode);

// Stores one record (store2baza's work): its statements, each put into
// SqlText, in one transaction committed when all of them have run. 0 when
// stored; -1 when the record is rejected and nothing ran. A database
// refusal is raised, and nothing of the record stays. The run itself
// stores in groups.
qint32 storeRecord(DbSession &session, const QByteArray &record, ImportMode mode);

// Runs an import, or a check, of the file on the session's database. The
// report is filled in as the run goes, so that one an error ends still
// tells what it had done. A path that is no regular file
// (a folder, a pipe, a device), a file too large for the run's record
// positions, one that cannot be read, one in an encoding the import does
// not read, and one with no record at all raise an error before anything
// is changed, and so does another desk's clear or wipe under way. The
// clearing is emptyTables'; the records are stored while the run holds its
// tables (TablesInUse), in groups, and the run's journal (journal.h) says
// where it may go on. A database refusal ends the run where it is, the
// records before it committed: its message names the cause, what was
// stored and the line to go on from, and only a refusal of the record's
// content names the line and the record as the fault. When the connection
// is lost, the open group is lost with it and the run goes on from its
// first line.
ImportOutcome runImport(DbSession &session, const ImportRequest &request, ImportObserver &observer,
                        ImportReport &report);
ImportOutcome runImport(DbSession &session, const QString &fileName, ImportMode mode, bool clear,
                        ImportObserver &observer);

// Texts shown by the tab and the database tool alike.
QString phaseCaption(ImportPhase phase);
QString outcomeCaption(ImportOutcome outcome, bool checkOnly);
QString formatDescription(const FileFormat &format);
// Without the time left when secondsLeft is negative.
QString rateDescription(double perSecond, qint64 secondsLeft);
// The check's findings, one line each.
QStringList checkSummary(const ImportReport &report, ImportMode mode, bool clear);
// After a stop: what was stored (an import) or how many records were
// checked of how many, the line it stopped at, and the line to go on from.
QString stopSummary(const ImportReport &report, bool checkOnly);
// After a refusal ended the run: what was stored, and the line to go on
// from once the cause is removed.
QString errorSummary(const ImportReport &report);

// At most one short line of the file's text, for a message: its first
// line, cut to longest characters.
QString shortQuote(QByteArrayView text, qsizetype longest = 60);

// The column a database error names, as the engine writes it; empty when
// it names none.
QString engineColumn(const QString &engineText);

// A rejected line for a list, at most about longest characters: its
// beginning, or, when the field that failed lies further on, the first
// field and the text from the failed field on, so that it is in view.
QString rejectedLineQuote(const RejectedLine &line, qsizetype longest);

// The rejected lines as a file in the import's own format, to be corrected
// and imported again: Windows-1251, each line's text followed by CR LF.
QByteArray rejectedLinesFile(const QList<RejectedLine> &lines);

// The mode of that file: staff of one group correct it together, as they
// share the database, which the engine makes for owner and group alone.
inline constexpr QFileDevice::Permissions kRejectedLinesPermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner
    | QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ReadGroup | QFileDevice::WriteGroup;

// Beside the input file, with the time, never a file that is there
// already: "catalog.csv" gives "catalog.ошибки.2024-05-20_14-03.csv", or
// "catalog.ошибки.2024-05-20_14-03_2.csv" when that one exists.
QString rejectedLinesFileName(const QString &input, const QDateTime &when = platform::now());
