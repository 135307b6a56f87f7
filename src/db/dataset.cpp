#include "db/dataset.h"
#include "db/dberror.h"

#include "base/text1251.h"
#include "db/fbclient.h"

#include <QFile>

#include <algorithm>

using namespace Firebird;
using namespace fbclient;

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
    m_attachment.reset(call([&](ThrowStatusWrapper *s) {
        return provider()->attachDatabase(s, path.constData(), unsigned(dpb.size()),
                                          reinterpret_cast<const unsigned char *>(dpb.constData()));
    }));
    m_lost = false;
}

void DbConnection::close()
{
    shutDown(false);
    m_lost = false;
}

void DbConnection::reattach()
{
    shutDown(true);
    m_lost = true;
    open();
}

void DbConnection::forceClose()
{
    shutDown(true);
    m_lost = false;
}

void DbConnection::dropDatabase()
{
    if (!m_attachment)
        return;
    for (DbQuery *q : std::as_const(m_queries)) {
        q->close();
        q->unprepare();
    }
    for (DbTransaction *t : std::as_const(m_transactions))
        t->finish();
    call([&](ThrowStatusWrapper *s) { m_attachment->dropDatabase(s); });
    m_attachment.take();
}

bool loginRefused(const DbError &error)
{
    return error.hasCode(isc_login);
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
        call([&](ThrowStatusWrapper *s) { m_attachment->detach(s); });
        m_attachment.take();
    } catch (const DbError &) {
        if (!force)
            throw;
        m_attachment.reset();
    }
}

DbTransaction::DbTransaction(DbConnection &connection, Action defaultAction, QObject *parent)
    : QObject(parent), defaultAction(defaultAction), m_connection(&connection)
{
    connection.m_transactions.append(this);
}

DbTransaction::~DbTransaction()
{
    finish();
    if (m_connection)
        m_connection->m_transactions.removeOne(this);
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
    m_handle.reset(
        call([&](ThrowStatusWrapper *s) { return m_connection->handle()->startTransaction(s, sizeof tpb, tpb); }));
}

void DbTransaction::startReserving(const QList<QByteArray> &tables, TableLock lock, int waitSeconds)
{
    if (m_handle)
        throw DbError(QStringLiteral("Transaction is already active"));
    if (!m_connection || !m_connection->connected())
        throw DbError(QStringLiteral("Database not connected"));
    QByteArray tpb;
    for (const unsigned char item :
         {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed, isc_tpb_rec_version, isc_tpb_wait})
        tpb += char(item);
    addDpbNumber(tpb, isc_tpb_lock_timeout, quint32(std::max(waitSeconds, 1)));
    for (const QByteArray &table : tables) {
        addDpbItem(tpb, isc_tpb_lock_write, table);
        tpb += char(lock == TableLock::ProtectedWrite ? isc_tpb_protected : isc_tpb_shared);
    }
    m_handle.reset(call([&](ThrowStatusWrapper *s) {
        return m_connection->handle()->startTransaction(s, unsigned(tpb.size()),
                                                        reinterpret_cast<const unsigned char *>(tpb.constData()));
    }));
}

void DbTransaction::commit()
{
    if (!m_handle)
        throw DbError(QStringLiteral("Transaction is not active"));
    call([&](ThrowStatusWrapper *s) { m_handle->commit(s); });
    m_handle.take();
    if (m_connection)
        ++m_connection->m_commits;
}

void DbTransaction::rollback()
{
    if (!m_handle)
        throw DbError(QStringLiteral("Transaction is not active"));
    call([&](ThrowStatusWrapper *s) { m_handle->rollback(s); });
    m_handle.take();
}

void DbTransaction::commitRetaining()
{
    if (!m_handle)
        throw DbError(QStringLiteral("Transaction is not active"));
    call([&](ThrowStatusWrapper *s) { m_handle->commitRetaining(s); });
    if (m_connection)
        ++m_connection->m_commits;
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
    m_handle.reset();
}

DbQuery::DbQuery(DbConnection &connection, DbTransaction &transaction, const QByteArray &sql, QObject *parent)
    : QObject(parent), m_connection(&connection), m_transaction(&transaction), m_sql(sql)
{
    connection.m_queries.append(this);
}

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
    FbRef<IStatement> statement(call([&](ThrowStatusWrapper *s) {
        return attachment->prepare(s, m_transaction->handle(), unsigned(m_sql.size()), m_sql.constData(),
                                   unsigned(m_connection->sqlDialect), IStatement::PREPARE_PREFETCH_METADATA);
    }));
    const FbRef<IMessageMetadata> input(call([&](ThrowStatusWrapper *s) { return statement->getInputMetadata(s); }));
    if (call([&](ThrowStatusWrapper *s) { return input->getCount(s); }) > 0)
        throw DbError(QStringLiteral("Statements with parameters are not supported"));
    m_statement = std::move(statement);
}

void DbQuery::unprepare()
{
    if (!m_statement)
        return;
    try {
        call([&](ThrowStatusWrapper *s) { m_statement->free(s); });
        m_statement.take();
    } catch (const DbError &) {
        m_statement.reset();
    }
}

void DbQuery::open()
{
    if (m_active)
        return;
    prepare();
    ensureTransaction();
    IAttachment *attachment = m_connection->handle();
    ITransaction *transaction = m_transaction->handle();
    const FbRef<IMessageMetadata> meta(call([&](ThrowStatusWrapper *s) { return m_statement->getOutputMetadata(s); }));
    std::vector<std::vector<DbValue>> rows;
    QList<QByteArray> names;
    const unsigned columns = call([&](ThrowStatusWrapper *s) { return meta->getCount(s); });
    if (columns == 0)
        throw DbError(QStringLiteral("The statement returns no rows"));
    for (unsigned i = 0; i < columns; ++i)
        names.append(QByteArray(call([&](ThrowStatusWrapper *s) { return meta->getAlias(s, i); })));
    const unsigned size = call([&](ThrowStatusWrapper *s) { return meta->getMessageLength(s); });
    std::vector<unsigned char> buffer(size);
    FbRef<IResultSet> cursor(call([&](ThrowStatusWrapper *s) {
        return m_statement->openCursor(s, transaction, nullptr, nullptr, meta.get(), 0);
    }));
    while (call([&](ThrowStatusWrapper *s) { return cursor->fetchNext(s, buffer.data()); }) == IStatus::RESULT_OK) {
        std::vector<DbValue> row;
        row.reserve(columns);
        for (unsigned i = 0; i < columns; ++i)
            row.push_back(decodeColumn(meta.get(), i, buffer.data(), attachment, transaction));
        rows.push_back(std::move(row));
    }
    call([&](ThrowStatusWrapper *s) { cursor->close(s); });
    cursor.take();
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
    call([&](ThrowStatusWrapper *s) {
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
