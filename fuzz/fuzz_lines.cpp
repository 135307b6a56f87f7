#include "fuzzcheck.h"

#include "import/records.h"

namespace {

// The pieces between the separator; one that ends the buffer starts no
// further record, and an empty buffer is one empty record.
QList<QByteArray> splitAt(const QByteArray &buffer, const QByteArray &separator)
{
    QList<QByteArray> pieces;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = buffer.indexOf(separator, from);
        if (at < 0) {
            pieces += buffer.mid(from);
            break;
        }
        pieces += buffer.mid(from, at - from);
        from = at + separator.size();
    }
    if (pieces.size() > 1 && buffer.endsWith(separator))
        pieces.removeLast();
    return pieces;
}

QByteArray asRead(QByteArray text)
{
    text.replace('\'', "''");
    while (text.endsWith(' '))
        text.chop(1);
    return text;
}

// Lines as an editor numbers them: every CR LF, lone CR and lone LF ends one.
qsizetype editorLine(QByteArray prefix)
{
    prefix.replace("\r\n", "\n");
    prefix.replace('\r', '\n');
    return prefix.count('\n') + 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray buffer = fuzzInput(data, size).toByteArray();
    const LineEnds ends = detectLineEnds(buffer);
    if (buffer.contains("\r\n"))
        FUZZ_CHECK(ends == LineEnds::CrLf);
    else if (buffer.contains('\n'))
        FUZZ_CHECK(ends == LineEnds::Lf);
    else if (buffer.contains('\r'))
        FUZZ_CHECK(ends == LineEnds::Cr);
    else
        FUZZ_CHECK(ends == LineEnds::None);

    // The records as the rule states them, cut a second way.
    QList<QByteArray> expected;
    switch (ends) {
    case LineEnds::CrLf:
        for (const QByteArray &piece : splitAt(buffer, "\r\n"))
            expected += asRead(piece.left(piece.indexOf('\r') < 0 ? piece.size() : piece.indexOf('\r')));
        break;
    case LineEnds::Lf:
        for (const QByteArray &piece : splitAt(buffer, "\n"))
            expected += asRead(piece);
        break;
    case LineEnds::Cr:
        for (const QByteArray &piece : splitAt(buffer, "\r"))
            expected += asRead(piece);
        break;
    case LineEnds::None:
        expected += asRead(buffer);
        break;
    }

    QList<QByteArray> got;
    qsizetype line = 1;
    qsizetype previous = -1;
    for (qsizetype p = 0; p != -1;) {
        FUZZ_CHECK(p > previous && (p == 0 || p < buffer.size()));
        FUZZ_CHECK(line == editorLine(buffer.left(p)));
        const qsizetype end = recordTextEnd(buffer, p, ends);
        FUZZ_CHECK(end >= p && end <= buffer.size());
        const QByteArray text = ReadRecordText(buffer, p, ends);
        FUZZ_CHECK(text == asRead(buffer.mid(p, end - p)));
        FUZZ_CHECK(recordText(buffer, p, ends) == trimBlanks(text));
        got += text;
        previous = p;
        const qsizetype next = NextRecordStart(buffer, p, ends);
        if (next != -1)
            line += countLineBreaks(QByteArrayView(buffer).sliced(p, next - p));
        p = next;
    }
    FUZZ_CHECK(got == expected);
    FUZZ_CHECK(countRecords(buffer, ends) == got.size());
    // A CR LF file reads exactly as the CR LF rule always read it.
    if (ends == LineEnds::CrLf) {
        qsizetype i = 0;
        for (qsizetype p = 0; p != -1; p = NextRecordStart(buffer, p), ++i)
            FUZZ_CHECK(i < got.size() && ReadRecordText(buffer, p) == got[i]);
        FUZZ_CHECK(i == got.size());
    }
    return 0;
}
