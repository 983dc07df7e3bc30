// The SQLite file layer of the job database: the system's own ("unix") layer
// with every change of a database, journal or log file (writes, syncs,
// truncations, removals) sent through platform/FileSystem, the one seam where
// the crash tests stop the process. Installed as SQLite's default before any
// connection opens, so every connection of the program uses it.
#pragma once

namespace qx6::host::SqliteVfs {

// Registers the layer as SQLite's default; later calls do nothing. Raises
// an error when SQLite has no "unix" layer to build on.
void Install();

// The system's error number (errno) of this thread's last failed file
// operation through the layer, as it failed; 0 when none failed. SQLite
// keeps it for some failures only (not for a write that fails in a commit).
int LastError();

}  // namespace qx6::host::SqliteVfs
