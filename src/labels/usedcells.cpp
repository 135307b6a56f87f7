#include "labels/usedcells.h"

#include "base/settings.h"

#include <QFile>
#include <QSettings>
#include <QUrl>

#include <algorithm>

namespace {

// Printer and product names may hold anything, the settings keys not.
QString key(const QString &group, const QString &name)
{
    return QStringLiteral("labels/") + group + QLatin1Char('/')
        + QString::fromLatin1(QUrl::toPercentEncoding(name.isEmpty() ? QStringLiteral("-") : name));
}

} // namespace

QList<int> readFreeCells(const QString &printerName, const QString &sheetId)
{
    QList<int> cells;
    const QString fileName = userSettingsFile();
    if (fileName.isEmpty())
        return cells;
    const QSettings store(fileName, QSettings::IniFormat);
    const QString text
        = store.value(key(QStringLiteral("free cells"), printerName + QLatin1Char('|') + sheetId)).toString();
    for (const QString &part : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int cell = part.toInt(&ok);
        if (ok && cell > 0 && !cells.contains(cell))
            cells.append(cell);
    }
    std::sort(cells.begin(), cells.end());
    return cells;
}

void writeFreeCells(const QString &printerName, const QString &sheetId, const QList<int> &freeCells)
{
    const QString fileName = userSettingsFile();
    if (fileName.isEmpty())
        return;
    QSettings store(fileName, QSettings::IniFormat);
    const QString name = key(QStringLiteral("free cells"), printerName + QLatin1Char('|') + sheetId);
    if (freeCells.isEmpty()) {
        store.remove(name);
    } else {
        QStringList parts;
        for (int cell : freeCells)
            parts.append(QString::number(cell));
        store.setValue(name, parts.join(QLatin1Char(' ')));
    }
    syncForOwner(store);
}

QString readSheetChoice(const QString &printerName)
{
    const QString fileName = userSettingsFile();
    if (fileName.isEmpty())
        return QString();
    return QSettings(fileName, QSettings::IniFormat).value(key(QStringLiteral("sheet"), printerName)).toString();
}

void writeSheetChoice(const QString &printerName, const QString &sheetId)
{
    const QString fileName = userSettingsFile();
    if (fileName.isEmpty())
        return;
    QSettings store(fileName, QSettings::IniFormat);
    store.setValue(key(QStringLiteral("sheet"), printerName), sheetId);
    syncForOwner(store);
}

QString freeCellsText(qsizetype count)
{
    const qsizetype tens = count % 100;
    const qsizetype ones = count % 10;
    QString noun = QStringLiteral("наклеек");
    QString verb = QStringLiteral("свободно");
    if (ones == 1 && tens != 11) {
        noun = QStringLiteral("наклейка");
        verb = QStringLiteral("свободна");
    } else if (ones >= 2 && ones <= 4 && (tens < 12 || tens > 14)) {
        noun = QStringLiteral("наклейки");
    }
    return QStringLiteral("%1 %2 %3 на последнем листе").arg(verb).arg(count).arg(noun);
}
