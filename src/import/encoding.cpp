#include "import/encoding.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr QByteArrayView kMark("\xEF\xBB\xBF");

// The length of the well-formed UTF-8 sequence that starts at i, with its
// code point; 0 when the bytes there are not one. Overlong forms,
// surrogates and code points past U+10FFFF are not well-formed.
int sequenceAt(QByteArrayView bytes, qsizetype i, char32_t &character)
{
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
        character = lead;
        return 1;
    }
    int length = 0;
    char32_t value = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    for (int k = 1; k < length; ++k) {
        const auto trail = static_cast<unsigned char>(bytes[i + k]);
        if (trail < (k == 1 ? low : 0x80) || trail > (k == 1 ? high : 0xBF))
            return 0;
        value = (value << 6) | (trail & 0x3F);
    }
    character = value;
    return length;
}

bool isTrailByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The upper half of Windows-1251 by character, as the rest of the program
// (the conversion at the widgets' edge) reads those bytes.
using CodePage = std::array<std::pair<char32_t, unsigned char>, 128>;

const CodePage &upperHalf()
{
    static const CodePage table = [] {
        CodePage pairs{};
        QStringDecoder decoder("windows-1251");
        for (int byte = 0x80; byte <= 0xFF; ++byte) {
            const char c = char(byte);
            const QString text = decoder.decode(QByteArrayView(&c, 1));
            pairs[byte - 0x80] = {text.isEmpty() ? U'\uFFFD' : char32_t(text.at(0).unicode()), (unsigned char)byte};
        }
        std::sort(pairs.begin(), pairs.end());
        return pairs;
    }();
    return table;
}

// The Windows-1251 byte of a character above ASCII; 0 when it has none.
unsigned char cp1251Byte(char32_t character)
{
    const CodePage &table = upperHalf();
    const auto found = std::lower_bound(table.begin(), table.end(), std::pair<char32_t, unsigned char>(character, 0));
    if (found == table.end() || found->first != character || character == U'\uFFFD')
        return 0;
    return found->second;
}

// A file with NUL bytes: UTF-16 when they stand only at odd places (the
// high bytes of little-endian ASCII) or only at even ones, and there are
// enough of them for text with digits, separators and line ends.
TextEncoding nulsEncoding(QByteArrayView bytes)
{
    qsizetype even = 0;
    qsizetype odd = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\0')
            ++(i % 2 == 0 ? even : odd);
    }
    const qsizetype units = bytes.size() / 2;
    if (bytes.size() % 2 == 0 && even == 0 && odd * 10 >= units)
        return TextEncoding::Utf16Le;
    if (bytes.size() % 2 == 0 && odd == 0 && even * 10 >= units)
        return TextEncoding::Utf16Be;
    return TextEncoding::Binary;
}

} // namespace

TextEncoding detectEncoding(QByteArrayView bytes)
{
    if (bytes.startsWith("\xFF\xFE"))
        return TextEncoding::Utf16Le;
    if (bytes.startsWith("\xFE\xFF"))
        return TextEncoding::Utf16Be;
    if (bytes.contains('\0'))
        return nulsEncoding(bytes);
    if (bytes.startsWith(kMark))
        return TextEncoding::Utf8WithMark;
    bool multiByte = false;
    for (qsizetype i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        char32_t character = 0;
        const int length = sequenceAt(bytes, i, character);
        if (length == 0)
            return TextEncoding::Cp1251;
        multiByte = true;
        i += length;
    }
    return multiByte ? TextEncoding::Utf8 : TextEncoding::Cp1251;
}

bool readable(TextEncoding encoding)
{
    return encoding == TextEncoding::Cp1251 || encoding == TextEncoding::Utf8 || encoding == TextEncoding::Utf8WithMark;
}

QString unreadableText(TextEncoding encoding, const QString &fileName)
{
    const QString todo = QStringLiteral("сохраните его как текст в кодировке UTF-8 или Windows-1251 и повторите; в "
                                        "базе ничего не изменено");
    switch (encoding) {
    case TextEncoding::Utf16Le:
    case TextEncoding::Utf16Be:
        return QStringLiteral("файл «%1» записан в кодировке %2, которую импорт не читает: %3")
            .arg(fileName,
                 encoding == TextEncoding::Utf16Le ? QStringLiteral("UTF-16 LE") : QStringLiteral("UTF-16 BE"), todo);
    case TextEncoding::Binary:
        return QStringLiteral("файл «%1» — не текст, который читает импорт: в нём есть нулевые байты (так "
                              "выглядят таблица в своём формате, архив, документ или текст в UTF-32); %2")
            .arg(fileName, todo);
    case TextEncoding::Cp1251:
    case TextEncoding::Utf8:
    case TextEncoding::Utf8WithMark:
        break;
    }
    return QString();
}

DecodedText decodeImportText(QByteArray bytes)
{
    DecodedText decoded;
    decoded.encoding = detectEncoding(bytes);
    if (!readable(decoded.encoding))
        return decoded;
    if (decoded.encoding == TextEncoding::Cp1251) {
        decoded.bytes = std::move(bytes);
        return decoded;
    }
    const QByteArrayView source(bytes);
    QByteArray &out = decoded.bytes;
    out.reserve(source.size());
    qsizetype i = decoded.encoding == TextEncoding::Utf8WithMark ? kMark.size() : 0;
    while (i < source.size()) {
        const char c = source[i];
        if (static_cast<unsigned char>(c) < 0x80) {
            out += c;
            ++i;
            continue;
        }
        char32_t character = 0;
        const int length = sequenceAt(source, i, character);
        if (length == 0) {
            // One mark for the whole broken run: its lead byte and the
            // trail bytes after it, none of which can start a character.
            decoded.unencodable.append({out.size(), 0, true});
            out += '?';
            ++i;
            while (i < source.size() && isTrailByte(source[i]))
                ++i;
            continue;
        }
        i += length;
        if (const unsigned char byte = cp1251Byte(character)) {
            out += char(byte);
        } else {
            decoded.unencodable.append({out.size(), character, false});
            out += '?';
        }
    }
    return decoded;
}

QString unencodableReason(const Unencodable &what)
{
    if (what.malformed)
        return QStringLiteral("байты, которые не читаются как UTF-8");
    const QString code = QString::number(what.character, 16).toUpper().rightJustified(4, u'0');
    if (QChar::isPrint(what.character)) {
        return QStringLiteral("символ «%1» (U+%2), которого нет в Windows-1251")
            .arg(QString::fromUcs4(&what.character, 1), code);
    }
    return QStringLiteral("символ U+%1, которого нет в Windows-1251").arg(code);
}
