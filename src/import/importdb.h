#pragma once

#include <QByteArray>
#include <QList>

#include <memory>

class DbConnection;
class DbTransaction;

// The import's own ways to the database: reading in a snapshot, and
// storing records in groups. Everything else of the import reaches the
// database through these.

// Every row of a select, each column's value as text (null as empty), read
// in a snapshot of its own that ends, rolled back, before this returns.
QList<QList<QByteArray>> readRows(DbConnection &connection, const QByteArray &select);

// Records stored in groups, each group one transaction: a commit costs a
// forced write, which a commit per record would pay for every record. A
// record's statements all stay in one group, so a record is stored whole
// or not at all. The group is begun at its first record and ends with
// commit() or, when this goes, rolled back.
class GroupStore {
public:
    // groupMark: a select of one row, the group's transaction and the
    // import table's key generator as it stands, run as each group's
    // transaction begins (see transaction() and keyFloor()).
    GroupStore(DbConnection &connection, QByteArray groupMark);
    ~GroupStore();
    GroupStore(const GroupStore &) = delete;
    GroupStore &operator=(const GroupStore &) = delete;

    // Runs a record's statements in the open group. When the database
    // refuses one, what the record had done is undone (the group's
    // earlier records run again in a fresh transaction when the record
    // had already run a statement), and the refusal is raised: the records
    // before it are left in the group, ready to commit. When the group
    // cannot be kept (the connection lost), it is gone and lost() says so.
    void store(const QList<QByteArray> &statements);

    // Records in the open group.
    qint32 pending() const { return qint32(m_records.size()); }
    // Commits the open group; returns the records it held.
    qint32 commit();
    // The open group is gone (its transaction could not be kept).
    bool lost() const { return m_lost; }

    // The open group's transaction, and the key generator's value before
    // its first record: every row it adds has a key above that.
    qint64 transaction() const { return m_transaction; }
    qint64 keyFloor() const { return m_keyFloor; }

private:
    void begin();
    // The open group is given up.
    void drop();
    void run(const QList<QByteArray> &statements);

    DbConnection &m_connection;
    QByteArray m_groupMark;
    std::unique_ptr<DbTransaction> m_open;
    QList<QList<QByteArray>> m_records;
    qint64 m_transaction = 0;
    qint64 m_keyFloor = 0;
    bool m_lost = false;
};
