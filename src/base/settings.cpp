#include "base/settings.h"

#include "base/errors.h"
#include "base/platform.h"
#include "base/text1251.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

QString registryFileName(const QByteArray &keyPath)
{
    // "Software\Organisation\Application[\...]" -> <folder>/Organisation/Application.conf
    const QList<QByteArray> parts = keyPath.split('\\');
    if (parts.size() < 3 || parts[0].compare("Software", Qt::CaseInsensitive) != 0 || parts[1].isEmpty()
        || parts[2].isEmpty())
        return QString();
    return platform::registryFolder() + u'/' + fromCp1251(parts[1]) + u'/' + fromCp1251(parts[2])
        + QStringLiteral(".conf");
}

QByteArray ReadRegistryText(RegistryRoot root, const QByteArray &keyPath, const QByteArray &valueName)
{
    constexpr qsizetype bufferSize = 256;
    if (root != HKEY_CURRENT_USER)
        return QByteArray();
    const QString fileName = registryFileName(keyPath);
    if (fileName.isEmpty() || !QFileInfo::exists(fileName))
        return QByteArray();

    QSettings store(fileName, QSettings::IniFormat);
    if (store.status() != QSettings::NoError)
        return QByteArray();
    QString key;
    const QList<QByteArray> parts = keyPath.split('\\');
    for (qsizetype i = 3; i < parts.size(); ++i)
        key += fromCp1251(parts[i]) + u'/';
    key += fromCp1251(valueName);
    const QVariant value = store.value(key);
    if (!value.isValid())
        return QByteArray();

    QByteArray bytes;
    if (value.typeId() == QMetaType::QByteArray) {
        bytes = value.toByteArray();
    } else {
        try {
            bytes = toCp1251(value.toString());
        } catch (const ConvertError &) {
            return QByteArray();
        }
    }
    // A value that does not fit the buffer cannot be read at all.
    if (bytes.size() > bufferSize)
        return QByteArray();
    const qsizetype zero = bytes.indexOf('\0');
    return zero < 0 ? bytes : bytes.left(zero);
}

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

void syncForOwner(QSettings &store)
{
    store.sync();
    QFile file(store.fileName());
    file.setPermissions(file.permissions()
                        & ~(QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther));
}
