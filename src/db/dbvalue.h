#pragma once

#include "base/datetime.h"

#include <QByteArray>

// One column value of a fetched row.
struct DbValue {
    enum Kind { Null, Text, Integer, Float, Timestamp };
    Kind kind = Null;
    QByteArray text;
    qint64 integer = 0;
    int scale = 0;
    double number = 0; // Float, or Timestamp as TDateTime
};

// Read access to one field of the current row. A null value reads as the
// empty text, 0 and day 0.
class DbField {
public:
    DbField(const DbValue *value, QByteArray name) : m_value(value), m_name(std::move(name)) {}

    bool isNull() const { return !m_value || m_value->kind == DbValue::Null; }
    QByteArray asString() const;
    qint32 asInteger() const;
    TDateTime asDateTime() const;

private:
    const DbValue *m_value;
    QByteArray m_name;
};
