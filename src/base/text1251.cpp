#include "base/text1251.h"

#include "base/errors.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

QByteArray toCp1251(const QString &text)
{
    QStringEncoder encoder("windows-1251");
    QByteArray bytes = encoder.encode(text);
    if (!encoder.hasError())
        return bytes;
    // Find the culprit so the message can name it.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype len = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QStringEncoder single("windows-1251");
        const QString piece = text.mid(i, len);
        const QByteArray converted = single.encode(piece);
        if (single.hasError())
            throw ConvertError(
                QStringLiteral("Символ «%1» (U+%2) не может быть сохранён в кодировке Windows-1251")
                    .arg(piece)
                    .arg(QString::number(piece.toUcs4().value(0), 16).toUpper().rightJustified(4, QLatin1Char('0'))));
        i += len - 1;
    }
    throw ConvertError(QStringLiteral("Текст не может быть сохранён в кодировке Windows-1251"));
}

QString fromCp1251(const QByteArray &bytes)
{
    QStringDecoder decoder("windows-1251");
    return decoder.decode(bytes);
}
