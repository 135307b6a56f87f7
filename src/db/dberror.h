#pragma once

#include "base/errors.h"

#include <QList>
#include <QString>
#include <QStringList>

// A refusal by the database client, carrying the client's own message and
// the error codes of its status vector, with the vector's text arguments and
// operating system error numbers.
class DbError : public AppError {
public:
    // What made the engine refuse, as its codes tell.
    enum class Cause {
        Other,
        LockFolder,     // the embedded engine's lock folder is closed to this account
        Content,        // a value of the record: too long, out of range, null, a check
        KeyClash,       // a key that already stands in the table
        MissingRight,   // a grant the account lacks
        ConnectionLost, // the server went, the connection or the database was shut down
        Busy,           // another transaction holds what this one needs
    };

    explicit DbError(const QString &text, QList<qint64> codes = {}, QStringList arguments = {},
                     QList<int> systemErrors = {})
        : AppError(text), m_codes(std::move(codes)), m_arguments(std::move(arguments)),
          m_systemErrors(std::move(systemErrors))
    {
    }
    const QList<qint64> &codes() const { return m_codes; }
    const QStringList &arguments() const { return m_arguments; }
    const QList<int> &systemErrors() const { return m_systemErrors; }
    bool hasCode(qint64 code) const { return m_codes.contains(code); }
    Cause cause() const;
    bool lacksRight() const { return cause() == Cause::MissingRight; }
    bool connectionLost() const { return cause() == Cause::ConnectionLost; }

    // The same refusal in words the user reads, which nothing words again.
    DbError explainedAs(const QString &text) const
    {
        DbError explained(text, m_codes, m_arguments, m_systemErrors);
        explained.m_explained = true;
        return explained;
    }
    bool explained() const { return m_explained; }

private:
    QList<qint64> m_codes;
    QStringList m_arguments;
    QList<int> m_systemErrors;
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
