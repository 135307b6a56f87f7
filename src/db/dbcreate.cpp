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

void createDatabase(const QString &path, const QList<QByteArray> &scripts)
{
    createDatabaseFile(path, "SYSDBA", "WIN1251");
    DbConnection connection;
    connection.params = {"user_name=SYSDBA", "lc_ctype=WIN1251"};
    connection.databaseName = path;
    connection.open();
    const SharedDb saved = sharedDb();
    sharedDb().IBDatabase1 = &connection;
    try {
        for (const QByteArray &script : scripts) {
            for (const QByteArray &statement : splitSqlScript(script))
                ExecAndCommit(statement);
        }
    } catch (...) {
        sharedDb() = saved;
        throw;
    }
    sharedDb() = saved;
    connection.close();
}
