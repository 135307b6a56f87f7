#pragma once

#include <QFont>
#include <QRect>
#include <QString>

#include <functional>

class QWidget;

// The outside things the windows touch, each behind one replaceable
// function: tests stand in for the error box, the file dialogs and the
// keyboard's state.
namespace platform {

// Shows an error's text to the user.
extern std::function<void(QWidget *parent, const QString &text)> showError;

// Asks for a file to open; empty when cancelled.
extern std::function<QString(QWidget *parent, const QString &filter)> openFileName;

// Asks for a file to write, proposing one when proposed is not empty: its
// folder opened and its name filled in. Empty when cancelled.
extern std::function<QString(QWidget *parent, const QString &filter, const QString &proposed)> saveFileName;

// Whether Caps Lock is on; false where the platform cannot tell.
extern std::function<bool()> capsLockOn;

// The keyboard layout typing goes through now, as a short upper-case
// language code ("RU", "EN"); empty where the platform cannot tell.
extern std::function<QString()> keyboardLayout;

// A window's outer frame as the window system reports it, or its client
// area where the report cannot be right: a frame read while the window
// manager was still making it (a 1 x 1 window under some) does not hold
// the window, and centring on it puts a dialog off the screen.
QRect outerFrame(const QWidget *window);
QRect outerFrame(const QRect &reported, const QRect &client);

// The sans-serif face every window uses, at a character height in pixels;
// it keeps the Russian captions inside their controls.
QFont uiFont(int pixelSize = 11);

} // namespace platform
