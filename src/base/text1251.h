#pragma once

#include <QByteArray>
#include <QString>

// The program's text is Windows-1251 bytes; these two sit at the edge where
// that text meets a widget or a file name.

// Encodes to Windows-1251; throws ConvertError naming the first character
// that the code page cannot hold, so nothing is ever stored as "?".
QByteArray toCp1251(const QString &text);

QString fromCp1251(const QByteArray &bytes);
