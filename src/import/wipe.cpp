#include "import/wipe.h"

#include "db/utilites.h"
#include "import/names.h"

#include <QLocale>
#include <QStringList>

const std::array<const char *, 35> kWipeStatements = {
    "delete from catalog",
    "set generator nncatalog to 0",
    "set generator aacatalog to 0",
    "delete from udkop",
    "set generator nnudkop to 0",
    "delete from izdatelstvo",
    "set generator nnizdatelstvo to 0",
    "set generator ssizdatelstvo to 0",
    "delete from mnogotom",
    "set generator nnmnogotom to 0",
    "set generator ssmnogotom to 0",
    "delete from comment",
    "set generator nncomment to 0",
    "set generator sscomment to 0",
    "delete from sbornik",
    "set generator nnsbornik to 0",
    "set generator sssbornik to 0",
    "delete from complect",
    "set generator nncomplect to 0",
    "set generator rrcomplect to 0",
    "set generator ddcomplect to 0",
    "delete from newbooks",
    "set generator nnnewbooks to 0",
    "delete from spisanie",
    "set generator nnspisanie to 0",
    "set generator llspisanie to 0",
    "delete from spisanieitems",
    "set generator nnspisanieitems to 0",
    "delete from readers",
    "set generator nnreaders to 0",
    "set generator ooreaders to 0",
    "delete from zakaz",
    "set generator nnzakaz to 0",
    "delete from ruki",
    "set generator nnruki to 0",
};

void runWipe(const std::function<void(qsizetype done)> &progress)
{
    ExecAllOrNothing(kWipeStatements, progress);
}

QList<QByteArray> emptiedTables(std::span<const char *const> statements)
{
    static constexpr QByteArrayView kDelete = "delete from ";
    QList<QByteArray> tables;
    for (const char *statement : statements) {
        const QByteArrayView text(statement);
        if (text.startsWith(kDelete))
            tables.append(text.sliced(kDelete.size()).toByteArray());
    }
    return tables;
}

QList<qint64> countRows(const QList<QByteArray> &tables)
{
    if (tables.isEmpty())
        return {};
    QByteArray statement = "select ";
    for (const QByteArray &table : tables)
        statement += "(select count(*) from " + table + "), ";
    statement.chop(2);
    statement += " from rdb$database";

    const SnapshotRead read(statement);
    QList<qint64> counts;
    for (int column = 0; column < tables.size(); ++column)
        counts.append(read.rows().fieldAt(0, column).asString().toLongLong());
    return counts;
}

QString rowCountsText(const QList<QByteArray> &tables, const QList<qint64> &counts, const QString &separator)
{
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    QStringList parts;
    for (qsizetype i = 0; i < tables.size() && i < counts.size(); ++i)
        parts.append(tableTitle(tables[i]) + u' ' + russian.toString(counts[i]));
    return parts.join(separator);
}
