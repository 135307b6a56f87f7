#include "db/dataset.h"

#include "db/engine.h"
#include "db/errors.h"
#include "db/text1251.h"
#include "db/utilites.h"

#include <QFile>

#include <firebird/Interface.h>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Firebird;

namespace {

struct Client {
    // The engine's mode comes from the configuration it reads when first used.
    bool prepared = (prepareEmbeddedEngine(), true);
    IMaster *master = fb_get_master_interface();
    IUtil *util = master->getUtilInterface();
    IProvider *provider = master->getDispatcher();
    ~Client() { provider->release(); }
};

Client &client()
{
    static Client c;
    return c;
}

// A status wrapper that throws FbException and is disposed on every path.
class Status {
public:
    Status() : m_wrapper(client().master->getStatus()) {}
    ~Status() { m_wrapper.dispose(); }
    ThrowStatusWrapper *get() { return &m_wrapper; }

private:
    ThrowStatusWrapper m_wrapper;
};

// The error codes of a status vector, in order.
QList<qint64> codesOf(const IStatus *status)
{
    QList<qint64> codes;
    const intptr_t *v = status->getErrors();
    while (v && *v != isc_arg_end) {
        if (v[0] == isc_arg_gds)
            codes.append(qint64(v[1]));
        // Every argument but the string-with-length kind is one word.
        v += v[0] == isc_arg_cstring ? 3 : 2;
    }
    return codes;
}

DbError errorOf(const FbException &e)
{
    char buffer[2048];
    client().util->formatStatus(buffer, sizeof buffer, e.getStatus());
    // The engine formats names from the database in the connection charset.
    QString text = fromCp1251(QByteArray(buffer)).trimmed();
    const QList<qint64> codes = codesOf(e.getStatus());
    static const QList<qint64> lockCodes{isc_lock_conflict, isc_update_conflict, isc_deadlock, isc_lock_timeout};
    const bool locked = std::any_of(codes.begin(), codes.end(), [](qint64 c) { return lockCodes.contains(c); });
    if (locked) {
        text = QStringLiteral("Эти данные сейчас изменяет другое рабочее место; ничего не изменено, "
                              "повторите позже.\n\n")
            + text;
    }
    return DbError(text, codes);
}

// Runs one call of the client library, turning its error into DbError.
template <typename F>
auto fb(F &&call)
{
    try {
        Status status;
        return call(status.get());
    } catch (const FbException &e) {
        throw errorOf(e);
    }
}

void addDpbItem(QByteArray &dpb, unsigned char tag, const QByteArray &value)
{
    if (value.size() > 255)
        throw DbError(QStringLiteral("Connection parameter too long"));
    dpb += char(tag);
    dpb += char(value.size());
    dpb += value;
}

QByteArray buildDpb(const QList<QByteArray> &params, int dialect)
{
    QByteArray dpb(1, char(isc_dpb_version1));
    auto add = [&](unsigned char tag, const QByteArray &value) { addDpbItem(dpb, tag, value); };
    for (const QByteArray &line : params) {
        const qsizetype eq = line.indexOf('=');
        const QByteArray name = line.left(eq).trimmed().toLower();
        const QByteArray value = eq < 0 ? QByteArray() : line.mid(eq + 1);
        if (name == "user_name")
            add(isc_dpb_user_name, value);
        else if (name == "password")
            add(isc_dpb_password, value);
        else if (name == "lc_ctype")
            add(isc_dpb_lc_ctype, value);
        else if (name == "sql_role_name")
            add(isc_dpb_sql_role_name, value);
        else if (!name.isEmpty())
            throw DbError(QStringLiteral("Unknown connection parameter: %1").arg(fromCp1251(name)));
    }
    dpb += char(isc_dpb_sql_dialect);
    dpb += char(1);
    dpb += char(dialect);
    return dpb;
}

void addDpbNumber(QByteArray &dpb, unsigned char tag, quint32 value)
{
    dpb += char(tag);
    dpb += char(4);
    for (int i = 0; i < 4; ++i)
        dpb += char(value >> (8 * i) & 0xFF);
}

// Firebird keeps dates as days since 17 November 1858; TDateTime counts from
// 30 December 1899, 15018 days later.
constexpr int kDateOffset = 15018;

TDateTime fromIscTimestamp(ISC_DATE date, ISC_TIME time)
{
    return double(date - kDateOffset) + double(time) / (86400.0 * ISC_TIME_SECONDS_PRECISION);
}

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

QByteArray readBlob(IAttachment *attachment, ITransaction *transaction, ISC_QUAD id)
{
    QByteArray result;
    IBlob *blob = fb([&](ThrowStatusWrapper *s) { return attachment->openBlob(s, transaction, &id, 0, nullptr); });
    try {
        char buffer[16384];
        for (;;) {
            unsigned got = 0;
            const int rc = fb([&](ThrowStatusWrapper *s) { return blob->getSegment(s, sizeof buffer, buffer, &got); });
            if (rc == IStatus::RESULT_OK || rc == IStatus::RESULT_SEGMENT)
                result.append(buffer, got);
            else
                break;
        }
        fb([&](ThrowStatusWrapper *s) { blob->close(s); });
    } catch (...) {
        blob->release();
        throw;
    }
    return result;
}

DbValue decode(IMessageMetadata *meta, unsigned i, const unsigned char *row, IAttachment *attachment,
               ITransaction *transaction)
{
    DbValue v;
    const unsigned nullOffset = fb([&](ThrowStatusWrapper *s) { return meta->getNullOffset(s, i); });
    if (*reinterpret_cast<const short *>(row + nullOffset))
        return v;
    const unsigned char *data = row + fb([&](ThrowStatusWrapper *s) { return meta->getOffset(s, i); });
    const unsigned type = fb([&](ThrowStatusWrapper *s) { return meta->getType(s, i); }) & ~1u;
    const int scale = fb([&](ThrowStatusWrapper *s) { return meta->getScale(s, i); });
    const unsigned length = fb([&](ThrowStatusWrapper *s) { return meta->getLength(s, i); });
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
        if (fb([&](ThrowStatusWrapper *s) { return meta->getCharSet(s, i); }) != 1) {
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

} // namespace

// ---- DbConnection

DbConnection::DbConnection(QObject *parent) : QObject(parent) {}

DbConnection::~DbConnection()
{
    shutDown(true);
    for (DbTransaction *t : std::as_const(m_transactions))
        t->m_connection = nullptr;
    for (DbQuery *q : std::as_const(m_queries))
        q->m_connection = nullptr;
}

void DbConnection::open()
{
    if (m_attachment)
        return;
    QByteArray dpb = buildDpb(params, sqlDialect);
    if (connectTimeout > 0)
        addDpbNumber(dpb, isc_dpb_connect_timeout, quint32(connectTimeout));
    const QByteArray path = QFile::encodeName(databaseName);
    m_attachment = fb([&](ThrowStatusWrapper *s) {
        return client().provider->attachDatabase(s, path.constData(), unsigned(dpb.size()),
                                                 reinterpret_cast<const unsigned char *>(dpb.constData()));
    });
}

void DbConnection::close()
{
    shutDown(false);
}

void DbConnection::forceClose()
{
    shutDown(true);
}

void DbConnection::shutDown(bool force)
{
    if (!m_attachment)
        return;
    for (DbQuery *q : std::as_const(m_queries)) {
        q->close();
        q->unprepare();
    }
    for (DbTransaction *t : std::as_const(m_transactions))
        t->finish();
    try {
        fb([&](ThrowStatusWrapper *s) { m_attachment->detach(s); });
    } catch (const DbError &) {
        if (!force)
            throw;
        m_attachment->release();
    }
    m_attachment = nullptr;
}

// ---- DbTransaction

DbTransaction::DbTransaction(QObject *parent) : QObject(parent) {}

DbTransaction::~DbTransaction()
{
    finish();
    if (m_connection)
        m_connection->m_transactions.removeOne(this);
}

void DbTransaction::setDatabase(DbConnection *connection)
{
    if (m_connection == connection)
        return;
    if (m_handle)
        throw DbError(QStringLiteral("Cannot change the database of a running transaction"));
    if (m_connection)
        m_connection->m_transactions.removeOne(this);
    m_connection = connection;
    if (m_connection)
        m_connection->m_transactions.append(this);
}

void DbTransaction::start()
{
    if (m_handle)
        throw DbError(QStringLiteral("Transaction is already active"));
    if (!m_connection || !m_connection->connected())
        throw DbError(QStringLiteral("Database not connected"));
    // Snapshot reads; a lock conflict is reported at once instead of
    // freezing the window.
    static const unsigned char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_concurrency, isc_tpb_nowait};
    m_handle = fb([&](ThrowStatusWrapper *s) { return m_connection->handle()->startTransaction(s, sizeof tpb, tpb); });
}

void DbTransaction::commit()
{
    if (!m_handle)
        throw DbError(QStringLiteral("Transaction is not active"));
    fb([&](ThrowStatusWrapper *s) { m_handle->commit(s); });
    m_handle = nullptr;
}

void DbTransaction::rollback()
{
    if (!m_handle)
        throw DbError(QStringLiteral("Transaction is not active"));
    fb([&](ThrowStatusWrapper *s) { m_handle->rollback(s); });
    m_handle = nullptr;
}

void DbTransaction::commitRetaining()
{
    if (!m_handle)
        throw DbError(QStringLiteral("Transaction is not active"));
    fb([&](ThrowStatusWrapper *s) { m_handle->commitRetaining(s); });
}

void DbTransaction::finish() noexcept
{
    if (!m_handle)
        return;
    try {
        if (defaultAction == Action::Commit || defaultAction == Action::CommitRetaining)
            commit();
        else
            rollback();
        return;
    } catch (...) {
    }
    try {
        rollback();
        return;
    } catch (...) {
    }
    m_handle->release();
    m_handle = nullptr;
}

// ---- DbField

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

// ---- DbQuery

DbQuery::DbQuery(QObject *parent) : QObject(parent) {}

DbQuery::~DbQuery()
{
    if (m_connection) {
        try {
            unprepare();
        } catch (...) {
        }
        m_connection->m_queries.removeOne(this);
    }
}

void DbQuery::setDatabase(DbConnection *connection)
{
    if (m_connection == connection)
        return;
    close();
    unprepare();
    if (m_connection)
        m_connection->m_queries.removeOne(this);
    m_connection = connection;
    if (m_connection)
        m_connection->m_queries.append(this);
}

void DbQuery::setSql(const QByteArray &sql)
{
    if (sql == m_sql)
        return;
    close();
    unprepare();
    m_sql = sql;
}

void DbQuery::ensureTransaction()
{
    if (!m_connection || !m_connection->connected())
        throw DbError(QStringLiteral("Database not connected"));
    if (!m_transaction)
        throw DbError(QStringLiteral("Transaction not assigned"));
    if (!m_transaction->inTransaction())
        m_transaction->start();
}

void DbQuery::prepare()
{
    if (m_statement)
        return;
    ensureTransaction();
    if (m_sql.trimmed().isEmpty())
        throw DbError(QStringLiteral("Empty query"));
    IAttachment *attachment = m_connection->handle();
    IStatement *statement = fb([&](ThrowStatusWrapper *s) {
        return attachment->prepare(s, m_transaction->handle(), unsigned(m_sql.size()), m_sql.constData(),
                                   unsigned(m_connection->sqlDialect), IStatement::PREPARE_PREFETCH_METADATA);
    });
    try {
        IMessageMetadata *input = fb([&](ThrowStatusWrapper *s) { return statement->getInputMetadata(s); });
        const unsigned inputs = fb([&](ThrowStatusWrapper *s) { return input->getCount(s); });
        input->release();
        if (inputs > 0)
            throw DbError(QStringLiteral("Statements with parameters are not supported"));
    } catch (...) {
        statement->release();
        throw;
    }
    m_statement = statement;
}

void DbQuery::unprepare()
{
    if (!m_statement)
        return;
    try {
        fb([&](ThrowStatusWrapper *s) { m_statement->free(s); });
    } catch (const DbError &) {
        m_statement->release();
    }
    m_statement = nullptr;
}

void DbQuery::open()
{
    if (m_active)
        return;
    prepare();
    ensureTransaction();
    IAttachment *attachment = m_connection->handle();
    ITransaction *transaction = m_transaction->handle();
    IMessageMetadata *meta = fb([&](ThrowStatusWrapper *s) { return m_statement->getOutputMetadata(s); });
    std::vector<std::vector<DbValue>> rows;
    QList<QByteArray> names;
    try {
        const unsigned columns = fb([&](ThrowStatusWrapper *s) { return meta->getCount(s); });
        if (columns == 0)
            throw DbError(QStringLiteral("The statement returns no rows"));
        for (unsigned i = 0; i < columns; ++i)
            names.append(QByteArray(fb([&](ThrowStatusWrapper *s) { return meta->getAlias(s, i); })));
        const unsigned size = fb([&](ThrowStatusWrapper *s) { return meta->getMessageLength(s); });
        std::vector<unsigned char> buffer(size);
        IResultSet *cursor = fb([&](ThrowStatusWrapper *s) {
            return m_statement->openCursor(s, transaction, nullptr, nullptr, meta, 0);
        });
        try {
            while (fb([&](ThrowStatusWrapper *s) { return cursor->fetchNext(s, buffer.data()); })
                   == IStatus::RESULT_OK) {
                std::vector<DbValue> row;
                row.reserve(columns);
                for (unsigned i = 0; i < columns; ++i)
                    row.push_back(decode(meta, i, buffer.data(), attachment, transaction));
                rows.push_back(std::move(row));
            }
            fb([&](ThrowStatusWrapper *s) { cursor->close(s); });
        } catch (...) {
            cursor->release();
            throw;
        }
    } catch (...) {
        meta->release();
        throw;
    }
    meta->release();
    m_names = names;
    m_rows = std::move(rows);
    m_active = true;
    emit rowsChanged();
    scrollTo(m_rows.empty() ? -1 : 0);
}

void DbQuery::close()
{
    if (!m_active)
        return;
    m_active = false;
    m_rows.clear();
    m_names.clear();
    m_current = -1;
    m_eof = true;
    emit rowsChanged();
}

void DbQuery::execSql()
{
    prepare();
    ensureTransaction();
    fb([&](ThrowStatusWrapper *s) {
        return m_statement->execute(s, m_transaction->handle(), nullptr, nullptr, nullptr, nullptr);
    });
}

void DbQuery::scrollTo(int row)
{
    m_current = row;
    m_eof = row < 0 || row >= recordCount();
    if (onCalcFields)
        onCalcFields(this);
    emit scrolled();
    if (afterScroll)
        afterScroll(this);
}

void DbQuery::first()
{
    scrollTo(m_rows.empty() ? -1 : 0);
}

void DbQuery::next()
{
    if (m_current + 1 >= recordCount()) {
        m_eof = true;
        return;
    }
    scrollTo(m_current + 1);
}

void DbQuery::moveTo(int row)
{
    if (row < 0 || row >= recordCount() || row == m_current)
        return;
    scrollTo(row);
}

int DbQuery::fieldIndex(const QByteArray &name) const
{
    for (int i = 0; i < m_names.size(); ++i) {
        if (m_names[i].compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

DbField DbQuery::field(const QByteArray &name) const
{
    const int column = fieldIndex(name);
    if (column < 0)
        throw DbError(QStringLiteral("Field '%1' not found").arg(fromCp1251(name)));
    return fieldAt(m_current, column);
}

DbField DbQuery::fieldAt(int row, int column) const
{
    if (row < 0 || row >= recordCount() || column < 0 || column >= fieldCount())
        return DbField(nullptr, m_names.value(column));
    return DbField(&m_rows[size_t(row)][size_t(column)], m_names[column]);
}

bool DbQuery::locate(const QByteArray &fields, const QByteArray &values, int options)
{
    const QList<QByteArray> names = fields.split(';');
    const QList<QByteArray> wanted = names.size() == 1 ? QList<QByteArray>{values} : values.split(';');
    if (wanted.size() != names.size())
        throw DbError(QStringLiteral("Locate: %1 fields, %2 values").arg(names.size()).arg(wanted.size()));
    QList<int> columns;
    for (const QByteArray &name : names) {
        const int column = fieldIndex(name);
        if (column < 0)
            throw DbError(QStringLiteral("Field '%1' not found").arg(fromCp1251(name)));
        columns.append(column);
    }
    const Qt::CaseSensitivity cs = (options & CaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    for (int row = 0; row < recordCount(); ++row) {
        bool match = true;
        for (int k = 0; k < columns.size() && match; ++k) {
            const QString have = fromCp1251(fieldAt(row, columns[k]).asString());
            const QString want = fromCp1251(wanted[k]);
            match = (options & PartialKey) ? have.startsWith(want, cs) : have.compare(want, cs) == 0;
        }
        if (match) {
            scrollTo(row);
            return true;
        }
    }
    return false;
}

void createDatabaseFile(const QString &path, const QByteArray &user, const QByteArray &charset)
{
    QByteArray dpb = buildDpb({"user_name=" + user, "lc_ctype=" + charset}, 3);
    addDpbItem(dpb, isc_dpb_set_db_charset, charset);
    const QByteArray file = QFile::encodeName(path);
    IAttachment *attachment = fb([&](ThrowStatusWrapper *s) {
        return client().provider->createDatabase(s, file.constData(), unsigned(dpb.size()),
                                                 reinterpret_cast<const unsigned char *>(dpb.constData()));
    });
    try {
        fb([&](ThrowStatusWrapper *s) { attachment->detach(s); });
    } catch (...) {
        attachment->release();
        throw;
    }
}
