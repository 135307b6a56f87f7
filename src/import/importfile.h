#pragma once

#include "import/encoding.h"
#include "import/records.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QFile;
class QIODevice;

// An import file read as a stream, twice: a first pass finds its encoding,
// its line ends and its records, a second hands over one record at a time
// in Windows-1251. Only a record and a piece of the file are held at once,
// so a file of any size reads in the same little memory.

// Opens the file to import; false when it cannot be had, which ends the
// run quietly. Anything but a regular file is refused with a message
// before it is read: a pipe would hold the run until something wrote to
// it, a device might never end. So is a file too large for the run's
// record positions. The file stays locked against writers that lock too
// while it is open.
bool openForImport(QFile &file);

// What the first pass found.
struct FileScan {
    qint64 size = 0;
    TextEncoding encoding = TextEncoding::Cp1251;
    LineEnds lineEnds = LineEnds::None;
    // As countRecords counts them in the text converted to Windows-1251.
    qint64 records = 1;
    // Nothing but line ends and blanks (a byte-order mark aside).
    bool blank = true;
};

// The first pass, fed the file piece by piece however it is cut.
class FileScanner {
public:
    void feed(QByteArrayView bytes);
    FileScan result() const;

private:
    EncodingScanner m_encoding;
    qint64 m_size = 0;
    qint64 m_crs = 0;
    qint64 m_lfs = 0;
    qint64 m_pairs = 0;
    char m_last = 0;
    char m_beforeLast = 0;
    QByteArray m_start; // the first three bytes, for the mark
    bool m_blank = true;
};

// Reads the whole device through the scanner.
FileScan scanImportFile(QIODevice &device, qint64 pieceSize = 1 << 20);

// One record as the second pass hands it over.
struct FileRecord {
    // Windows-1251, from the record's start up to where the next begins:
    // its text, then its line end and whatever no record holds.
    QByteArray bytes;
    // The characters the text could not hold, at their places in bytes.
    QList<Unencodable> unencodable;
    // Its first line as an editor numbers lines, and the next record's
    // (0 for the last record).
    qint64 line = 0;
    qint64 nextLine = 0;
};

// The second pass: the records of a scanned file in order, the same as the
// record rules find them in the whole converted text. Reads no further
// than the size the scan found.
class RecordReader {
public:
    RecordReader(QIODevice &device, const FileScan &scan, qint64 pieceSize = 1 << 20);
    // False once every record has been handed over.
    bool next(FileRecord &record);

private:
    // Reads and converts one more piece; false at the end of the file.
    bool fill();
    // Where the record starting at m_start ends, -1 when more text is
    // needed to tell.
    qsizetype recordEnd();

    QIODevice &m_device;
    FileScan m_scan;
    qint64 m_pieceSize;
    Cp1251Converter m_converter;
    QByteArray m_text;
    // Converted text before m_text[0], for the marks' places.
    qint64 m_textBase = 0;
    QList<Unencodable> m_marks;
    qsizetype m_start = 0;
    qsizetype m_searched = 0;
    qint64 m_read = 0;
    qint64 m_line = 1;
    bool m_ended = false;
    bool m_done = false;
};
