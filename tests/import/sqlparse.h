#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <optional>

// Reads generated insert statements back by SQL's own rules, so tests and
// fuzz targets can check what the database would see: which values, and
// whether any text escaped its literal.

namespace sqlparse {

// One value of a values list: null, a quoted literal (decoded), a number or
// a gen_id(...) call (both as written).
struct Value {
    enum Kind { Null, Text, Number, Call } kind = Null;
    QByteArray text;
    bool operator==(const Value &) const = default;
};

struct Insert {
    QByteArray table;
    QList<QByteArray> columns;
    QList<Value> values;
};

// Reads the literal that opens at pos: '' inside it is one apostrophe, a lone
// apostrophe ends it. Leaves pos after the closing apostrophe; empty when the
// literal never ends.
inline std::optional<QByteArray> readLiteral(QByteArrayView text, qsizetype &pos)
{
    if (pos >= text.size() || text[pos] != '\'')
        return std::nullopt;
    QByteArray value;
    for (qsizetype i = pos + 1; i < text.size(); ++i) {
        if (text[i] != '\'') {
            value += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '\'') {
            value += '\'';
            ++i;
        } else {
            pos = i + 1;
            return value;
        }
    }
    return std::nullopt;
}

inline bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

inline QByteArray readName(QByteArrayView text, qsizetype &pos)
{
    const qsizetype start = pos;
    while (pos < text.size() && isNameChar(text[pos]))
        ++pos;
    return text.sliced(start, pos - start).toByteArray();
}

inline bool expect(QByteArrayView text, qsizetype &pos, QByteArrayView word)
{
    if (!text.sliced(pos).startsWith(word))
        return false;
    pos += word.size();
    return true;
}

inline std::optional<Value> readValue(QByteArrayView text, qsizetype &pos)
{
    if (pos < text.size() && text[pos] == '\'') {
        const std::optional<QByteArray> literal = readLiteral(text, pos);
        if (!literal)
            return std::nullopt;
        return Value{Value::Text, *literal};
    }
    if (expect(text, pos, "null"))
        return Value{Value::Null, {}};
    const qsizetype start = pos;
    if (expect(text, pos, "gen_id(")) {
        if (readName(text, pos).isEmpty() || !expect(text, pos, ",1)"))
            return std::nullopt;
        return Value{Value::Call, text.sliced(start, pos - start).toByteArray()};
    }
    if (pos < text.size() && text[pos] == '-')
        ++pos;
    const qsizetype digits = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
        ++pos;
    if (pos == digits)
        return std::nullopt;
    return Value{Value::Number, text.sliced(start, pos - start).toByteArray()};
}

// "insert into T (c1,...) values(v1,...)" and nothing after it, with as many
// values as columns; empty otherwise.
inline std::optional<Insert> parseInsert(QByteArrayView text)
{
    Insert insert;
    qsizetype pos = 0;
    if (!expect(text, pos, "insert into "))
        return std::nullopt;
    insert.table = readName(text, pos);
    if (insert.table.isEmpty() || !expect(text, pos, " ("))
        return std::nullopt;
    do {
        const QByteArray column = readName(text, pos);
        if (column.isEmpty())
            return std::nullopt;
        insert.columns += column;
    } while (expect(text, pos, ","));
    if (!expect(text, pos, ") values("))
        return std::nullopt;
    do {
        const std::optional<Value> value = readValue(text, pos);
        if (!value)
            return std::nullopt;
        insert.values += *value;
    } while (expect(text, pos, ","));
    if (!expect(text, pos, ")") || pos != text.size() || insert.values.size() != insert.columns.size())
        return std::nullopt;
    return insert;
}

} // namespace sqlparse
