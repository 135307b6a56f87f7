#pragma once

#include "base/errors.h"
#include "db/dberror.h"

#include <QString>

#include <functional>

class DbConnection;

// What the user is told when the database refuses, by what made it refuse,
// and the one way an action gets over a server that went away meanwhile.

// Why a clear or a wipe did nothing: another desk holds the tables.
QString tablesBusyText();

// The program's account lacks a right on the database: which one, the
// command that grants it, then the engine's words.
QString missingRightText(const QString &database, const QString &why);

// The embedded engine's lock folder is closed to this account: the group
// it lacks, the command that adds it and the new session that takes it in.
QString lockFolderSentence();

// An attach or a service that failed, as the user reads it: the lock
// folder's sentence first when that is what refused, then the engine's
// words; any other failure in its own words alone.
QString attachRefusalText(const std::exception &error);

// The connection was lost and could not be had again.
QString unreachableText(const QString &database, const QString &why);

// The user's sentence for a refusal whose cause is one of its own (a lost
// connection, a missing right, a key clash, the lock folder); empty for a record's content,
// for another desk's lock (the client's message says that already) and for
// any other cause.
QString causeSentence(const DbError &error, const QString &database);

// The refusal as the user reads it: its cause's sentence, then the
// engine's words, when it has one and was not explained already; else
// itself.
DbError explained(const DbError &error, const QString &database);

// Runs an action's database work on the connection. When the connection
// turns out lost (the server restarted) and the work had committed
// nothing, it attaches again with the same parameters and runs the work
// once more; when that attach fails, it says the server is unreachable.
// A connection lost by an earlier action is attached again first. Every
// refusal leaves explained.
void runReattaching(DbConnection *connection, const std::function<void()> &work);
