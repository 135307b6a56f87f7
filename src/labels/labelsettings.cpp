#include "labels/labelsettings.h"

#include "base/settings.h"

#include <QFile>
#include <QSettings>
#include <cmath>

namespace {

const QString kOffsetX = QStringLiteral("labels/offset x");
const QString kOffsetY = QStringLiteral("labels/offset y");
const QString kPrinter = QStringLiteral("labels/printer");
const QString kPaperSource = QStringLiteral("labels/paper source");

qreal offsetValue(const QSettings &store, const QString &key)
{
    bool ok = false;
    const qreal mm = store.value(key).toString().toDouble(&ok);
    if (!ok || !std::isfinite(mm))
        return 0;
    return std::round(qBound(-10.0, mm, 10.0) * 10) / 10;
}

} // namespace

LabelSettings readLabelSettings()
{
    LabelSettings settings;
    const QString fileName = userSettingsFile();
    if (fileName.isEmpty())
        return settings;
    const QSettings store(fileName, QSettings::IniFormat);
    settings.offsetMm = QPointF(offsetValue(store, kOffsetX), offsetValue(store, kOffsetY));
    settings.printerName = store.value(kPrinter).toString();
    settings.paperSource = store.value(kPaperSource).toString();
    return settings;
}

// Written as text with a point, whatever the locale, so that the file reads
// the same everywhere.
void writeLabelOffset(const QPointF &offsetMm)
{
    const QString fileName = userSettingsFile();
    if (fileName.isEmpty())
        return;
    QSettings store(fileName, QSettings::IniFormat);
    store.setValue(kOffsetX, QString::number(offsetMm.x(), 'f', 1));
    store.setValue(kOffsetY, QString::number(offsetMm.y(), 'f', 1));
    syncForOwner(store);
}

void writeLabelPrinter(const QString &printerName, const QString &paperSource)
{
    const QString fileName = userSettingsFile();
    if (fileName.isEmpty())
        return;
    QSettings store(fileName, QSettings::IniFormat);
    store.setValue(kPrinter, printerName);
    store.setValue(kPaperSource, paperSource);
    syncForOwner(store);
}
