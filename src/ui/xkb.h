#pragma once

#include <QString>

#include <optional>

// The keyboard's state as the X server's keyboard extension keeps it, read
// on the xcb platform only; elsewhere, or when the server cannot say,
// nothing. Kept apart so that no other file sees the X headers' macros.

// Whether the Caps Lock indicator is lit.
std::optional<bool> xkbCapsLock();

// The active group's layout as a language code: "EN" for the English
// layouts, else the layout's own code in upper case ("RU", "UA"); empty
// when unknown.
QString xkbLayout();

// The layout code of a group from the server's symbols description, such
// as "pc+us+ru:2+inet(evdev)" (group 0 is the first); empty when the
// description has no such group.
QString layoutOfGroup(const QString &symbols, int group);
