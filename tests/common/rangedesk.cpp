// A desk at the barcode register beside others, for the many-desks test
// and benchmark: it adds ranges and deletes them through the register's
// own routines, as the barcode tab does, half of its deletes aimed at any
// desk's range so that desks meet on the same rows, and says what became
// of each step, one line each:
//
//   added KEY      the range is stored under KEY
//   deleted KEY    the delete went through
//   busy KEY TEXT  another desk held the range: nothing changed, TEXT said
//   done STEPS MS
//
//   range-desk DATABASE DESK STEPS
//
// Any other refusal ends it with status 1.

#include "auth/autent.h"
#include "db/dberror.h"
#include "db/session.h"
#include "labels/register.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 4) {
        std::fprintf(stderr, "usage: range-desk DATABASE DESK STEPS\n");
        return 2;
    }
    const int desk = arguments[2].toInt();
    const int steps = arguments[3].toInt();

    DbSession session;
    try {
        session.open(arguments[1], builtInConnectionParams());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "range-desk: %s\n", e.what());
        return 1;
    }

    QRandomGenerator random(quint32(desk) * 7919u + 1);
    QList<QByteArray> mine;
    QElapsedTimer clock;
    clock.start();
    for (int step = 0; step < steps; ++step) {
        QByteArray key;
        try {
            if (mine.size() < 3 || random.bounded(10) < 6) {
                const QByteArray low = QByteArray::number(qint64(desk) * 1000000 + qint64(step) * 10);
                const QByteArray high = QByteArray::number(low.toLongLong() + 9);
                key = *addRange(session, low, high, "desk " + QByteArray::number(desk));
                mine.append(key);
                std::printf("added %s\n", key.constData());
            } else {
                if (random.bounded(2) == 0) {
                    key = mine.takeAt(random.bounded(int(mine.size())));
                } else {
                    const QList<RegisteredRange> all = registeredRanges(session);
                    key = all.isEmpty() ? mine.takeFirst() : all[random.bounded(int(all.size()))].num;
                    mine.removeAll(key);
                }
                deleteRange(session, key);
                std::printf("deleted %s\n", key.constData());
            }
        } catch (const DbError &e) {
            if (e.cause() != DbError::Cause::Busy) {
                std::fprintf(stderr, "range-desk: %s\n", e.what());
                return 1;
            }
            std::printf("busy %s %s\n", key.constData(), QString(e.text()).replace(u'\n', u' ').toUtf8().constData());
        }
        std::fflush(stdout);
    }
    std::printf("done %d %lld\n", steps, static_cast<long long>(clock.elapsed()));
    session.connection().forceClose();
    return 0;
}
