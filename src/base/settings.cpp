#include "base/settings.h"

#include "base/platform.h"
#include "db/utilites.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

QString userSettingsFile()
{
    return registryFileName(kSettingsKey);
}

QString systemSettingsFile()
{
    return platform::systemSettingsFolder() + QStringLiteral("/Tovi/Vesko Mika.conf");
}

QString settingText(const QString &key)
{
    for (const QString &fileName : {userSettingsFile(), systemSettingsFile()}) {
        if (!QFileInfo::exists(fileName))
            continue;
        const QSettings store(fileName, QSettings::IniFormat);
        const QString value = store.value(key).toString().trimmed();
        if (!value.isEmpty())
            return value;
    }
    return QString();
}

QString databaseLocation(const QString &programFolder)
{
    const QString setting = settingText(QStringLiteral("database"));
    if (!setting.isEmpty())
        return setting;
    return QDir(programFolder).filePath(QStringLiteral("vesko.mika.baza"));
}
