#pragma once

#include "import/records.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

class DbConnection;

// Where an interrupted import may go on: a small file outside the
// database, one for each input file, database and mode, kept up to date as
// the run commits and removed once the run has gone through the whole
// file. It names the input's size and modification time, so that a file
// changed since is never gone on with.
//
// A commit and the file's writing cannot be one step, so the journal is
// written just before each commit with the committing transaction named;
// whether that transaction committed is asked of the database later, by
// the rows it added (their RDB$RECORD_VERSION), above the key generator's
// value from before it.

// The folder the journals are kept in: the user's cache folder.
extern std::function<QString()> journalFolder;

// The table an import mode's records all add a row to, with its key and
// the generator of that key.
struct KeyedTable {
    const char *table;
    const char *generator;
};
KeyedTable keyedTable(ImportMode mode);

// What a journal says.
struct JournalEntry {
    QString input;
    qint64 size = 0;
    qint64 modified = 0; // ms since the epoch, UTC
    QString database;
    ImportMode mode = ImportMode::Catalogue;
    // The line to go on from, everything before it done.
    qint64 line = 1;
    // A group being committed: the line after it, its transaction and the
    // key generator's value before it.
    qint64 pendingLine = 0;
    qint64 pendingTransaction = 0;
    qint64 pendingFloor = 0;
};

class ImportJournal {
public:
    // For a run over input that begins at fromLine; the input's size and
    // time are read now.
    ImportJournal(const QString &input, const QString &database, ImportMode mode, qint64 fromLine);

    // The group about to commit in transaction ends before line; written
    // before the commit.
    void committing(qint64 line, qint64 transaction, qint64 keyFloor);
    // That group has committed: its line is where to go on (written with
    // the next group, or by done()).
    void committed();
    // Everything before line is done with nothing to commit (records
    // rejected or passed over); written with the next group.
    void passed(qint64 line);
    // The run ends: everything before line is done.
    void done(qint64 line);
    // The whole file is done: nothing to go on with.
    void finished();

    static QString fileName(const QString &input, const QString &database, ImportMode mode);

private:
    // A journal that cannot be written is given up, its file removed: the
    // import goes on, and only a resume is lost.
    void write();

    JournalEntry m_entry;
    QString m_fileName;
    bool m_given = false;
};

// What a journal file holds; nothing when there is none or it cannot be read.
std::optional<JournalEntry> readJournal(const QString &fileName);

// Where an interrupted import of input into the database may go on.
struct ResumePoint {
    enum class State { None, Changed, Resumable } state = State::None;
    qint64 line = 0;
};
// Asks the connection's database whether a group named as committing did
// commit. A journal for a file whose size or time differ says Changed; one
// whose line is the first, or past the last, None.
ResumePoint resumePoint(DbConnection &connection, const QString &input, ImportMode mode);

// The database named as the journal names it: a local file by its full path.
QString journalDatabaseName(const QString &database);
