#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <array>
#include <functional>
#include <optional>

class DbConnection;

// Whether the database would take an import's insert statements, judged
// from the database's own description of its tables (RDB$RELATION_FIELDS,
// RDB$FIELDS) without writing anything: every value's type, its range in
// the column's 16, 32 or 64 bits, its length in the column's characters
// (blanks past the length cut away as the engine cuts them), its
// characters in the column's character set, and the columns that may not
// be left empty. Triggers, checks and keys are the database's own and are
// not judged.

// One column as the database describes it.
struct ColumnRule {
    enum class Kind { Integer, Float, Text, Blob, Other };
    QByteArray name; // upper case, as the database keeps it
    Kind kind = Kind::Other;
    int bits = 32;       // Integer: 16, 32 or 64
    int scale = 0;       // Integer: decimal places the stored value holds
    qint64 length = 0;   // Text: characters
    QByteArray charset;  // Text and Blob
    QByteArray typeName; // as a message names it: "VARCHAR(50)", "INTEGER"
    bool notNull = false;
    bool hasDefault = false;
    bool computed = false;
};

struct TableRule {
    QByteArray name;
    QList<ColumnRule> columns;
    const ColumnRule *column(QByteArrayView name) const;
};

// Why the database would refuse a statement.
struct Refusal {
    enum class Reason {
        NoTable,
        NoColumn,
        ReadOnlyColumn,
        NoGenerator,
        NotReadable, // a statement not in the import's own form
        Empty,       // null for a column that may not be empty
        Missing,     // a column that may not be empty and that the import leaves out
        TooLong,
        OutOfRange,
        NotConvertible, // a value the column's type does not take
        Charset,        // a character the column's character set lacks
    };
    Reason reason = Reason::NotReadable;
    QByteArray table;   // as the statement names it
    QByteArray column;  // as the statement or the database names it
    QByteArray value;   // the value as the database would get it, Windows-1251
    QByteArray detail;  // the column's type or character set
    qint64 limit = 0;   // TooLong: the column's characters
    char character = 0; // Charset: the first character lacking
};

// Says in Russian why, with the value: "база данных не примет: поле
// «фамилия» длиннее 10 зн.: «Константинопольский»".
QString refusalReason(const Refusal &refusal);

// An insert of the import's own form taken apart: "insert into T (a,b)
// values(gen_id(g,1),'x',12,null)".
struct InsertValue {
    enum class Kind { Null, Text, Number, Generator };
    Kind kind = Kind::Null;
    QByteArray text; // Text: unquoted; Number: as written; Generator: its name
};
struct InsertStatement {
    QByteArray table;
    QList<QByteArray> columns;
    QList<InsertValue> values;
};
std::optional<InsertStatement> parseInsert(QByteArrayView statement);

// The database's description, read once, and the judgement of statements
// by it.
class StatementJudge {
public:
    // What a cast of a literal to a column's type makes of it, asked of
    // the engine for the types judged by no rule here: true when taken.
    using EngineCast
        = std::function<bool(const QByteArray &table, const QByteArray &column, const QByteArray &literal)>;
    // The Windows-1251 bytes a character set takes, asked of the engine
    // once for each set other than Windows-1251: bit n for byte n.
    using CharsetProbe = std::function<std::array<bool, 256>(const QByteArray &charset)>;

    StatementJudge(QList<TableRule> tables, QSet<QByteArray> generators, CharsetProbe probe, EngineCast cast);

    // Reads the description of the tables and the generators through the
    // connection; the engine is asked through it too.
    static StatementJudge read(DbConnection &connection, const QList<QByteArray> &tables);

    // Nothing when the database would take the statement.
    std::optional<Refusal> judge(QByteArrayView statement);

private:
    std::optional<Refusal> judgeValue(const TableRule &table, const ColumnRule &column, const InsertValue &value);
    const std::array<bool, 256> &charsetTakes(const QByteArray &charset);

    QList<TableRule> m_tables;
    QSet<QByteArray> m_generators;
    CharsetProbe m_probe;
    EngineCast m_cast;
    QHash<QByteArray, std::array<bool, 256>> m_charsets;
    QHash<QByteArray, bool> m_casts;
};
