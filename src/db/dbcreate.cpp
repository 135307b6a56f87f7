#include "db/dbcreate.h"

#include "db/dataset.h"
#include "db/utilites.h"

QList<QByteArray> splitSqlScript(const QByteArray &script)
{
    QList<QByteArray> statements;
    QByteArray current;
    char quote = 0;
    for (qsizetype i = 0; i < script.size(); ++i) {
        const char c = script[i];
        if (quote) {
            current += c;
            if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
            current += c;
        } else if (c == '-' && i + 1 < script.size() && script[i + 1] == '-') {
            while (i < script.size() && script[i] != '\n')
                ++i;
            current += '\n';
        } else if (c == ';') {
            if (!current.trimmed().isEmpty())
                statements.append(current.trimmed());
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.trimmed().isEmpty())
        statements.append(current.trimmed());
    return statements;
}

QList<QByteArray> adminParams(const QByteArray &user, const QByteArray &password)
{
    QList<QByteArray> params{"user_name=" + user};
    if (!password.isEmpty())
        params.append("password=" + password);
    params.append("lc_ctype=WIN1251");
    return params;
}

void createDatabase(const QString &path, const QList<QByteArray> &scripts)
{
    createDatabaseFile(path, "SYSDBA", "WIN1251");
    DbConnection connection;
    connection.params = adminParams();
    connection.databaseName = path;
    connection.open();
    for (const QByteArray &script : scripts) {
        for (const QByteArray &statement : splitSqlScript(script))
            ExecAndCommit(connection, statement);
    }
    connection.close();
}

QByteArray selectValue(DbConnection *connection, const QByteArray &select)
{
    DbTransaction transaction(*connection);
    DbQuery query(*connection, transaction, select);
    query.open();
    return query.isEmpty() ? QByteArray() : query.fieldAt(0, 0).asString();
}
