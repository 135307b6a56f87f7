#include "fuzzcheck.h"

#include "import/encoding.h"
#include "import/importfile.h"
#include "import/records.h"

#include <QBuffer>

// The file read as a stream, in pieces of the size the first byte gives,
// must find what the rules find in the whole file: the encoding, the line
// ends, the records with their lines, the marks.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const qint64 pieceSize = 1 + data[0] % 16;
    const QByteArray file = fuzzInput(data + 1, size - 1).toByteArray();

    QBuffer first;
    first.setData(file);
    first.open(QIODevice::ReadOnly);
    const FileScan scan = scanImportFile(first, pieceSize);
    const DecodedText decoded = decodeImportText(file);
    FUZZ_CHECK(scan.encoding == decoded.encoding && scan.size == file.size());
    if (!readable(scan.encoding))
        return 0;
    const QByteArray &text = decoded.bytes;
    FUZZ_CHECK(scan.lineEnds == detectLineEnds(text));
    FUZZ_CHECK(scan.records == countRecords(text, scan.lineEnds));
    FUZZ_CHECK(scan.blank
               == std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }));

    QBuffer second;
    second.setData(file);
    second.open(QIODevice::ReadOnly);
    RecordReader reader(second, scan, pieceSize);
    FileRecord record;
    qsizetype position = 0;
    qint64 line = 1;
    qsizetype mark = 0;
    qint64 records = 0;
    while (reader.next(record)) {
        ++records;
        FUZZ_CHECK(position >= 0 && record.line == line);
        const qsizetype next = NextRecordStart(text, position, scan.lineEnds);
        const qsizetype end = next == -1 ? text.size() : next;
        FUZZ_CHECK(record.bytes == QByteArrayView(text).sliced(position, end - position));
        for (const Unencodable &what : record.unencodable) {
            FUZZ_CHECK(mark < decoded.unencodable.size());
            FUZZ_CHECK(what.position + position == decoded.unencodable[mark].position);
            ++mark;
        }
        line += countLineBreaks(record.bytes);
        FUZZ_CHECK(record.nextLine == (next == -1 ? 0 : line));
        position = next;
    }
    FUZZ_CHECK(position == -1 && mark == decoded.unencodable.size() && records == scan.records);
    return 0;
}
