#include "fbserver.h"
#include "manydesks.h"
#include "testdb.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

// Eight desks importing files and eight keeping the barcode register, all
// at once through one server: nothing lost, nothing doubled, and a desk
// that met another's lock says so instead of claiming success.
class TestManyDesks : public QObject {
    Q_OBJECT

private slots:
    void eightImportsBesideEightRegisters();
};

void TestManyDesks::eightImportsBesideEightRegisters()
{
    constexpr int kDesks = 8;
    constexpr int kRecords = 2000;
    constexpr int kRangeSteps = 100;
    FbServer server;
    QVERIFY2(server.running(), qPrintable(server.error()));
    const QString database = server.createDatabase(QStringLiteral("desks.fdb"));
    QVERIFY2(!database.isEmpty(), qPrintable(server.failure()));
    QTemporaryDir files;
    QStringList inputs;
    for (int desk = 1; desk <= kDesks; ++desk) {
        const QString name = files.filePath(QStringLiteral("desk%1.csv").arg(desk));
        QFile file(name);
        const QByteArray bytes = deskCatalogue(qint64(desk) * 100000, kRecords);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        inputs.append(name);
    }
    DbReader reader(database, server.adminParams());
    QSet<QByteArray> ranges;
    for (const QByteArray &key : reader.rows("select num from barcodes"))
        ranges.insert(key);

    const ManyDesks desks = runManyDesks(server, database, inputs, kDesks, kRangeSteps, files.filePath("cache"));

    for (const DeskRun &run : desks.imports) {
        QVERIFY2(!run.crashed && run.exitCode == 0, qPrintable(run.name + u'\n' + QString::fromUtf8(run.output)));
        QVERIFY2(run.output.contains(QStringLiteral("операция завершена: всего записей %1, обработано %1, из них "
                                                    "ошибок 0")
                                         .arg(kRecords)
                                         .toUtf8()),
                 run.output.constData());
    }
    // Every record of every file once, each with its publisher.
    QCOMPARE(reader.value("select count(*) || '|' || count(distinct barcod) from catalog"),
             QByteArray::number(kDesks * kRecords) + '|' + QByteArray::number(kDesks * kRecords));
    // As many publisher rows, all different, and none beside a book's.
    QCOMPARE(reader.value("select count(*) || '|' || count(distinct barcod) from izdatelstvo"),
             QByteArray::number(kDesks * kRecords) + '|' + QByteArray::number(kDesks * kRecords));
    QCOMPARE(reader.value("select count(distinct barcod) from (select barcod from catalog "
                          "union all select barcod from izdatelstvo)"),
             QByteArray::number(kDesks * kRecords));
    for (int desk = 1; desk <= kDesks; ++desk) {
        const QByteArray low = QByteArray::number(qint64(desk) * 100000);
        QCOMPARE(reader.value("select count(*) from catalog where cast(barcod as integer) between " + low + " and "
                              + QByteArray::number(low.toLongLong() + kRecords - 1)),
                 QByteArray::number(kRecords));
    }

    // The register holds what was there, plus every range a desk added,
    // less every range a desk said it deleted; a desk that met another's
    // lock changed nothing and said why.
    int busy = 0;
    QSet<QByteArray> deleted;
    for (const DeskRun &run : desks.ranges) {
        QVERIFY2(!run.crashed && run.exitCode == 0, qPrintable(run.name + u'\n' + QString::fromUtf8(run.output)));
        QVERIFY2(run.output.contains("done " + QByteArray::number(kRangeSteps)), run.output.constData());
        for (const QByteArray &line : run.output.split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            if (words.value(0) == "added") {
                ranges.insert(words.value(1));
            } else if (words.value(0) == "deleted") {
                deleted.insert(words.value(1));
            } else if (words.value(0) == "busy") {
                QVERIFY2(words.size() > 2, line.constData());
                ++busy;
            }
        }
    }
    ranges.subtract(deleted);
    QSet<QByteArray> stored;
    for (const QByteArray &key : reader.rows("select num from barcodes"))
        stored.insert(key);
    QCOMPARE(stored, ranges);
    qInfo("%d desks, %.1f s; lock conflicts met by range desks: %d", 2 * kDesks, desks.seconds, busy);
}

QTEST_GUILESS_MAIN(TestManyDesks)
#include "tst_manydesks.moc"
