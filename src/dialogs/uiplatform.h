#pragma once

#include <QFont>
#include <QString>

#include <functional>

class QWidget;

// The outside things the windows touch, each behind one replaceable
// function: tests stand in for the error box and the file dialogs.
namespace platform {

// Shows an error's text to the user.
extern std::function<void(QWidget *parent, const QString &text)> showError;

// Asks for a file to open; empty when cancelled.
extern std::function<QString(QWidget *parent, const QString &filter)> openFileName;

// Asks for a file to write; empty when cancelled.
extern std::function<QString(QWidget *parent, const QString &filter)> saveFileName;

// The sans-serif face every window uses, at a character height in pixels;
// it keeps the Russian captions inside their controls.
QFont uiFont(int pixelSize = 11);

} // namespace platform
