#pragma once

#include "import/records.h"

#include <QByteArray>
#include <QString>

#include <span>

// One import run over a text export, free of any window: the whole file
// read into memory, its records counted, the tables of the mode cleared
// when asked, and record after record stored. The import tab and the
// database tool drive it and hear of its progress through an observer.

enum class ImportPhase { Reading, Counting, Clearing, Importing };

class ImportObserver {
public:
    virtual ~ImportObserver() = default;
    // A new phase has begun; total is the count of records once known.
    virtual void phaseChanged(ImportPhase phase, qint32 total) = 0;
    // A record has been handled (stored, rejected or skipped as empty).
    virtual void recordDone(qint32 total, qint32 processed, qint32 errors) = 0;
    // Asked after each record; true ends the run there, as stopped.
    virtual bool stopWanted() = 0;
};

enum class ImportOutcome {
    NotOpened, // the file could not be had; nothing was done
    Finished,
    Stopped,
};

// The tables each mode may clear, with their key generators, in order.
std::span<const char *const> clearingStatements(ImportMode mode);

// Stores one record (store2baza's work): its statements, each put into
// SqlText and committed on its own. 0 when stored; -1 when the record is
// rejected and nothing ran. A database refusal is raised.
qint32 storeRecord(const QByteArray &record, ImportMode mode);

// Runs an import of the file. A file too large for the run's record
// positions, or one that cannot be read, raises an error before anything
// is stored; so does a database refusal, which ends the run where it is.
ImportOutcome runImport(const QString &fileName, ImportMode mode, bool clear, ImportObserver &observer);
