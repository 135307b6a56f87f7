#pragma once

#include <QDateTime>
#include <QFont>
#include <QString>
#include <functional>

class QWidget;

// The outside things the program touches, each behind one replaceable
// function so that tests can stand in for the clock, the error box and the
// open-file dialog without waiting or touching the machine.
namespace platform {

// Local date and time.
extern std::function<QDateTime()> now;

// Shows an error's text to the user.
extern std::function<void(QWidget *parent, const QString &text)> showError;

// Asks for a file to open; empty when cancelled.
extern std::function<QString(QWidget *parent, const QString &filter)> openFileName;

// Asks for a file to write; empty when cancelled.
extern std::function<QString(QWidget *parent, const QString &filter)> saveFileName;

// The sans-serif face every window uses, at a character height in pixels;
// it keeps the Russian captions inside their controls.
QFont uiFont(int pixelSize = 11);

// The folder that stands in for the per-user registry (see ReadRegistryText).
extern std::function<QString()> registryFolder;

// The folder of the system-wide settings files (/etc/xdg).
extern std::function<QString()> systemSettingsFolder;

} // namespace platform
