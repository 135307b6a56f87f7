#pragma once

// The client library behind the database layer: its entry points, errors
// turned into DbError, and connection parameter blocks. Only the database
// layer's own sources include this.

#include "base/errors.h"
#include "db/dberror.h"
#include "db/dbvalue.h"
#include "db/fbref.h"

#include <QByteArray>
#include <QList>

#include <firebird/Interface.h>

namespace fbclient {

Firebird::IMaster *master();
Firebird::IUtil *util();
Firebird::IProvider *provider();

DbError errorOf(const Firebird::FbException &e);

// A status wrapper that throws FbException and is disposed on every path.
class Status {
public:
    Status() : m_wrapper(master()->getStatus()) {}
    ~Status() { m_wrapper.dispose(); }
    Firebird::ThrowStatusWrapper *get() { return &m_wrapper; }

private:
    Firebird::ThrowStatusWrapper m_wrapper;
};

// Runs one call of the client library, turning its error into DbError.
template <typename F> auto call(F &&work)
{
    try {
        Status status;
        return work(status.get());
    } catch (const Firebird::FbException &e) {
        throw errorOf(e);
    }
}

// One column of a fetched row, read by the statement's output metadata.
DbValue decodeColumn(Firebird::IMessageMetadata *meta, unsigned column, const unsigned char *row,
                     Firebird::IAttachment *attachment, Firebird::ITransaction *transaction);

// The parameter block of an attachment from "name=value" lines.
QByteArray buildDpb(const QList<QByteArray> &params, int dialect);
void addDpbItem(QByteArray &dpb, unsigned char tag, const QByteArray &value);
void addDpbNumber(QByteArray &dpb, unsigned char tag, quint32 value);

} // namespace fbclient
