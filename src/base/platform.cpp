#include "base/platform.h"

#include <QElapsedTimer>
#include <QLibraryInfo>
#include <QStandardPaths>

namespace platform {

std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };

std::function<qint64()> steadyMs = [] {
    static const QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.elapsed();
};

std::function<QString()> registryFolder
    = [] { return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation); };

std::function<QString()> systemSettingsFolder = [] { return QLibraryInfo::path(QLibraryInfo::SettingsPath); };

} // namespace platform
