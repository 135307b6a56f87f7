#include "db/ownsettings.h"

#include "base/sqltext.h"
#include "db/dbcreate.h"
#include "db/utilites.h"

namespace {

bool tableExists(DbConnection *connection)
{
    return selectValue(connection,
                       "select count(*) from rdb$relations where rdb$relation_name = upper('"
                           + QByteArray(kOwnSettingsTable) + "')")
        != "0";
}

} // namespace

void createOwnSettings(DbConnection &connection)
{
    if (tableExists(&connection))
        return;
    ExecAndCommit(connection,
                  "create table " + QByteArray(kOwnSettingsTable)
                      + " (name varchar(63) not null primary key, setting varchar(255))");
}

QByteArray readOwnSetting(DbConnection *connection, const QByteArray &name)
{
    // A library's database from before the tool made the table reads as
    // holding no settings.
    if (!tableExists(connection))
        return QByteArray();
    return selectValue(connection,
                       "select setting from " + QByteArray(kOwnSettingsTable)
                           + " where name = " + SqlValue(name, 's', ' '));
}

void writeOwnSetting(DbConnection &connection, const QByteArray &name, const QByteArray &value)
{
    createOwnSettings(connection);
    ExecAndCommit(connection,
                  "update or insert into " + QByteArray(kOwnSettingsTable) + " (name, setting) values ("
                      + SqlValue(name, 's', ',') + SqlValue(value, 's', ')') + " matching (name)");
}
