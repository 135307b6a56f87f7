#include "import/importfile.h"

#include "base/errors.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <limits>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Record positions are 32-bit signed byte indexes.
constexpr qint64 kLargestFile = std::numeric_limits<qint32>::max();

constexpr QByteArrayView kMark("\xEF\xBB\xBF");

[[noreturn]] void refuseNonRegular(const QString &fileName, const QString &kind)
{
    throw AppError(
        QStringLiteral("«%1» — %2, а не обычный файл; импортировать можно только обычный файл.").arg(fileName, kind));
}

#ifdef Q_OS_UNIX
QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("папка");
    if (S_ISFIFO(mode))
        return QStringLiteral("именованный канал");
    if (S_ISSOCK(mode))
        return QStringLiteral("сокет");
    return QStringLiteral("устройство");
}
#endif

bool isBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

qint64 countOf(QByteArrayView bytes, char wanted)
{
    return std::count(bytes.begin(), bytes.end(), wanted);
}

[[noreturn]] void unreadable(const QIODevice &device)
{
    const auto *file = qobject_cast<const QFile *>(&device);
    throw AppError(QStringLiteral("не удаётся прочитать файл %1:\n%2")
                       .arg(file ? file->fileName() : QString(), device.errorString()));
}

} // namespace

bool openForImport(QFile &file)
{
    const QString name = file.fileName();
    if (name.isEmpty())
        return false;
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(name);
    struct stat info {};
    if (::stat(path.constData(), &info) != 0)
        return false;
    if (!S_ISREG(info.st_mode))
        refuseNonRegular(name, kindOf(info.st_mode));
    // Opened without waiting and checked again on the handle, so that a
    // pipe put in the file's place meanwhile cannot hold the open.
    const int handle = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0)
        return false;
    if (::fstat(handle, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(handle);
        refuseNonRegular(name, kindOf(info.st_mode));
    }
    if (!file.open(handle, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(handle);
        return false;
    }
    // Released when the file is closed; keeps out a writer that locks too.
    if (::flock(file.handle(), LOCK_SH | LOCK_NB) != 0)
        return false;
#else
    if (!QFileInfo(name).isFile() && QFileInfo::exists(name))
        refuseNonRegular(name, QStringLiteral("не файл"));
    if (!file.open(QIODevice::ReadOnly))
        return false;
#endif
    if (file.size() > kLargestFile) {
        throw AppError(QStringLiteral("файл %1 слишком велик для импорта: %2 байт, а можно не больше %3")
                           .arg(name)
                           .arg(file.size())
                           .arg(kLargestFile));
    }
    return true;
}

void FileScanner::feed(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    m_encoding.feed(bytes);
    // The first three bytes are judged at the end, when a mark among them
    // is known.
    qsizetype from = 0;
    if (m_start.size() < kMark.size()) {
        from = std::min<qsizetype>(kMark.size() - m_start.size(), bytes.size());
        m_start += bytes.first(from);
    }
    if (m_blank)
        m_blank = std::all_of(bytes.begin() + from, bytes.end(), isBlank);
    m_lfs += countOf(bytes, '\n');
    if (m_last == '\r' && bytes.front() == '\n')
        ++m_pairs;
    for (const char *at = bytes.data(), *end = bytes.data() + bytes.size(); at < end;) {
        const auto *cr = static_cast<const char *>(std::memchr(at, '\r', size_t(end - at)));
        if (!cr)
            break;
        ++m_crs;
        if (cr + 1 < end && cr[1] == '\n')
            ++m_pairs;
        at = cr + 1;
    }
    m_beforeLast = bytes.size() > 1 ? bytes[bytes.size() - 2] : m_last;
    m_last = bytes.back();
    m_size += bytes.size();
}

FileScan FileScanner::result() const
{
    FileScan scan;
    scan.size = m_size;
    scan.encoding = m_encoding.result();
    scan.blank = m_blank && (m_start == kMark || std::all_of(m_start.begin(), m_start.end(), isBlank));
    const bool endsWithPair = m_size >= 2 && m_beforeLast == '\r' && m_last == '\n';
    // A line end that ends the file starts no further record.
    if (m_pairs > 0) {
        scan.lineEnds = LineEnds::CrLf;
        scan.records = 1 + m_pairs - (endsWithPair ? 1 : 0);
    } else if (m_lfs > 0) {
        scan.lineEnds = LineEnds::Lf;
        scan.records = 1 + m_lfs - (m_last == '\n' ? 1 : 0);
    } else if (m_crs > 0) {
        scan.lineEnds = LineEnds::Cr;
        scan.records = 1 + m_crs - (m_last == '\r' ? 1 : 0);
    }
    return scan;
}

FileScan scanImportFile(QIODevice &device, qint64 pieceSize)
{
    FileScanner scanner;
    QByteArray piece(pieceSize, Qt::Uninitialized);
    for (;;) {
        const qint64 read = device.read(piece.data(), pieceSize);
        if (read < 0)
            unreadable(device);
        if (read == 0)
            break;
        scanner.feed(QByteArrayView(piece.constData(), read));
    }
    return scanner.result();
}

RecordReader::RecordReader(QIODevice &device, const FileScan &scan, qint64 pieceSize)
    : m_device(device), m_scan(scan), m_pieceSize(pieceSize), m_converter(scan.encoding)
{
}

bool RecordReader::fill()
{
    if (m_ended)
        return false;
    // What the records before have left is let go first.
    if (m_start > 0 && m_start >= m_text.size() / 2) {
        m_text.remove(0, m_start);
        m_textBase += m_start;
        m_searched -= m_start;
        m_start = 0;
    }
    const qint64 wanted = std::min(m_pieceSize, m_scan.size - m_read);
    QByteArray piece;
    if (wanted > 0) {
        piece = m_device.read(wanted);
        // The file has shrunk since the first pass, or cannot be read.
        if (piece.isEmpty())
            unreadable(m_device);
    }
    m_read += piece.size();
    m_ended = m_read >= m_scan.size;
    m_converter.convert(piece, m_ended, m_text, m_marks);
    return true;
}

qsizetype RecordReader::recordEnd()
{
    const qsizetype from = std::max(m_searched, m_start);
    if (m_scan.lineEnds == LineEnds::CrLf) {
        const qsizetype pair = m_text.indexOf("\r\n", from);
        if (pair < 0) {
            m_searched = std::max(m_text.size() - 1, m_start);
            return -1;
        }
        // A pair that ends the text so far may end the file: no record
        // begins after it then.
        if (pair + 2 < m_text.size())
            return pair + 2;
        m_searched = pair;
        return -1;
    }
    if (m_scan.lineEnds == LineEnds::None)
        return -1;
    const qsizetype end = m_text.indexOf(m_scan.lineEnds == LineEnds::Lf ? '\n' : '\r', from);
    if (end < 0) {
        m_searched = m_text.size();
        return -1;
    }
    if (end + 1 < m_text.size())
        return end + 1;
    m_searched = end;
    return -1;
}

bool RecordReader::next(FileRecord &record)
{
    if (m_done)
        return false;
    qsizetype end = -1;
    while ((end = recordEnd()) < 0) {
        if (!fill()) {
            end = m_text.size();
            m_done = true;
            break;
        }
    }
    record.bytes = m_text.sliced(m_start, end - m_start);
    record.unencodable.clear();
    const qint64 start = m_textBase + m_start;
    while (!m_marks.isEmpty() && m_marks.front().position < m_textBase + end) {
        Unencodable mark = m_marks.takeFirst();
        mark.position -= start;
        record.unencodable.append(mark);
    }
    record.line = m_line;
    m_line += countLineBreaks(record.bytes);
    record.nextLine = m_done ? 0 : m_line;
    m_start = end;
    m_searched = end;
    return true;
}
