#include "import/importdb.h"

#include "base/sqltext.h"
#include "db/dataset.h"
#include "db/utilites.h"

#include <utility>

QList<QList<QByteArray>> readRows(DbConnection &connection, const QByteArray &select)
{
    const SnapshotRead read(connection, select);
    const DbQuery &query = read.rows();
    QList<QList<QByteArray>> rows;
    rows.reserve(query.recordCount());
    for (int row = 0; row < query.recordCount(); ++row) {
        QList<QByteArray> values;
        values.reserve(query.fieldCount());
        for (int column = 0; column < query.fieldCount(); ++column)
            values.append(query.fieldAt(row, column).asString());
        rows.append(values);
    }
    return rows;
}

GroupStore::GroupStore(DbConnection &connection, QByteArray groupMark)
    : m_connection(connection), m_groupMark(std::move(groupMark))
{
}

GroupStore::~GroupStore() = default;

void GroupStore::begin()
{
    m_open = std::make_unique<DbTransaction>(m_connection);
    m_open->start();
    DbQuery mark(m_connection, *m_open, m_groupMark);
    mark.open();
    m_transaction = mark.fieldAt(0, 0).asString().toLongLong();
    m_keyFloor = mark.fieldAt(0, 1).asString().toLongLong();
}

void GroupStore::run(const QList<QByteArray> &statements)
{
    for (const QByteArray &statement : statements) {
        SqlText = statement;
        DbQuery(m_connection, *m_open, SqlText).execSql();
    }
}

void GroupStore::drop()
{
    m_open.reset();
    m_records.clear();
    m_lost = true;
}

void GroupStore::store(const QList<QByteArray> &statements)
{
    m_lost = false;
    try {
        if (!m_open)
            begin();
    } catch (const DbError &) {
        drop();
        throw;
    }
    qsizetype ran = 0;
    try {
        for (const QByteArray &statement : statements) {
            run({statement});
            ++ran;
        }
    } catch (const DbError &e) {
        if (e.connectionLost()) {
            drop();
            throw;
        }
        // A refused statement leaves nothing behind itself; the statements
        // of the record before it do, and only a fresh transaction is rid
        // of them.
        if (ran > 0) {
            try {
                m_open.reset();
                begin();
                for (const QList<QByteArray> &record : std::as_const(m_records))
                    run(record);
            } catch (const DbError &) {
                drop();
            }
        }
        throw;
    }
    m_records.append(statements);
}

qint32 GroupStore::commit()
{
    if (!m_open)
        return 0;
    try {
        m_open->commit();
    } catch (const DbError &) {
        drop();
        throw;
    }
    m_open.reset();
    return qint32(std::exchange(m_records, {}).size());
}
