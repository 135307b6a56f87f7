#include "import/judge.h"

#include "base/text1251.h"
#include "db/dberror.h"
#include "firstrun/names.h"
#include "import/importdb.h"

#include <QStringList>

#include <algorithm>
#include <limits>

namespace {

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
}

// Reads the import's own statements: names, commas and parentheses, with
// blanks allowed between them.
class Reader {
public:
    explicit Reader(QByteArrayView text) : m_text(text) {}

    void skipBlanks()
    {
        while (m_at < m_text.size() && static_cast<unsigned char>(m_text[m_at]) <= ' ')
            ++m_at;
    }
    bool take(QByteArrayView word)
    {
        skipBlanks();
        if (m_text.sliced(m_at).size() < word.size()
            || m_text.sliced(m_at, word.size()).compare(word, Qt::CaseInsensitive) != 0)
            return false;
        m_at += word.size();
        return true;
    }
    QByteArray name()
    {
        skipBlanks();
        const qsizetype start = m_at;
        while (m_at < m_text.size() && isNameChar(m_text[m_at]))
            ++m_at;
        return m_text.sliced(start, m_at - start).toByteArray();
    }
    std::optional<InsertValue> value()
    {
        skipBlanks();
        if (m_at >= m_text.size())
            return std::nullopt;
        if (m_text[m_at] == '\'') {
            QByteArray text;
            for (qsizetype i = m_at + 1; i < m_text.size(); ++i) {
                if (m_text[i] != '\'') {
                    text += m_text[i];
                } else if (i + 1 < m_text.size() && m_text[i + 1] == '\'') {
                    text += '\'';
                    ++i;
                } else {
                    m_at = i + 1;
                    return InsertValue{InsertValue::Kind::Text, text};
                }
            }
            return std::nullopt;
        }
        if (m_text[m_at] == '-' || (m_text[m_at] >= '0' && m_text[m_at] <= '9')) {
            const qsizetype start = m_at;
            if (m_text[m_at] == '-')
                ++m_at;
            const qsizetype digits = m_at;
            while (m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9')
                ++m_at;
            if (m_at == digits)
                return std::nullopt;
            return InsertValue{InsertValue::Kind::Number, m_text.sliced(start, m_at - start).toByteArray()};
        }
        if (take("null"))
            return InsertValue{};
        if (take("gen_id")) {
            if (!take("("))
                return std::nullopt;
            const QByteArray generator = name();
            if (generator.isEmpty() || !take(",") || !take("1") || !take(")"))
                return std::nullopt;
            return InsertValue{InsertValue::Kind::Generator, generator};
        }
        return std::nullopt;
    }
    bool atEnd()
    {
        skipBlanks();
        return m_at == m_text.size();
    }

private:
    QByteArrayView m_text;
    qsizetype m_at = 0;
};

bool sameName(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A value as a message quotes it, at most 40 characters.
QString quoted(QByteArrayView value)
{
    constexpr qsizetype kLongest = 40;
    QString text = fromCp1251(value.first(std::min(value.size(), kLongest)).toByteArray());
    for (QChar &c : text) {
        if (c.unicode() < 32)
            c = u' ';
    }
    if (value.size() > kLongest)
        text += QChar(0x2026);
    return QStringLiteral(": «") + text + QStringLiteral("»");
}

// A number literal's value; nothing when the engine's reading of literals
// (64 bits, and one more for the lowest with its minus) does not take it.
std::optional<qint64> numberValue(QByteArrayView text)
{
    const bool minus = text.startsWith('-');
    constexpr quint64 kLowest = quint64(1) << 63;
    quint64 magnitude = 0;
    for (qsizetype i = minus ? 1 : 0; i < text.size(); ++i) {
        const quint64 digit = quint64(text[i] - '0');
        if (magnitude > (kLowest - digit) / 10)
            return std::nullopt;
        magnitude = magnitude * 10 + digit;
    }
    if (magnitude == kLowest)
        return minus ? std::optional<qint64>(std::numeric_limits<qint64>::min()) : std::nullopt;
    return minus ? -qint64(magnitude) : qint64(magnitude);
}

// Whether value, with scale decimal places, is held by bits.
bool fitsInteger(qint64 value, int bits, int scale)
{
    if (value == 0)
        return true;
    if (scale > 18)
        return false;
    quint64 power = 1;
    for (int i = 0; i < scale; ++i)
        power *= 10;
    // The highest stored value, and the lowest one's magnitude.
    const quint64 lowest = quint64(1) << (bits - 1);
    const quint64 magnitude = value < 0 ? quint64(0) - quint64(value) : quint64(value);
    return magnitude <= (value < 0 ? lowest : lowest - 1) / power;
}

QByteArray literalOf(const InsertValue &value)
{
    if (value.kind != InsertValue::Kind::Text)
        return value.text;
    QByteArray text = value.text;
    text.replace('\'', "''");
    return '\'' + text + '\'';
}

ColumnRule columnRule(const QList<QByteArray> &row)
{
    // name, type, sub_type, scale, precision, characters, charset, not
    // null, default, computed
    ColumnRule rule;
    rule.name = row.value(1);
    const int type = row.value(2).toInt();
    const int subType = row.value(3).toInt();
    const int scale = -row.value(4).toInt();
    const int precision = row.value(5).toInt();
    rule.length = row.value(6).toLongLong();
    rule.charset = row.value(7).isEmpty() ? QByteArray("NONE") : row.value(7);
    rule.notNull = row.value(8).toInt() != 0;
    rule.hasDefault = row.value(9).toInt() != 0;
    rule.computed = row.value(10).toInt() != 0;
    const auto integer = [&](int bits, const char *name) {
        rule.kind = ColumnRule::Kind::Integer;
        rule.bits = bits;
        rule.scale = scale;
        rule.typeName = subType == 1 || subType == 2 ? QByteArray(subType == 1 ? "NUMERIC(" : "DECIMAL(")
                + QByteArray::number(precision) + ',' + QByteArray::number(scale) + ')'
                                                     : QByteArray(name);
    };
    switch (type) {
    case 7:
        integer(16, "SMALLINT");
        break;
    case 8:
        integer(32, "INTEGER");
        break;
    case 16:
        integer(64, "BIGINT");
        break;
    case 10:
        rule.kind = ColumnRule::Kind::Float;
        rule.typeName = "FLOAT";
        break;
    case 11:
    case 27:
        rule.kind = ColumnRule::Kind::Float;
        rule.typeName = "DOUBLE PRECISION";
        break;
    case 14:
    case 37:
    case 40:
        rule.kind = ColumnRule::Kind::Text;
        rule.typeName = QByteArray(type == 14 ? "CHAR(" : "VARCHAR(") + QByteArray::number(rule.length) + ')';
        break;
    case 261:
        rule.kind = ColumnRule::Kind::Blob;
        rule.typeName = "BLOB SUB_TYPE " + QByteArray::number(subType);
        if (subType != 1)
            rule.charset = "OCTETS";
        break;
    default:
        rule.kind = ColumnRule::Kind::Other;
        rule.typeName = type == 12 ? "DATE"
            : type == 13           ? "TIME"
            : type == 35           ? "TIMESTAMP"
            : type == 23           ? "BOOLEAN"
                                   : "тип " + QByteArray::number(type);
        break;
    }
    return rule;
}

} // namespace

const ColumnRule *TableRule::column(QByteArrayView name) const
{
    for (const ColumnRule &rule : columns) {
        if (sameName(rule.name, name))
            return &rule;
    }
    return nullptr;
}

std::optional<InsertStatement> parseInsert(QByteArrayView statement)
{
    Reader reader(statement);
    InsertStatement insert;
    if (!reader.take("insert") || !reader.take("into"))
        return std::nullopt;
    insert.table = reader.name();
    if (insert.table.isEmpty() || !reader.take("("))
        return std::nullopt;
    do {
        const QByteArray column = reader.name();
        if (column.isEmpty())
            return std::nullopt;
        insert.columns.append(column);
    } while (reader.take(","));
    if (!reader.take(")") || !reader.take("values") || !reader.take("("))
        return std::nullopt;
    do {
        const std::optional<InsertValue> value = reader.value();
        if (!value)
            return std::nullopt;
        insert.values.append(*value);
    } while (reader.take(","));
    if (!reader.take(")") || !reader.atEnd() || insert.values.size() != insert.columns.size())
        return std::nullopt;
    return insert;
}

QString refusalReason(const Refusal &refusal)
{
    const QString column = columnWords(refusal.table, refusal.column);
    const QString detail = QString::fromLatin1(refusal.detail);
    QString said;
    switch (refusal.reason) {
    case Refusal::Reason::NoTable:
        said = QStringLiteral("нет таблицы %1").arg(QString::fromLatin1(refusal.table).toUpper());
        break;
    case Refusal::Reason::NoColumn:
        said = QStringLiteral("в таблице «%1» нет столбца %2")
                   .arg(tableTitle(refusal.table), QString::fromLatin1(refusal.column).toUpper());
        break;
    case Refusal::Reason::ReadOnlyColumn:
        said = QStringLiteral("%1 вычисляет сама база данных, записать в него нельзя").arg(column);
        break;
    case Refusal::Reason::NoGenerator:
        said = QStringLiteral("нет генератора %1").arg(QString::fromLatin1(refusal.detail).toUpper());
        break;
    case Refusal::Reason::NotReadable:
        said = QStringLiteral("запрос записи не удаётся разобрать");
        break;
    case Refusal::Reason::Empty:
        said = QStringLiteral("%1 не может быть пустым").arg(column);
        break;
    case Refusal::Reason::Missing:
        said = QStringLiteral("%1 не может быть пустым, а импорт его не заполняет").arg(column);
        break;
    case Refusal::Reason::TooLong:
        said = QStringLiteral("%1 длиннее %2 зн.").arg(column).arg(refusal.limit) + quoted(refusal.value);
        break;
    case Refusal::Reason::OutOfRange:
        said = QStringLiteral("число не помещается в %1 (%2)").arg(column, detail) + quoted(refusal.value);
        break;
    case Refusal::Reason::NotConvertible:
        said = QStringLiteral("%1 (%2) не принимает такое значение").arg(column, detail) + quoted(refusal.value);
        break;
    case Refusal::Reason::Charset:
        said = QStringLiteral("%1: символа «%2» нет в кодировке столбца (%3)")
                   .arg(column, fromCp1251(QByteArray(1, refusal.character)), detail);
        break;
    }
    return QStringLiteral("база данных не примет: ") + said;
}

StatementJudge::StatementJudge(QList<TableRule> tables, QSet<QByteArray> generators, CharsetProbe probe,
                               EngineCast cast)
    : m_tables(std::move(tables)), m_generators(std::move(generators)), m_probe(std::move(probe)),
      m_cast(std::move(cast))
{
}

StatementJudge StatementJudge::read(DbConnection &connection, const QList<QByteArray> &tables)
{
    QByteArray names;
    for (const QByteArray &table : tables)
        names += (names.isEmpty() ? "'" : ",'") + table.toUpper() + '\'';
    const QList<QList<QByteArray>> rows = readRows(
        connection,
        "select trim(rf.rdb$relation_name), trim(rf.rdb$field_name), f.rdb$field_type, "
        "coalesce(f.rdb$field_sub_type, 0), coalesce(f.rdb$field_scale, 0), coalesce(f.rdb$field_precision, 0), "
        "coalesce(f.rdb$character_length, f.rdb$field_length / coalesce(cs.rdb$bytes_per_character, 1)), "
        "trim(cs.rdb$character_set_name), "
        "iif(coalesce(rf.rdb$null_flag, 0) = 1 or coalesce(f.rdb$null_flag, 0) = 1, 1, 0), "
        "iif(rf.rdb$default_source is null and f.rdb$default_source is null and rf.rdb$identity_type is null, 0, 1), "
        "iif(f.rdb$computed_blr is null, 0, 1) "
        "from rdb$relation_fields rf join rdb$fields f on f.rdb$field_name = rf.rdb$field_source "
        "left join rdb$character_sets cs on cs.rdb$character_set_id = f.rdb$character_set_id "
        "where rf.rdb$relation_name in ("
            + names + ") order by rf.rdb$relation_name, rf.rdb$field_position");
    QList<TableRule> rules;
    for (const QList<QByteArray> &row : rows) {
        if (rules.isEmpty() || rules.back().name != row.value(0))
            rules.append(TableRule{row.value(0), {}});
        rules.back().columns.append(columnRule(row));
    }
    QSet<QByteArray> generators;
    for (const QList<QByteArray> &row : readRows(connection, "select trim(rdb$generator_name) from rdb$generators"))
        generators.insert(row.value(0));

    const CharsetProbe probe = [&connection](const QByteArray &charset) {
        // Each byte cast to the set as an insert casts it, one at a time,
        // so that the engine's own tables decide.
        const QList<QList<QByteArray>> taken = readRows(
            connection,
            "execute block returns (taken varchar(256) character set win1251) as "
            "declare i integer = 0; declare c varchar(1) character set "
                + charset
                + "; begin taken = ''; while (i < 256) do begin begin "
                  "c = cast(cast(ascii_char(i) as varchar(1) character set octets) as varchar(1) character set "
                  "win1251); taken = taken || 'y'; when any do taken = taken || 'n'; end i = i + 1; end suspend; "
                  "end");
        std::array<bool, 256> takes{};
        const QByteArray flags = taken.value(0).value(0);
        for (int byte = 0; byte < 256 && byte < flags.size(); ++byte)
            takes[byte] = flags[byte] == 'y';
        return takes;
    };
    const EngineCast cast = [&connection](const QByteArray &table, const QByteArray &column, const QByteArray &literal) {
        try {
            readRows(connection,
                     "select cast(" + literal + " as type of column " + table + '.' + column + ") from rdb$database");
            return true;
        } catch (const DbError &e) {
            if (e.connectionLost() || e.lacksRight())
                throw;
            return false;
        }
    };
    return StatementJudge(std::move(rules), std::move(generators), probe, cast);
}

const std::array<bool, 256> &StatementJudge::charsetTakes(const QByteArray &charset)
{
    auto found = m_charsets.find(charset);
    if (found == m_charsets.end())
        found = m_charsets.insert(charset, m_probe(charset));
    return *found;
}

std::optional<Refusal> StatementJudge::judgeValue(const TableRule &table, const ColumnRule &column,
                                                  const InsertValue &value)
{
    Refusal refusal;
    refusal.table = table.name.toLower();
    refusal.column = column.name;
    refusal.value = value.text;
    refusal.detail = column.typeName;
    const auto refused = [&](Refusal::Reason reason) {
        refusal.reason = reason;
        return std::optional<Refusal>(refusal);
    };
    const auto askEngine = [&]() -> std::optional<Refusal> {
        const QByteArray literal = literalOf(value);
        const QByteArray key = table.name + '.' + column.name + '\0' + literal;
        auto found = m_casts.find(key);
        if (found == m_casts.end())
            found = m_casts.insert(key, m_cast(table.name, column.name, literal));
        if (*found)
            return std::nullopt;
        return refused(Refusal::Reason::NotConvertible);
    };
    switch (value.kind) {
    case InsertValue::Kind::Null:
    case InsertValue::Kind::Generator:
        return std::nullopt;
    case InsertValue::Kind::Number: {
        // Read when the statement was prepared.
        const qint64 number = *numberValue(value.text);
        switch (column.kind) {
        case ColumnRule::Kind::Integer:
            if (!fitsInteger(number, column.bits, column.scale))
                return refused(Refusal::Reason::OutOfRange);
            return std::nullopt;
        case ColumnRule::Kind::Float:
            return std::nullopt;
        case ColumnRule::Kind::Text:
            // Written as its decimal text, which must fit whole.
            if (QByteArray::number(number).size() > column.length)
                return refused(Refusal::Reason::NotConvertible);
            return std::nullopt;
        case ColumnRule::Kind::Blob:
        case ColumnRule::Kind::Other:
            return askEngine();
        }
        return std::nullopt;
    }
    case InsertValue::Kind::Text:
        break;
    }
    if (column.kind != ColumnRule::Kind::Text && column.kind != ColumnRule::Kind::Blob)
        return askEngine();
    if (column.charset != "WIN1251" && column.charset != "NONE" && column.charset != "OCTETS") {
        const std::array<bool, 256> &takes = charsetTakes(column.charset);
        for (const char c : value.text) {
            if (!takes[static_cast<unsigned char>(c)]) {
                refusal.detail = column.charset;
                refusal.character = c;
                return refused(Refusal::Reason::Charset);
            }
        }
    }
    if (column.kind == ColumnRule::Kind::Text && value.text.size() > column.length) {
        // The engine cuts what lies past the length when it is only
        // padding: blanks, or zero bytes in a binary column.
        const char pad = column.charset == "OCTETS" ? '\0' : ' ';
        const QByteArrayView past = QByteArrayView(value.text).sliced(column.length);
        if (!std::all_of(past.begin(), past.end(), [pad](char c) { return c == pad; })) {
            refusal.limit = column.length;
            return refused(Refusal::Reason::TooLong);
        }
    }
    return std::nullopt;
}

std::optional<Refusal> StatementJudge::judge(QByteArrayView statement)
{
    const std::optional<InsertStatement> insert = parseInsert(statement);
    if (!insert)
        return Refusal{Refusal::Reason::NotReadable, {}, {}, statement.toByteArray(), {}, 0, 0};
    const auto rule = std::find_if(m_tables.cbegin(), m_tables.cend(),
                                   [&](const TableRule &table) { return sameName(table.name, insert->table); });
    if (rule == m_tables.cend())
        return Refusal{Refusal::Reason::NoTable, insert->table, {}, {}, {}, 0, 0};
    // What the engine finds as it prepares the statement, then what it
    // finds as it stores each value, then the columns left empty.
    QList<const ColumnRule *> columns;
    for (qsizetype i = 0; i < insert->columns.size(); ++i) {
        const ColumnRule *column = rule->column(insert->columns[i]);
        if (!column)
            return Refusal{Refusal::Reason::NoColumn, insert->table, insert->columns[i], {}, {}, 0, 0};
        if (column->computed)
            return Refusal{Refusal::Reason::ReadOnlyColumn, insert->table, column->name, {}, {}, 0, 0};
        columns.append(column);
    }
    for (qsizetype i = 0; i < insert->values.size(); ++i) {
        const InsertValue &value = insert->values[i];
        if (value.kind == InsertValue::Kind::Generator && !m_generators.contains(value.text.toUpper()))
            return Refusal{Refusal::Reason::NoGenerator, insert->table, columns[i]->name, {}, value.text, 0, 0};
        if (value.kind == InsertValue::Kind::Number && !numberValue(value.text)) {
            return Refusal{
                Refusal::Reason::OutOfRange, insert->table, columns[i]->name, value.text, columns[i]->typeName, 0, 0};
        }
    }
    for (qsizetype i = 0; i < insert->values.size(); ++i) {
        if (std::optional<Refusal> refusal = judgeValue(*rule, *columns[i], insert->values[i])) {
            refusal->table = insert->table;
            return refusal;
        }
    }
    for (qsizetype i = 0; i < insert->values.size(); ++i) {
        if (insert->values[i].kind == InsertValue::Kind::Null && columns[i]->notNull)
            return Refusal{Refusal::Reason::Empty, insert->table, columns[i]->name, {}, {}, 0, 0};
    }
    for (const ColumnRule &column : rule->columns) {
        if (column.notNull && !column.hasDefault && !column.computed && !columns.contains(&column))
            return Refusal{Refusal::Reason::Missing, insert->table, column.name, {}, {}, 0, 0};
    }
    return std::nullopt;
}
