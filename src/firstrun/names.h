#pragma once

#include <QByteArrayView>
#include <QString>

// The names the library's staff know the database's tables and fields by,
// for every text the program shows; the tables' and columns' own names
// stay in the SQL. Names are matched without regard to letter case, as the
// engine writes them in upper case.

// "каталог" for catalog; the table's own name when it has no other.
QString tableTitle(QByteArrayView table);

// "автор" for catalog.autor; empty when the column has no name here. An
// empty table takes the first table that has such a column.
QString columnTitle(QByteArrayView table, QByteArrayView column);

// A column in a sentence: "поле «автор»" when the column has a name here,
// else "столбец MUST_HAVE (читатели)", or "столбец MUST_HAVE" with no table.
QString columnWords(QByteArrayView table, QByteArrayView column);
