#pragma once

#include <QString>

// The embedded engine runs in its shared mode (SuperClassic), so that the
// program, the database tool and any other embedded client set up the same
// way can have one database file open at the same time, with no server.
// The engine's mode is read from the firebird.conf of the folder named by
// the FIREBIRD environment variable; the program keeps a folder of its own
// for that, and never touches the system's configuration.

// The folder the client library is pointed at: FIREBIRD when the user has
// set it, else the program's own, made ready on the first call. Empty when
// the system's Firebird files were not found; the engine then runs as the
// system's configuration says.
QString embeddedEngineRoot();

// Points the client library at embeddedEngineRoot(). Called before the
// library is first used; later calls do nothing.
void prepareEmbeddedEngine();

// The folder where the embedded engine keeps its lock files, which every
// process sharing a database file must be able to enter: FIREBIRD_LOCK
// when set, else the engine's own default.
QString embeddedEngineLockFolder();
