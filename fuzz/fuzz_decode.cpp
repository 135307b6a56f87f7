#include "fuzzcheck.h"

#include "import/encoding.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

// The Windows-1251 byte of one character as the program's text routines
// write it; empty when the code page lacks it.
std::optional<char> cp1251Of(char32_t character)
{
    QStringEncoder encoder("windows-1251");
    const QByteArray bytes = encoder.encode(QString::fromUcs4(&character, 1));
    if (encoder.hasError() || bytes.size() != 1)
        return std::nullopt;
    return bytes[0];
}

bool hasHighByte(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input = fuzzInput(data, size);
    const bool marked = input.startsWith("\xEF\xBB\xBF");
    const QByteArrayView body = marked ? input.sliced(3) : input;
    const DecodedText decoded = decodeImportText(input.toByteArray());
    FUZZ_CHECK(decoded.encoding == detectEncoding(input));
    // A file the import does not read is refused whole: it holds NUL bytes
    // or begins with a UTF-16 mark, and none of it is converted.
    if (!readable(decoded.encoding)) {
        FUZZ_CHECK(input.contains('\0') || input.startsWith("\xFF\xFE") || input.startsWith("\xFE\xFF"));
        FUZZ_CHECK(decoded.bytes.isEmpty() && decoded.unencodable.isEmpty());
        return 0;
    }
    // Every readable text is free of NUL bytes.
    FUZZ_CHECK(!input.contains('\0'));

    // Qt's own UTF-8 decoder, keeping a leading U+FEFF as a character and
    // taking a sequence cut at the end as an error.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
    const QString reference = utf8.decode(body);
    const bool validUtf8 = !utf8.hasError();

    if (decoded.encoding == TextEncoding::Cp1251) {
        FUZZ_CHECK(!marked);
        FUZZ_CHECK(!(validUtf8 && hasHighByte(input)));
        FUZZ_CHECK(decoded.bytes == input && decoded.unencodable.isEmpty());
        return 0;
    }
    // Not read at all: UTF-16 by its mark or its NUL bytes, or no text.
    if (!readable(decoded.encoding)) {
        FUZZ_CHECK(input.contains('\0') || input.startsWith("\xFF\xFE") || input.startsWith("\xFE\xFF"));
        FUZZ_CHECK(decoded.bytes.isEmpty() && decoded.unencodable.isEmpty());
        return 0;
    }
    FUZZ_CHECK(marked == (decoded.encoding == TextEncoding::Utf8WithMark));
    FUZZ_CHECK(marked || validUtf8);
    FUZZ_CHECK(decoded.bytes.size() <= body.size());
    // Line ends pass through as they are.
    FUZZ_CHECK(decoded.bytes.count('\r') == body.count('\r') && decoded.bytes.count('\n') == body.count('\n'));
    qsizetype previous = -1;
    for (const Unencodable &what : decoded.unencodable) {
        FUZZ_CHECK(what.position > previous && what.position < decoded.bytes.size());
        FUZZ_CHECK(decoded.bytes[what.position] == '?');
        FUZZ_CHECK(marked || !what.malformed);
        previous = what.position;
    }
    if (!validUtf8)
        return 0;

    // Valid UTF-8: character by character the code page's byte, or a '?'
    // noted as unencodable.
    QByteArray expected;
    QList<Unencodable> missing;
    for (const char32_t character : reference.toUcs4()) {
        if (const std::optional<char> byte = cp1251Of(character)) {
            expected += *byte;
        } else {
            missing.append({expected.size(), character, false});
            expected += '?';
        }
    }
    FUZZ_CHECK(decoded.bytes == expected);
    FUZZ_CHECK(decoded.unencodable == missing);
    return 0;
}
