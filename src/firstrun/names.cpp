#include "firstrun/names.h"

namespace {

struct TableName {
    const char *table;
    const char *title;
};

constexpr TableName kTables[] = {
    {"catalog", "каталог"},
    {"izdatelstvo", "издательства"},
    {"readers", "читатели"},
    {"sbornik", "сборники"},
    {"comment", "примечания к книгам"},
    {"mnogotom", "многотомные издания"},
    {"udkop", "индексы УДК"},
    {"complect", "комплекты"},
    {"newbooks", "новые поступления"},
    {"spisanie", "акты списания"},
    {"spisanieitems", "списанные книги"},
    {"zakaz", "заказы"},
    {"ruki", "книги на руках"},
    {"users", "пользователи программы"},
    {"barcodes", "диапазоны штрих-кодов"},
};

struct ColumnName {
    const char *table;
    const char *column;
    const char *title;
};

constexpr ColumnName kColumns[] = {
    {"catalog", "barcod", "инвентарный номер"},
    {"catalog", "autor", "автор"},
    {"catalog", "title", "заглавие"},
    {"catalog", "izdata2", "год издания"},
    {"catalog", "isbn", "ISBN"},
    {"catalog", "tirazh", "тираж"},
    {"catalog", "objem", "объём"},
    {"catalog", "vid", "вид издания"},
    {"catalog", "otdel", "отдел"},
    {"catalog", "fond", "фонд"},
    {"catalog", "cost", "цена"},
    {"izdatelstvo", "barcod", "инвентарный номер"},
    {"izdatelstvo", "izd", "издательство"},
    {"izdatelstvo", "mesto", "место издания"},
    {"readers", "nomer", "номер читательского билета"},
    {"readers", "lname", "фамилия"},
    {"readers", "fname", "имя"},
    {"readers", "rabota", "место работы"},
    {"readers", "dolzhnost", "должность"},
    {"readers", "rtel", "рабочий телефон"},
    {"readers", "address", "адрес"},
    {"readers", "dtel", "домашний телефон"},
    {"readers", "note", "примечание"},
};

bool sameName(QByteArrayView a, const char *b)
{
    return a.compare(QByteArrayView(b), Qt::CaseInsensitive) == 0;
}

} // namespace

QString tableTitle(QByteArrayView table)
{
    for (const TableName &name : kTables) {
        if (sameName(table, name.table))
            return QString::fromUtf8(name.title);
    }
    return QString::fromLatin1(table);
}

QString columnTitle(QByteArrayView table, QByteArrayView column)
{
    for (const ColumnName &name : kColumns) {
        if ((table.isEmpty() || sameName(table, name.table)) && sameName(column, name.column))
            return QString::fromUtf8(name.title);
    }
    return QString();
}

QString columnWords(QByteArrayView table, QByteArrayView column)
{
    const QString title = columnTitle(table, column);
    if (!title.isEmpty())
        return QStringLiteral("поле «%1»").arg(title);
    const QString name = QString::fromLatin1(column).toUpper();
    if (table.isEmpty())
        return QStringLiteral("столбец %1").arg(name);
    return QStringLiteral("столбец %1 (%2)").arg(name, tableTitle(table));
}
