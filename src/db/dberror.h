#pragma once

#include "base/errors.h"

#include <QList>
#include <QString>

// A refusal by the database client, carrying the client's own message and
// the error codes of its status vector.
class DbError : public AppError {
public:
    // What made the engine refuse, as its codes tell.
    enum class Cause {
        Other,
        Content,        // a value of the record: too long, out of range, null, a check
        KeyClash,       // a key that already stands in the table
        MissingRight,   // a grant the account lacks
        ConnectionLost, // the server went, the connection or the database was shut down
        Busy,           // another transaction holds what this one needs
    };

    explicit DbError(const QString &text, QList<qint64> codes = {}) : AppError(text), m_codes(std::move(codes)) {}
    const QList<qint64> &codes() const { return m_codes; }
    bool hasCode(qint64 code) const { return m_codes.contains(code); }
    Cause cause() const;
    bool lacksRight() const { return cause() == Cause::MissingRight; }
    bool connectionLost() const { return cause() == Cause::ConnectionLost; }

    // The same refusal in words the user reads, which nothing words again.
    DbError explainedAs(const QString &text) const
    {
        DbError explained(text, m_codes);
        explained.m_explained = true;
        return explained;
    }
    bool explained() const { return m_explained; }

private:
    QList<qint64> m_codes;
    bool m_explained = false;
};

// The database could not be opened; the text names it and says why.
class AttachError : public AppError {
public:
    using AppError::AppError;
};

// The database opened, but the program's account lacks a right it needs;
// the text names the database and the command that grants it.
class MissingRightError : public AttachError {
public:
    using AttachError::AttachError;
};
