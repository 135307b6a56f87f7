#pragma once

#include <QByteArray>

// The text routines that every task builds its statements with: the shared
// statement text, quoted values, comparison terms and numbers as text.
// Text is Windows-1251 bytes.

// The statement being built by whichever handler runs now.
extern QByteArray SqlText;

bool IsIntegerText(const QByteArray &text);
QByteArray ZeroPad(qint32 number, qint32 width);

QByteArray SqlValue(const QByteArray &value, char kind, char trailer);
QByteArray WhereTerm(const QByteArray &value, char op, char kind, char trailer);
QByteArray EscapeQuotes(const QByteArray &text);

// Reads a decimal 32-bit integer; throws ConvertError with the message
// "'<text>' is not a valid integer value" otherwise.
qint32 StrToInt(const QByteArray &text);
