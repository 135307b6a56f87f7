#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>

// The outside things the program's core touches, each behind one
// replaceable function so that tests can stand in for them without waiting
// or touching the machine. The window-side ones (error box, file dialogs)
// are in dialogs/uiplatform.h.
namespace platform {

// Local date and time.
extern std::function<QDateTime()> now;

// Milliseconds on a clock that only runs forward, for measuring how fast
// work goes.
extern std::function<qint64()> steadyMs;

// The folder that stands in for the per-user registry (see ReadRegistryText).
extern std::function<QString()> registryFolder;

// The folder of the system-wide settings files (/etc/xdg).
extern std::function<QString()> systemSettingsFolder;

} // namespace platform
