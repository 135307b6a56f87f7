#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class FbServer;

// Desks at work on one database through a server at the same time: the
// database tool importing a file at each of some, range-desk adding and
// deleting barcode ranges at each of the others. For the many-desks test
// and benchmark.

struct DeskRun {
    QString name;
    bool crashed = false;
    int exitCode = 0;
    QByteArray output;
    double seconds = 0;
};

struct ManyDesks {
    QList<DeskRun> imports;
    QList<DeskRun> ranges;
    double seconds = 0;
};

// A catalogue export of records with item numbers from first on, each with
// its publisher, in Windows-1251 with CR LF.
QByteArray deskCatalogue(qint64 first, int records);

// Starts every desk at once and waits for all of them. cache is the cache
// folder the tools use (their import journals).
ManyDesks runManyDesks(const FbServer &server, const QString &database, const QStringList &files, int deskCount,
                       int rangeSteps, const QString &cache);
