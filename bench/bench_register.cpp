// Times the reads about a typed range: its numbers already standing on
// books, which the sheet summary shows, and the register's ranges that
// overlap it, which the add asks about, on a catalogue of 500,000 rows with
// no index on barcod, as the program's own account on an embedded
// database. Prints the fill time and, for each case, the fastest, median
// and slowest wall time of several runs, and the median processor time,
// which other work on the machine does not stretch.
//
//   bench_register [--rows N] [--runs N]

#include "auth/autent.h"
#include "db/session.h"
#include "labels/register.h"
#include "testdb.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {

// Catalogue rows of a realistic width: numbers 1 to rows as their barcode
// texts, with every 1000th book carrying a text that is no number and
// every 500th a second copy of an earlier number.
QByteArray fillStatement(int rows)
{
    return "execute block as declare i integer = 1; begin while (i <= " + QByteArray::number(rows)
        + ") do begin insert into catalog (num, catalog, mnt, barcod, autor, title, izdata2, isbn, tirazh, objem, "
          "vid, otdel, fond, cost, uchet) values (:i, '1', '0', "
          "iif(mod(:i, 1000) = 0, 'A' || lpad(:i, 9, '0'), iif(mod(:i, 500) = 0, lpad(:i - 1, 10, '0'), "
          "lpad(:i, 10, '0'))), "
          "'Author ' || :i || ' A. B.', 'Title of the book number ' || :i || ' in the library catalogue', '1985', "
          "'5-0000-' || :i, '1000', '200 p.', 'book', 'Lending', 'main', 350, '1'); i = i + 1; end end";
}

// Processor time of the whole process so far, user and system.
double processorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Case {
    const char *name;
    QByteArray start;
    QByteArray end;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption(
        {QStringLiteral("rows"), QStringLiteral("catalogue rows"), QStringLiteral("N"), QStringLiteral("500000")});
    parser.addOption(
        {QStringLiteral("runs"), QStringLiteral("runs of each case"), QStringLiteral("N"), QStringLiteral("7")});
    parser.process(app);
    const int rows = parser.value(QStringLiteral("rows")).toInt();
    const int runs = qMax(1, parser.value(QStringLiteral("runs")).toInt());

    TestDb db;
    const QString path = db.freshFile();
    QElapsedTimer timer;
    timer.start();
    DbReader(path).exec(fillStatement(rows));
    std::printf("catalogue: %d rows filled in %.1f s\n", rows, timer.nsecsElapsed() / 1e9);

    // The program's own account, with the rights the database tool gave it.
    DbSession session;
    session.open(path, builtInConnectionParams());

    const Case cases[] = {
        {"a hundred numbers, all taken", "100", "199"},
        {"a hundred numbers, none taken", "900000", "900099"},
        {"the whole catalogue", "1", QByteArray::number(rows)},
        {"reversed, across zero", "50", "-50"},
        {"negative only (no look at the catalogue)", "-200", "-100"},
    };
    bool within = true;
    for (const Case &c : cases) {
        QList<double> wall;
        QList<double> processor;
        RangeClash clash;
        qint64 taken = 0;
        for (int run = 0; run < runs; ++run) {
            const double processorBefore = processorSeconds();
            timer.restart();
            clash = *rangeClash(session, c.start, c.end);
            const qint64 start = c.start.toLongLong();
            const qint64 end = c.end.toLongLong();
            taken = takenInCatalog(session, qMin(start, end), qMax(start, end));
            wall.append(timer.nsecsElapsed() / 1e9);
            processor.append(processorSeconds() - processorBefore);
        }
        within = within && median(wall) < 0.5;
        std::printf("%-42s %lld taken, %lld overlapping: wall fastest %.3f s, median %.3f s, slowest %.3f s; "
                    "processor median %.3f s\n",
                    c.name, static_cast<long long>(taken), static_cast<long long>(clash.overlapping.size()),
                    *std::min_element(wall.begin(), wall.end()), median(wall),
                    *std::max_element(wall.begin(), wall.end()), median(processor));
    }

    // The popup's list over a large register: 2,000 ranges, every tenth
    // overlapping its neighbour.
    QByteArray ranges = "execute block as declare i integer = 0; begin while (i < 2000) do begin "
                        "insert into barcodes (num, bs, bp, me) values (gen_id(nnbarcodes, 1), :i * 100, "
                        ":i * 100 + iif(mod(:i, 10) = 0, 150, 99), 'range ' || :i); i = i + 1; end end";
    DbReader(path).exec(ranges);
    timer.restart();
    const QList<RangeOverlap> overlaps = overlapsAmong(registeredRanges(session));
    std::printf("overlaps in a register of %lld ranges: %lld found in %.3f s\n",
                static_cast<long long>(registeredRanges(session).size()), static_cast<long long>(overlaps.size()),
                timer.nsecsElapsed() / 1e9);

    session.connection().close();
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("median wall time under 0.5 s in every case: %s (load average %.1f on %d processors)\n",
                within ? "yes" : "no", load[0], QThread::idealThreadCount());
    return 0;
}
