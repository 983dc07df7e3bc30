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

}  // namespace qx6::host::SqliteVfs
