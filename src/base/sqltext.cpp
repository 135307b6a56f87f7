#include "base/sqltext.h"

#include "base/errors.h"
#include "base/text1251.h"

#include <limits>

QByteArray SqlText;

bool IsIntegerText(const QByteArray &text)
{
    if (text.isEmpty() || text == "-")
        return false;
    for (qsizetype i = text.startsWith('-') ? 1 : 0; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return true;
}

QByteArray ZeroPad(qint32 number, qint32 width)
{
    if (number < 0)
        return QByteArray();
    return QByteArray::number(number).rightJustified(width, '0');
}

QByteArray SqlValue(const QByteArray &value, char kind, char trailer)
{
    if (value.isEmpty())
        return QByteArray("null") + trailer;
    if (kind == 'i')
        return value + trailer;
    return '\'' + EscapeQuotes(value) + '\'' + trailer;
}

QByteArray WhereTerm(const QByteArray &value, char op, char kind, char trailer)
{
    if (!value.isEmpty()) {
        if (kind == 'i')
            return "= " + value + trailer;
        return "= '" + EscapeQuotes(value) + '\'' + trailer;
    }
    if (op == '=')
        return QByteArray("= null") + trailer;
    return QByteArray("is null") + trailer;
}

QByteArray EscapeQuotes(const QByteArray &text)
{
    // Lone apostrophes are doubled; a run that already holds a pair is taken
    // as escaped. A run of odd length (3, 5, ...) gets one more apostrophe so
    // that the literal always stays balanced and its text cannot end it.
    QByteArray result;
    result.reserve(text.size() + 8);
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i] != '\'') {
            result += text[i++];
            continue;
        }
        qsizetype run = 0;
        while (i + run < text.size() && text[i + run] == '\'')
            ++run;
        result.append(run, '\'');
        if (run % 2 == 1)
            result += '\'';
        i += run;
    }
    return result;
}

qint32 StrToInt(const QByteArray &text)
{
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || !IsIntegerText(text) || value < std::numeric_limits<qint32>::min()
        || value > std::numeric_limits<qint32>::max())
        throw ConvertError(QStringLiteral("'%1' is not a valid integer value").arg(fromCp1251(text)));
    return qint32(value);
}
