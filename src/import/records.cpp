#include "import/records.h"

#include "base/sqltext.h"
#include "base/text1251.h"

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

LineEnds detectLineEnds(QByteArrayView buffer)
{
    if (buffer.contains(QByteArrayView("\r\n")))
        return LineEnds::CrLf;
    if (buffer.contains('\n'))
        return LineEnds::Lf;
    if (buffer.contains('\r'))
        return LineEnds::Cr;
    return LineEnds::None;
}

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

qsizetype NextRecordStart(QByteArrayView buffer, qsizetype position, LineEnds ends)
{
    if (ends == LineEnds::CrLf)
        return NextRecordStart(buffer, position);
    if (position < 0 || ends == LineEnds::None)
        return -1;
    const qsizetype end = buffer.indexOf(ends == LineEnds::Lf ? '\n' : '\r', position);
    if (end < 0 || end + 1 >= buffer.size())
        return -1;
    return end + 1;
}

qsizetype recordTextEnd(QByteArrayView buffer, qsizetype position, LineEnds ends)
{
    if (position < 0 || position >= buffer.size())
        return std::max<qsizetype>(position, 0);
    qsizetype end = -1;
    if (ends == LineEnds::Lf)
        end = buffer.indexOf('\n', position);
    else if (ends != LineEnds::None)
        end = buffer.indexOf('\r', position);
    return end < 0 ? buffer.size() : end;
}

QByteArray ReadRecordText(QByteArrayView buffer, qsizetype position)
{
    return ReadRecordText(buffer, position, LineEnds::CrLf);
}

