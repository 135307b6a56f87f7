#include "db/dbvalue.h"
#include "db/dberror.h"

#include "base/sqltext.h"
#include "base/text1251.h"
#include "db/fbclient.h"

#include <cmath>
#include <limits>

using namespace Firebird;

namespace {

QByteArray scaledText(qint64 value, int scale)
{
    QByteArray digits = QByteArray::number(value < 0 ? -(value + 1) + 1ULL : quint64(value));
    if (scale < 0) {
        const int places = -scale;
        digits = digits.rightJustified(places + 1, '0');
        digits.insert(digits.size() - places, '.');
    }
    return value < 0 ? '-' + digits : digits;
}

} // namespace

namespace fbclient {
namespace {

// Firebird keeps dates as days since 17 November 1858; TDateTime counts from
// 30 December 1899, 15018 days later.
constexpr int kDateOffset = 15018;

TDateTime fromIscTimestamp(ISC_DATE date, ISC_TIME time)
{
    return double(date - kDateOffset) + double(time) / (86400.0 * ISC_TIME_SECONDS_PRECISION);
}

QByteArray readBlob(IAttachment *attachment, ITransaction *transaction, ISC_QUAD id)
{
    QByteArray result;
    FbRef<IBlob> blob(
        call([&](ThrowStatusWrapper *s) { return attachment->openBlob(s, transaction, &id, 0, nullptr); }));
    char buffer[16384];
    for (;;) {
        unsigned got = 0;
        const int rc = call([&](ThrowStatusWrapper *s) { return blob->getSegment(s, sizeof buffer, buffer, &got); });
        if (rc != IStatus::RESULT_OK && rc != IStatus::RESULT_SEGMENT)
            break;
        result.append(buffer, got);
    }
    call([&](ThrowStatusWrapper *s) { blob->close(s); });
    blob.take();
    return result;
}

} // namespace

DbValue decodeColumn(IMessageMetadata *meta, unsigned i, const unsigned char *row, IAttachment *attachment,
                     ITransaction *transaction)
{
    DbValue v;
    const unsigned nullOffset = call([&](ThrowStatusWrapper *s) { return meta->getNullOffset(s, i); });
    if (*reinterpret_cast<const short *>(row + nullOffset))
        return v;
    const unsigned char *data = row + call([&](ThrowStatusWrapper *s) { return meta->getOffset(s, i); });
    const unsigned type = call([&](ThrowStatusWrapper *s) { return meta->getType(s, i); }) & ~1u;
    const int scale = call([&](ThrowStatusWrapper *s) { return meta->getScale(s, i); });
    const unsigned length = call([&](ThrowStatusWrapper *s) { return meta->getLength(s, i); });
    switch (type) {
    case SQL_VARYING: {
        const auto size = *reinterpret_cast<const unsigned short *>(data);
        v.kind = DbValue::Text;
        v.text = QByteArray(reinterpret_cast<const char *>(data + 2), size);
        break;
    }
    case SQL_TEXT: {
        v.kind = DbValue::Text;
        v.text = QByteArray(reinterpret_cast<const char *>(data), length);
        // Fixed-width text comes padded with blanks, except raw bytes.
        if (call([&](ThrowStatusWrapper *s) { return meta->getCharSet(s, i); }) != 1) {
            while (v.text.endsWith(' '))
                v.text.chop(1);
        }
        break;
    }
    case SQL_SHORT:
        v.kind = DbValue::Integer;
        v.integer = *reinterpret_cast<const qint16 *>(data);
        v.scale = scale;
        break;
    case SQL_LONG:
        v.kind = DbValue::Integer;
        v.integer = *reinterpret_cast<const qint32 *>(data);
        v.scale = scale;
        break;
    case SQL_INT64:
        v.kind = DbValue::Integer;
        v.integer = *reinterpret_cast<const qint64 *>(data);
        v.scale = scale;
        break;
    case SQL_BOOLEAN:
        v.kind = DbValue::Integer;
        v.integer = *data ? 1 : 0;
        break;
    case SQL_FLOAT:
        v.kind = DbValue::Float;
        v.number = *reinterpret_cast<const float *>(data);
        break;
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        v.kind = DbValue::Float;
        v.number = *reinterpret_cast<const double *>(data);
        break;
    case SQL_TIMESTAMP: {
        const auto *ts = reinterpret_cast<const ISC_TIMESTAMP *>(data);
        v.kind = DbValue::Timestamp;
        v.number = fromIscTimestamp(ts->timestamp_date, ts->timestamp_time);
        break;
    }
    case SQL_TYPE_DATE:
        v.kind = DbValue::Timestamp;
        v.number = fromIscTimestamp(*reinterpret_cast<const ISC_DATE *>(data), 0);
        break;
    case SQL_TYPE_TIME:
        v.kind = DbValue::Timestamp;
        v.number = fromIscTimestamp(kDateOffset, *reinterpret_cast<const ISC_TIME *>(data));
        break;
    case SQL_BLOB:
        v.kind = DbValue::Text;
        v.text = readBlob(attachment, transaction, *reinterpret_cast<const ISC_QUAD *>(data));
        break;
    default:
        throw DbError(QStringLiteral("Unsupported column type %1").arg(type));
    }
    return v;
}

} // namespace fbclient

QByteArray DbField::asString() const
{
    if (isNull())
        return QByteArray();
    switch (m_value->kind) {
    case DbValue::Text:
        return m_value->text;
    case DbValue::Integer:
        return scaledText(m_value->integer, m_value->scale);
    case DbValue::Float:
        return QByteArray::number(m_value->number, 'g', 15);
    case DbValue::Timestamp: {
        const QDateTime dt = toQDateTime(m_value->number);
        if (dt.time() == QTime(0, 0))
            return dt.toString(QStringLiteral("dd.MM.yyyy")).toLatin1();
        return dt.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")).toLatin1();
    }
    case DbValue::Null:
        break;
    }
    return QByteArray();
}

qint32 DbField::asInteger() const
{
    if (isNull())
        return 0;
    switch (m_value->kind) {
    case DbValue::Integer: {
        qint64 v = m_value->integer;
        for (int i = m_value->scale; i < 0; ++i)
            v /= 10;
        if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
            break;
        return qint32(v);
    }
    case DbValue::Float:
        if (std::isfinite(m_value->number) && std::fabs(m_value->number) < 2147483647.0)
            return qint32(std::lround(m_value->number));
        break;
    case DbValue::Text:
        return StrToInt(m_value->text);
    default:
        break;
    }
    throw ConvertError(QStringLiteral("'%1' is not a valid integer value").arg(fromCp1251(asString())));
}

TDateTime DbField::asDateTime() const
{
    if (isNull())
        return 0;
    switch (m_value->kind) {
    case DbValue::Timestamp:
    case DbValue::Float:
        return m_value->number;
    case DbValue::Integer:
        return double(m_value->integer);
    default:
        break;
    }
    throw ConvertError(QStringLiteral("'%1' is not a valid date and time").arg(fromCp1251(asString())));
}
