#include "import/records.h"

#include "db/utilites.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {

bool isBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

bool enclosedIn(const QByteArray &text, char mark)
{
    return text.size() > 1 && text.front() == mark && text.back() == mark;
}

} // namespace

qsizetype NextRecordStart(QByteArrayView buffer, qsizetype position)
{
    if (position < 0)
        return -1;
    // The pair may end right at position (CR at position - 1, LF at position).
    const qsizetype pair = buffer.indexOf(QByteArrayView("\r\n"), std::max<qsizetype>(position - 1, 0));
    if (pair < 0 || pair + 2 >= buffer.size())
        return -1;
    return pair + 2;
}

QByteArray ReadRecordText(QByteArrayView buffer, qsizetype position)
{
    if (position < 0 || position >= buffer.size())
        return QByteArray();
    qsizetype end = buffer.indexOf('\r', position);
    if (end < 0)
        end = buffer.size();
    QByteArray text = buffer.sliced(position, end - position).toByteArray();
    // Doubled here so that every apostrophe from the file arrives escaped.
    text.replace('\'', QByteArrayView("''"));
    qsizetype length = text.size();
    while (length > 0 && text[length - 1] == ' ')
        --length;
    text.truncate(length);
    return text;
}

QByteArray trimBlanks(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin).toByteArray();
}

QByteArray recordText(QByteArrayView buffer, qsizetype position)
{
    return trimBlanks(ReadRecordText(buffer, position));
}

qsizetype countRecords(QByteArrayView buffer)
{
    qsizetype total = 0;
    qsizetype position = 0;
    do {
        position = NextRecordStart(buffer, position);
        ++total;
    } while (position != -1);
    return total;
}

bool charInSet(char c, QByteArrayView set)
{
    return set.contains(c);
}

QByteArray CutField(QByteArray &rest, QByteArrayView separators)
{
    for (qsizetype i = 0; i < rest.size(); ++i) {
        if (charInSet(rest[i], separators)) {
            QByteArray field = rest.left(i);
            rest.remove(0, i + 1);
            return field;
        }
    }
    return std::exchange(rest, QByteArray());
}

QByteArray CleanField(const QByteArray &field)
{
    QByteArray text = trimBlanks(field);
    // Apostrophes arrive doubled, so this drops one of each enclosing pair and
    // the field keeps its own apostrophes. A field of apostrophes alone is one
    // run: dropping both ends of it would lose one of the file's apostrophes
    // (a lone one would even become null), so it is left whole.
    const bool onlyApostrophes = std::all_of(text.cbegin(), text.cend(), [](char c) { return c == '\''; });
    if (enclosedIn(text, '\'') && !onlyApostrophes)
        text = text.sliced(1, text.size() - 2);
    if (enclosedIn(text, '"'))
        text = text.sliced(1, text.size() - 2);
    return trimBlanks(text);
}

std::optional<qint32> ParseCostHundredths(QByteArrayView text)
{
    constexpr qint64 limit = std::numeric_limits<qint32>::max();
    qsizetype i = 0;
    // Saturates just past the limit, so any number of digits is safe to read.
    const auto readDigits = [&] {
        qint64 value = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
            value = std::min(value * 10 + (text[i] - '0'), limit + 1);
        return value;
    };
    const qint64 whole = readDigits();
    ++i;
    const qint64 fraction = readDigits();
    const qint64 hundredths = whole * 100 + fraction;
    if (hundredths > limit)
        return std::nullopt;
    return qint32(hundredths);
}

namespace {

QByteArray nextField(QByteArray &rest)
{
    return CleanField(CutField(rest, ";"));
}

// Counted on the text with the file's apostrophes still doubled; a cut that
// splits a pair leaves a lone apostrophe, which SqlValue doubles again, so
// the literal stays balanced and the stored text is a prefix of the field.
QByteArray nextField(QByteArray &rest, qsizetype kept)
{
    return nextField(rest).left(kept);
}

std::optional<QList<QByteArray>> catalogueStatements(const QByteArray &record)
{
    QByteArray rest = record;
    const QByteArray number = nextField(rest);
    if (!IsIntegerText(number))
        return std::nullopt;
    // A negative item number pads to empty text, stored as '' rather than null.
    const QByteArray barcode = ZeroPad(StrToInt(number), 10);

    QByteArray catalog = "insert into catalog (num,catalog,mnt,barcod,autor,title,izdata2,isbn,tirazh,objem,vid,otdel,"
                         "fond,cost,uchet) values(gen_id(nncatalog,1),'e','m',";
    catalog += '\'' + barcode + "',";
    catalog += SqlValue(nextField(rest, 250), 's', ',');
    catalog += SqlValue(nextField(rest, 250), 's', ',');
    const QByteArray place = nextField(rest, 100);
    const QByteArray publisher = nextField(rest, 100);
    for (const qsizetype kept : {10, 100, 50, 50, 50, 50, 50})
        catalog += SqlValue(nextField(rest, kept), 's', ',');
    const std::optional<qint32> cost = ParseCostHundredths(nextField(rest));
    if (!cost)
        return std::nullopt;
    catalog += QByteArray::number(*cost) + ',';
    catalog += "'k')";

    QList<QByteArray> statements{catalog};
    if (!place.isEmpty() || !publisher.isEmpty()) {
        statements += "insert into izdatelstvo (num,barcod,izd,mesto) values(gen_id(nnizdatelstvo,1),'" + barcode
            + "'," + SqlValue(publisher, 's', ',') + SqlValue(place, 's', ')');
    }
    return statements;
}

std::optional<QList<QByteArray>> readerStatements(const QByteArray &record)
{
    QByteArray rest = record;
    const QByteArray number = nextField(rest);
    if (!IsIntegerText(number))
        return std::nullopt;

    QByteArray readers = "insert into readers (num,post,nomer,lname,fname,rabota,dolzhnost,rtel,address,dtel,note) "
                         "values(gen_id(nnreaders,1),'y',";
    // Digits with an optional leading minus only, so it is safe unquoted.
    readers += number + ',';
    for (const qsizetype kept : {50, 50, 200, 100, 50, 100, 50})
        readers += SqlValue(nextField(rest, kept), 's', ',');
    readers += SqlValue(nextField(rest, 250), 's', ')');
    return QList<QByteArray>{readers};
}

} // namespace

std::optional<QList<QByteArray>> recordStatements(const QByteArray &record, ImportMode mode)
{
    return mode == ImportMode::Catalogue ? catalogueStatements(record) : readerStatements(record);
}