QByteArray ReadRecordText(QByteArrayView buffer, qsizetype position, LineEnds ends)
{
    if (position < 0 || position >= buffer.size())
        return QByteArray();
    const qsizetype end = recordTextEnd(buffer, position, ends);
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

QByteArray recordText(QByteArrayView buffer, qsizetype position, LineEnds ends)
{
    return trimBlanks(ReadRecordText(buffer, position, ends));
}

qsizetype countRecords(QByteArrayView buffer, LineEnds ends)
{
    qsizetype total = 0;
    qsizetype position = 0;
    do {
        position = NextRecordStart(buffer, position, ends);
        ++total;
    } while (position != -1);
    return total;
}

qsizetype countLineBreaks(QByteArrayView text)
{
    qsizetype breaks = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            ++breaks;
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (text[i] == '\n') {
            ++breaks;
        }
    }
    return breaks;
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

namespace {

constexpr qint64 kLargest = std::numeric_limits<qint32>::max();

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isGroupSpace(char c)
{
    // The no-break space is byte A0 in Windows-1251.
    return c == ' ' || c == '\xA0';
}

// Adds a digit, saturating just past the 32-bit limit so that any number
// of digits is read in one pass without overflow.
qint64 appendDigit(qint64 value, char digit)
{
    return std::min(value * 10 + (digit - '0'), kLargest + 1);
}

} // namespace

Price readPrice(QByteArrayView text)
{
    if (text.isEmpty())
        return {Price::Read, 0};
    const Price unreadable{Price::Unreadable, 0};
    qint64 whole = 0;
    qsizetype i = 0;
    qsizetype groupDigits = 0;
    bool grouped = false;
    for (; i < text.size(); ++i) {
        if (isDigit(text[i])) {
            whole = appendDigit(whole, text[i]);
            ++groupDigits;
        } else if (isGroupSpace(text[i])) {
            // One space between groups: the first of one to three digits,
            // every later one of three.
            if (groupDigits == 0 || groupDigits > 3 || (grouped && groupDigits != 3))
                return unreadable;
            grouped = true;
            groupDigits = 0;
        } else {
            break;
        }
    }
    if (groupDigits == 0 || (grouped && groupDigits != 3))
        return unreadable;
    qint64 fraction = 0;
    if (i < text.size()) {
        if (text[i] != ',' && text[i] != '.')
            return unreadable;
        const qsizetype first = ++i;
        for (; i < text.size() && isDigit(text[i]); ++i)
            fraction = appendDigit(fraction, text[i]);
        const qsizetype digits = i - first;
        if (digits < 1 || digits > 2 || i != text.size())
            return unreadable;
        if (digits == 1)
            fraction *= 10;
    }
    const qint64 hundredths = whole * 100 + fraction;
    if (hundredths > kLargest)
        return {Price::TooLarge, 0};
    return {Price::Read, qint32(hundredths)};
}

std::optional<qint32> ParseCostHundredths(QByteArrayView text)
{
    const Price price = readPrice(text);
    if (price.status != Price::Read)
        return std::nullopt;
    return price.hundredths;
}

ItemNumber readItemNumber(const QByteArray &text)
{
    if (!IsIntegerText(text))
        return {ItemNumber::NotANumber, 0};
    const bool minus = text.startsWith('-');
    qint64 value = 0;
    for (qsizetype i = minus ? 1 : 0; i < text.size(); ++i)
        value = appendDigit(value, text[i]);
    // -0 is zero, as the conversion has always read it.
    if (minus && value != 0)
        return {ItemNumber::Negative, 0};
    if (value > kLargest)
        return {ItemNumber::TooLarge, 0};
    return {ItemNumber::Read, qint32(value)};
}

QString rejectionReason(Rejection rejection, QByteArrayView value)
{
    QString reason;
    switch (rejection) {
    case Rejection::None:
        return QString();
    case Rejection::NotANumber:
        if (value.isEmpty())
            return QStringLiteral("первое поле пусто");
        reason = QStringLiteral("первое поле — не число");
        break;
    case Rejection::NegativeNumber:
        reason = QStringLiteral("отрицательный номер");
        break;
    case Rejection::NumberTooLarge:
        reason = QStringLiteral("номер больше 2147483647");
        break;
    case Rejection::PriceUnreadable:
        reason = QStringLiteral("цена не читается");
        break;
    case Rejection::PriceTooLarge:
        reason = QStringLiteral("цена больше 21474836,47");
        break;
    case Rejection::Unencodable:
        return QStringLiteral("символ, которого нет в Windows-1251");
    }
    if (value.isEmpty())
        return reason;
    // As the file has it: its apostrophes arrive doubled.
    constexpr qsizetype kLongest = 40;
    QByteArray shown = value.first(std::min(value.size(), 2 * kLongest)).toByteArray();
    shown.replace("''", "'");
    QString quoted = fromCp1251(shown.left(kLongest));
    if (value.size() > 2 * kLongest || shown.size() > kLongest)
        quoted += QChar(0x2026);
    return reason + QStringLiteral(": «") + quoted + QStringLiteral("»");
}

namespace {

constexpr ImportField kCatalogueFields[] = {
    {2, "catalog", "autor", 250},   {3, "catalog", "title", 250},  {4, "izdatelstvo", "mesto", 100},
    {5, "izdatelstvo", "izd", 100}, {6, "catalog", "izdata2", 10}, {7, "catalog", "isbn", 100},
    {8, "catalog", "tirazh", 50},   {9, "catalog", "objem", 50},   {10, "catalog", "vid", 50},
    {11, "catalog", "otdel", 50},   {12, "catalog", "fond", 50},
};

constexpr ImportField kReaderFields[] = {
    {2, "readers", "lname", 50},      {3, "readers", "fname", 50}, {4, "readers", "rabota", 200},
    {5, "readers", "dolzhnost", 100}, {6, "readers", "rtel", 50},  {7, "readers", "address", 100},
    {8, "readers", "dtel", 50},       {9, "readers", "note", 250},
};

QByteArray nextField(QByteArray &rest)
{
    return CleanField(CutField(rest, ";"));
}

// The text fields of a record, from field 2 on, each cut to what its column
// keeps. Counted on the text with the file's apostrophes still doubled; a
// cut that splits a pair leaves a lone apostrophe, which SqlValue doubles
// again, so the literal stays balanced and the stored text is a prefix of
// the field.
QList<QByteArray> textFields(QByteArray &rest, std::span<const ImportField> fields, quint32 &cut)
{
    QList<QByteArray> values;
    values.reserve(fields.size());
    for (const ImportField &field : fields) {
        QByteArray value = nextField(rest);
        if (value.size() > field.kept) {
            cut |= 1u << (field.number - 1);
            value.truncate(field.kept);
        }
        values.append(value);
    }
    return values;
}

RecordPlan rejected(Rejection rejection, int field, const QByteArray &value)
{
    RecordPlan plan;
    plan.rejection = rejection;
    plan.rejectedField = field;
    plan.rejectedValue = value;
    return plan;
}

RecordPlan catalogueRecord(const QByteArray &record)
{
    QByteArray rest = record;
    const QByteArray first = nextField(rest);
    const ItemNumber number = readItemNumber(first);
    switch (number.status) {
    case ItemNumber::Read:
        break;
    case ItemNumber::NotANumber:
        return rejected(Rejection::NotANumber, 1, first);
    case ItemNumber::Negative:
        return rejected(Rejection::NegativeNumber, 1, first);
    case ItemNumber::TooLarge:
        return rejected(Rejection::NumberTooLarge, 1, first);
    }
    RecordPlan plan;
    plan.barcode = ZeroPad(number.value, 10);
    // Fields 2 to 12, in file order: autor, title, mesto, izd, then izdata2
    // to fond.
    const QList<QByteArray> texts = textFields(rest, kCatalogueFields, plan.cutFields);
    constexpr int kPriceField = 13;
    const QByteArray priceText = nextField(rest);
    const Price price = readPrice(priceText);
    if (price.status == Price::Unreadable)
        return rejected(Rejection::PriceUnreadable, kPriceField, priceText);
    if (price.status == Price::TooLarge)
        return rejected(Rejection::PriceTooLarge, kPriceField, priceText);

    QByteArray catalog = "insert into catalog (num,catalog,mnt,barcod,autor,title,izdata2,isbn,tirazh,objem,vid,otdel,"
                         "fond,cost,uchet) values(gen_id(nncatalog,1),'e','m',";
    catalog += '\'' + plan.barcode + "',";
    catalog += SqlValue(texts[0], 's', ',');
    catalog += SqlValue(texts[1], 's', ',');
    for (qsizetype i = 4; i < texts.size(); ++i)
        catalog += SqlValue(texts[i], 's', ',');
    catalog += QByteArray::number(price.hundredths) + ',';
    catalog += "'k')";
    plan.statements.append(catalog);

    const QByteArray &place = texts[2];
    const QByteArray &publisher = texts[3];
    if (!place.isEmpty() || !publisher.isEmpty()) {
        plan.statements.append("insert into izdatelstvo (num,barcod,izd,mesto) values(gen_id(nnizdatelstvo,1),'"
                               + plan.barcode + "'," + SqlValue(publisher, 's', ',') + SqlValue(place, 's', ')'));
    }
    return plan;
}

RecordPlan readerRecord(const QByteArray &record)
{
    QByteArray rest = record;
    const QByteArray number = nextField(rest);
    if (!IsIntegerText(number))
        return rejected(Rejection::NotANumber, 1, number);
    RecordPlan plan;
    const QList<QByteArray> texts = textFields(rest, kReaderFields, plan.cutFields);

    QByteArray readers = "insert into readers (num,post,nomer,lname,fname,rabota,dolzhnost,rtel,address,dtel,note) "
                         "values(gen_id(nnreaders,1),'y',";
    // Digits with an optional leading minus only, so it is safe unquoted.
    readers += number + ',';
    for (qsizetype i = 0; i < texts.size(); ++i)
        readers += SqlValue(texts[i], 's', i + 1 < texts.size() ? ',' : ')');
    plan.statements.append(readers);
    return plan;
}

} // namespace

std::span<const ImportField> importFields(ImportMode mode)
{
    if (mode == ImportMode::Catalogue)
        return kCatalogueFields;
    return kReaderFields;
}

RecordPlan planRecord(const QByteArray &record, ImportMode mode)
{
    return mode == ImportMode::Catalogue ? catalogueRecord(record) : readerRecord(record);
}

std::optional<QList<QByteArray>> recordStatements(const QByteArray &record, ImportMode mode)
{
    RecordPlan plan = planRecord(record, mode);
    if (plan.rejection != Rejection::None)
        return std::nullopt;
    return std::move(plan.statements);
}
