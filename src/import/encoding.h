#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// The encoding an import file is written in, and its conversion into the
// program's Windows-1251 bytes before the run reads any record.

enum class TextEncoding {
    Cp1251,       // taken byte for byte
    Utf8,         // valid UTF-8 holding at least one multi-byte sequence
    Utf8WithMark, // begins with the byte-order mark
    // Not read: each is named, and the file refused.
    Utf16Le,
    Utf16Be,
    Binary, // NUL bytes, which no text in either readable encoding holds
};

// A file that begins with a UTF-16 byte-order mark, or whose NUL bytes sit
// at every other place as the ASCII characters of UTF-16 text leave them,
// is UTF-16 of that byte order; any other with NUL bytes is no text.
// A file that begins with the UTF-8 byte-order mark, or that is valid UTF-8
// and holds at least one multi-byte sequence, is UTF-8; anything else is
// Windows-1251. Plain ASCII reads the same either way and counts as the
// latter.
TextEncoding detectEncoding(QByteArrayView bytes);

// Whether the import reads text in the encoding.
bool readable(TextEncoding encoding);

// Why a file in an encoding the import does not read is refused, and what
// to do about it.
QString unreadableText(TextEncoding encoding, const QString &fileName);

// A character of the file that Windows-1251 cannot hold, or a run of bytes
// that is not UTF-8 at all in a file marked as UTF-8. A '?' stands for it
// in the converted text, at position; the record holding it is rejected,
// so the '?' never reaches the database.
struct Unencodable {
    qsizetype position = 0;
    char32_t character = 0; // meaningless when malformed
    bool malformed = false;
    bool operator==(const Unencodable &) const = default;
};

struct DecodedText {
    TextEncoding encoding = TextEncoding::Cp1251;
    QByteArray bytes;               // Windows-1251
    QList<Unencodable> unencodable; // in order of position
};

// The file's text as Windows-1251 bytes, the byte-order mark dropped. A
// Windows-1251 file comes back unchanged; one in an encoding the import
// does not read, as no text at all.
DecodedText decodeImportText(QByteArray bytes);

// detectEncoding for a file read piece by piece: the same finding however
// its bytes are cut, with nothing of them kept but a cut sequence's few.
class EncodingScanner {
public:
    void feed(QByteArrayView bytes);
    TextEncoding result() const;

private:
    qint64 m_size = 0;
    qint64 m_evenNuls = 0;
    qint64 m_oddNuls = 0;
    QByteArray m_start;   // the first three bytes
    QByteArray m_partial; // a sequence cut by the end of the last piece
    bool m_invalid = false;
    bool m_multiByte = false;
};

// decodeImportText for a file read piece by piece, in a readable encoding:
// the same bytes and marks however the file is cut, a mark's position
// counted from the start of the whole text.
class Cp1251Converter {
public:
    explicit Cp1251Converter(TextEncoding encoding) : m_encoding(encoding) {}
    // Appends the text of the next piece to out; last says it ends the file.
    void convert(QByteArrayView piece, bool last, QByteArray &out, QList<Unencodable> &marks);

private:
    void convertUtf8(QByteArrayView source, bool last, QByteArray &out, QList<Unencodable> &marks);

    TextEncoding m_encoding;
    qint64 m_seen = 0;    // bytes of the file taken so far
    qint64 m_written = 0; // bytes of text given so far
    QByteArray m_partial;
    bool m_skippingTrail = false;
};

// Says in Russian why a record holding this character is rejected.
QString unencodableReason(const Unencodable &what);
