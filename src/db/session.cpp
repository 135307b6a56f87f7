#include "db/session.h"

DbSession::DbSession()
    : m_defaultTransaction(m_connection, DbTransaction::Action::Commit), m_scratch(m_connection, m_defaultTransaction)
{
    m_connection.setObjectName(QStringLiteral("IBDatabase1"));
    m_connection.setDefaultTransaction(&m_defaultTransaction);
    m_defaultTransaction.setObjectName(QStringLiteral("IBTransaction1"));
    // The name by which the scratch query's reads end the one before.
    m_scratch.setObjectName(QStringLiteral("IBQXXMAIN"));
}

void DbSession::open(const QString &database, const QList<QByteArray> &params)
{
    m_connection.params = params;
    m_connection.databaseName = database;
    m_connection.open();
}
