#include "testdb.h"

#include "db/dbcreate.h"
#include "db/utilites.h"

#include <QFile>
#include <QProcess>
#include <QTest>

int runDbTool(const QStringList &arguments, QByteArray *output)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral(DBTOOL_PATH), arguments);
    if (!tool.waitForFinished(60000))
        return -1;
    if (output)
        *output = tool.readAll();
    return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
}

TestDb::TestDb(bool demo)
{
    m_template = m_dir.filePath(QStringLiteral("template.fdb"));
    QStringList args{QStringLiteral("create"), m_template};
    if (demo)
        args << QStringLiteral("--demo");
    QByteArray output;
    if (runDbTool(args, &output) != 0)
        qFatal("database tool failed: %s", output.constData());
}

TestDb::~TestDb()
{
    disconnect();
}

QString TestDb::freshFile()
{
    const QString path = m_dir.filePath(QStringLiteral("db%1.fdb").arg(++m_copies));
    if (!QFile::copy(m_template, path))
        qFatal("cannot copy the template database");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
}

void TestDb::connectFresh()
{
    disconnect();
    m_path = freshFile();
    m_session = std::make_unique<DbSession>();
    m_session->open(m_path, adminParams());
}

void TestDb::disconnect()
{
    if (!m_session)
        return;
    m_session->connection().close();
    m_session.reset();
}

DbReader::DbReader(const QString &path, const QList<QByteArray> &params)
{
    m_connection.params = params;
    m_connection.databaseName = path;
    m_connection.open();
}

QList<QByteArray> DbReader::rows(const QByteArray &select)
{
    DbTransaction transaction(m_connection);
    DbQuery query(m_connection, transaction, select);
    query.open();
    QList<QByteArray> result;
    for (int row = 0; row < query.recordCount(); ++row) {
        QByteArray line;
        for (int column = 0; column < query.fieldCount(); ++column) {
            const DbField field = query.fieldAt(row, column);
            if (column > 0)
                line += '|';
            line += field.isNull() ? QByteArray("<null>") : field.asString();
        }
        result.append(line);
    }
    return result;
}

void DbReader::exec(const QByteArray &statement)
{
    ExecAndCommit(m_connection, statement);
}

OpenTransaction::OpenTransaction(const QString &path, const QList<QByteArray> &statements,
                                 const QList<QByteArray> &params)
    : m_transaction(m_connection)
{
    m_connection.params = params;
    m_connection.databaseName = path;
    m_connection.open();
    m_transaction.start();
    for (const QByteArray &statement : statements)
        DbQuery(m_connection, m_transaction, statement).execSql();
}
