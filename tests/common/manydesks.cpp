#include "manydesks.h"

#include "fbserver.h"

#include "base/text1251.h"

#include <QElapsedTimer>
#include <QProcess>

#include <memory>

QByteArray deskCatalogue(qint64 first, int records)
{
    QByteArray bytes;
    for (qint64 number = first; number < first + records; ++number) {
        bytes += toCp1251(QStringLiteral("%1;Автор %1;Книга № %1;Москва;Издательство %2;1985;5-0000-%1;1000;200 с.;"
                                         "книга;Абонемент;основной;%3,50\r\n")
                              .arg(number)
                              .arg(number % 97)
                              .arg(number % 1000));
    }
    return bytes;
}

ManyDesks runManyDesks(const FbServer &server, const QString &database, const QStringList &files, int deskCount,
                       int rangeSteps, const QString &cache)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The program's account password, as a desk of this server keeps it.
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), server.settingsFolder());
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
    struct Running {
        std::unique_ptr<QProcess> process;
        QElapsedTimer clock;
        DeskRun run;
    };
    QList<std::shared_ptr<Running>> imports;
    QList<std::shared_ptr<Running>> ranges;
    const auto start = [&](const QString &program, const QStringList &arguments, const QString &name) {
        auto running = std::make_shared<Running>();
        running->run.name = name;
        running->process = std::make_unique<QProcess>();
        running->process->setProcessEnvironment(environment);
        running->process->setProcessChannelMode(QProcess::MergedChannels);
        running->clock.start();
        running->process->start(program, arguments);
        return running;
    };
    QElapsedTimer all;
    all.start();
    for (int desk = 0; desk < deskCount; ++desk) {
        imports.append(start(QStringLiteral(DBTOOL_PATH),
                             {QStringLiteral("import"), QStringLiteral("catalog"), files.value(desk), database},
                             QStringLiteral("import %1").arg(desk + 1)));
        ranges.append(start(QStringLiteral(RANGE_DESK_PATH),
                            {database, QString::number(desk + 1), QString::number(rangeSteps)},
                            QStringLiteral("ranges %1").arg(desk + 1)));
    }
    ManyDesks result;
    const auto finish = [](Running &running) {
        running.process->waitForFinished(-1);
        running.run.seconds = running.clock.nsecsElapsed() / 1e9;
        running.run.crashed = running.process->exitStatus() != QProcess::NormalExit;
        running.run.exitCode = running.process->exitCode();
        running.run.output = running.process->readAll();
        return running.run;
    };
    // Each desk's time runs until it is seen finished: waited for in the
    // order they end, not the order they began.
    QList<std::shared_ptr<Running>> left = imports + ranges;
    while (!left.isEmpty()) {
        for (qsizetype i = 0; i < left.size();) {
            if (left[i]->process->state() == QProcess::NotRunning || left[i]->process->waitForFinished(20)) {
                finish(*left[i]);
                left.removeAt(i);
            } else {
                ++i;
            }
        }
    }
    result.seconds = all.nsecsElapsed() / 1e9;
    for (const auto &running : imports)
        result.imports.append(running->run);
    for (const auto &running : ranges)
        result.ranges.append(running->run);
    return result;
}
