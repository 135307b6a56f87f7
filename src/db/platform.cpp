#include "db/platform.h"

#include <QLibraryInfo>
#include <QStandardPaths>

namespace platform {

std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };

std::function<QString()> registryFolder = [] {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
};

std::function<QString()> systemSettingsFolder = [] { return QLibraryInfo::path(QLibraryInfo::SettingsPath); };

std::function<QByteArray()> askNewPassword;

} // namespace platform
