#include "import/encoding.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstring>
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
TextEncoding nulsEncoding(qint64 size, qint64 even, qint64 odd)
{
    const qint64 units = size / 2;
    if (size % 2 == 0 && even == 0 && odd * 10 >= units)
        return TextEncoding::Utf16Le;
    if (size % 2 == 0 && odd == 0 && even * 10 >= units)
        return TextEncoding::Utf16Be;
    return TextEncoding::Binary;
}

// How many bytes the sequence a lead byte begins takes; 0 for a byte that
// begins none.
int leadLength(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// Past the plain ASCII from i on, eight bytes at a time.
qsizetype skipAscii(QByteArrayView bytes, qsizetype i)
{
    constexpr quint64 kHighBits = 0x8080808080808080ULL;
    while (i + 8 <= bytes.size()) {
        quint64 word = 0;
        std::memcpy(&word, bytes.data() + i, sizeof word);
        if (word & kHighBits)
            break;
        i += 8;
    }
    while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80)
        ++i;
    return i;
}

} // namespace

TextEncoding detectEncoding(QByteArrayView bytes)
{
    EncodingScanner scanner;
    scanner.feed(bytes);
    return scanner.result();
}

void EncodingScanner::feed(QByteArrayView bytes)
{
    if (m_start.size() < 3)
        m_start += bytes.first(std::min<qsizetype>(3 - m_start.size(), bytes.size()));
    for (const char *from = bytes.data(), *end = bytes.data() + bytes.size(); from < end;) {
        const auto *nul = static_cast<const char *>(std::memchr(from, 0, size_t(end - from)));
        if (!nul)
            break;
        ++((m_size + (nul - bytes.data())) % 2 == 0 ? m_evenNuls : m_oddNuls);
        from = nul + 1;
    }
    m_size += bytes.size();
    if (m_invalid)
        return;
    qsizetype i = 0;
    if (!m_partial.isEmpty()) {
        const int length = leadLength(static_cast<unsigned char>(m_partial[0]));
        while (m_partial.size() < length && i < bytes.size())
            m_partial += bytes[i++];
        if (m_partial.size() < length)
            return;
        char32_t character = 0;
        if (sequenceAt(m_partial, 0, character) == 0) {
            m_invalid = true;
            return;
        }
        m_multiByte = true;
        m_partial.clear();
    }
    for (;;) {
        i = skipAscii(bytes, i);
        if (i == bytes.size())
            return;
        const int length = leadLength(static_cast<unsigned char>(bytes[i]));
        if (length == 0) {
            m_invalid = true;
            return;
        }
        if (i + length > bytes.size()) {
            m_partial = bytes.sliced(i).toByteArray();
            return;
        }
        char32_t character = 0;
        if (sequenceAt(bytes, i, character) == 0) {
            m_invalid = true;
            return;
        }
        m_multiByte = true;
        i += length;
    }
}

TextEncoding EncodingScanner::result() const
{
    if (m_start.startsWith("\xFF\xFE"))
        return TextEncoding::Utf16Le;
    if (m_start.startsWith("\xFE\xFF"))
        return TextEncoding::Utf16Be;
    if (m_evenNuls + m_oddNuls > 0)
        return nulsEncoding(m_size, m_evenNuls, m_oddNuls);
    if (m_start == kMark)
        return TextEncoding::Utf8WithMark;
    // A sequence cut by the end of the file is no UTF-8.
    if (m_invalid || !m_partial.isEmpty())
        return TextEncoding::Cp1251;
    return m_multiByte ? TextEncoding::Utf8 : TextEncoding::Cp1251;
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
    decoded.bytes.reserve(bytes.size());
    Cp1251Converter(decoded.encoding).convert(bytes, true, decoded.bytes, decoded.unencodable);
    return decoded;
}

void Cp1251Converter::convert(QByteArrayView piece, bool last, QByteArray &out, QList<Unencodable> &marks)
{
    if (m_encoding == TextEncoding::Cp1251) {
        out += piece;
        m_written += piece.size();
        return;
    }
    if (m_encoding == TextEncoding::Utf8WithMark && m_seen < kMark.size()) {
        const qsizetype mark = std::min<qsizetype>(kMark.size() - m_seen, piece.size());
        piece = piece.sliced(mark);
        m_seen += mark;
    }
    m_seen += piece.size();
    if (m_partial.isEmpty()) {
        convertUtf8(piece, last, out, marks);
        return;
    }
    const QByteArray joined = std::exchange(m_partial, QByteArray()) + piece.toByteArray();
    convertUtf8(joined, last, out, marks);
}

void Cp1251Converter::convertUtf8(QByteArrayView source, bool last, QByteArray &out, QList<Unencodable> &marks)
{
    const qsizetype before = out.size();
    const auto position = [&] { return qsizetype(m_written + (out.size() - before)); };
    qsizetype i = 0;
    if (m_skippingTrail) {
        while (i < source.size() && isTrailByte(source[i]))
            ++i;
        m_skippingTrail = i == source.size();
    }
    while (i < source.size()) {
        const qsizetype ascii = skipAscii(source, i);
        out.append(source.sliced(i, ascii - i));
        i = ascii;
        if (i == source.size())
            break;
        const int length = leadLength(static_cast<unsigned char>(source[i]));
        // Finished with the next piece, as a whole file would have it.
        if (length > 0 && i + length > source.size() && !last) {
            m_partial = source.sliced(i).toByteArray();
            break;
        }
        char32_t character = 0;
        const int taken = sequenceAt(source, i, character);
        if (taken == 0) {
            // One mark for the whole broken run: its lead byte and the
            // trail bytes after it, none of which can start a character.
            marks.append({position(), 0, true});
            out += '?';
            ++i;
            while (i < source.size() && isTrailByte(source[i]))
                ++i;
            m_skippingTrail = i == source.size();
            continue;
        }
        i += taken;
        if (const unsigned char byte = cp1251Byte(character)) {
            out += char(byte);
        } else {
            marks.append({position(), character, false});
            out += '?';
        }
    }
    m_written += out.size() - before;
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
