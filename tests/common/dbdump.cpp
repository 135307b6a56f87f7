#include "dbdump.h"

#include "testdb.h"

#include "base/text1251.h"

QByteArray dumpDatabase(const QString &database, const QList<QByteArray> &params)
{
    DbReader reader(database, params);
    QByteArray dump;
    const QList<QByteArray> tables = reader.rows("select trim(rdb$relation_name) from rdb$relations "
                                                 "where coalesce(rdb$system_flag, 0) = 0 and rdb$view_blr is null "
                                                 "order by 1");
    for (const QByteArray &table : tables) {
        const QByteArray quoted = "'" + table + "'";
        const QList<QByteArray> columns = reader.rows("select '\"' || trim(rdb$field_name) || '\"' "
                                                      "from rdb$relation_fields where rdb$relation_name = "
                                                      + quoted + " order by rdb$field_position");
        QList<QByteArray> key = reader.rows("select '\"' || trim(s.rdb$field_name) || '\"' "
                                            "from rdb$relation_constraints c join rdb$index_segments s "
                                            "on s.rdb$index_name = c.rdb$index_name "
                                            "where c.rdb$constraint_type = 'PRIMARY KEY' and c.rdb$relation_name = "
                                            + quoted + " order by s.rdb$field_position");
        if (key.isEmpty())
            key = columns;
        dump += "table " + table + " (" + columns.join(", ") + ")\n";
        for (const QByteArray &row :
             reader.rows("select " + columns.join(", ") + " from \"" + table + "\" order by " + key.join(", ")))
            dump += "  " + row + "\n";
    }
    const QList<QByteArray> generators = reader.rows("select trim(rdb$generator_name) from rdb$generators "
                                                     "where coalesce(rdb$system_flag, 0) = 0 order by 1");
    for (const QByteArray &generator : generators)
        dump += "generator " + generator + " = "
            + reader.value("select gen_id(\"" + generator + "\", 0) from rdb$database") + "\n";
    return dump;
}

void fillEveryTable(DbReader &reader)
{
    static const char *const statements[] = {
        "insert into users (num, xuser, xmass, status, expdate, expdays, explogins) values "
        "(gen_id(nnusers, 1), 'кузнецова', 'пароль''с кавычкой', 'включен', '2031-02-03 04:05:06', 30, 2)",
        "insert into barcodes (num, bs, bp, me) values (gen_id(nnbarcodes, 1), 9000, 9100, 'Фонд «Редкая книга»')",
        "insert into catalog (num, catalog, mnt, barcod, autor, title, izdata2, isbn, tirazh, objem, vid, otdel, "
        "fond, cost, uchet) values (gen_id(nncatalog, 1), 'к', 'м', '0000000042', 'Пушкин А. С.', "
        "'Евгений Онегин; роман в стихах', '1833', '978-5-00-000000-0', '1000', '300 с.', 'книга', 'Абонемент', "
        "'основной', 12550, 'у')",
        "insert into catalog (num, title, cost) values (gen_id(nncatalog, 1), 'Без автора', null)",
        "insert into izdatelstvo (num, barcod, izd, mesto) values (gen_id(nnizdatelstvo, 1), '0000000042', "
        "'Наука', 'М.')",
        "insert into readers (num, post, nomer, lname, fname, rabota, dolzhnost, rtel, address, dtel, note) values "
        "(gen_id(nnreaders, 1), 'п', 17, 'Иванов', 'Иван', 'Школа № 5', 'учитель', '22-33-44', "
        "'ул. Ленина, д. 1', '55-66-77', 'O''Neil')",
        "insert into readers (num, nomer, lname) values (gen_id(nnreaders, 1), -3, 'Ёлкина')",
        "insert into sbornik (num, barcod, title) values (gen_id(nnsbornik, 1), '0000000042', 'Сборник')",
        "insert into comment (num, barcod, note) values (gen_id(nncomment, 1), '0000000042', 'Примечание')",
        "insert into mnogotom (num, barcod, tom) values (gen_id(nnmnogotom, 1), '0000000042', 'т. 2')",
        "insert into udkop (num, barcod, udk) values (gen_id(nnudkop, 1), '0000000042', '821.161.1')",
        "insert into ruki (num, barcod, nomer, vydano) values (gen_id(nnruki, 1), '0000000042', 17, "
        "'2024-05-20 14:03:07.1230')",
        "insert into zakaz (num, barcod, nomer) values (gen_id(nnzakaz, 1), '0000000042', 17)",
        "insert into complect (num, title) values (gen_id(nncomplect, 1), 'Комплект 1')",
        "insert into newbooks (num, barcod) values (gen_id(nnnewbooks, 1), '0000000042')",
        "insert into spisanie (num, akt, data) values (gen_id(nnspisanie, 1), 'Акт № 1', '2023-12-31')",
        "insert into spisanieitems (num, spisanie, barcod) values (gen_id(nnspisanieitems, 1), 1, '0000000042')",
        "insert into otdely (num, name) values (gen_id(nnotdely, 1), 'Краеведение')",
        "set generator aacatalog to 7",
        "set generator ssizdatelstvo to 8",
        "set generator ooreaders to 9",
        "set generator sssbornik to 10",
        "set generator sscomment to 11",
        "set generator ssmnogotom to 12",
        "set generator rrcomplect to 13",
        "set generator ddcomplect to 14",
        "set generator llspisanie to 15",
    };
    for (const char *statement : statements)
        reader.exec(toCp1251(QString::fromUtf8(statement)));
}
