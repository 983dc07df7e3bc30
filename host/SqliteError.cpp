#include "host/SqliteError.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>

#include "host/JobDatabase.h"
#include "host/SqliteVfs.h"
#include "runtime/RuntimeError.h"

namespace qx6::host {

void RaiseSqliteError(sqlite3* db, int code, const std::string& path, std::string_view action) {
  const std::string detail = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  switch (code & 0xff) {
    case SQLITE_NOTADB: Raise(InvalidFileFormat, path + " is not a Quorvex job database");
    case SQLITE_CORRUPT: Raise(InvalidFileFormat, path + ": database is damaged");
    case SQLITE_FULL: Raise(RuntimeErrorNumber::DiskFull, "Disk full while writing " + path);
    case SQLITE_READONLY:
      // A writer stopped half-way after this reader opened the file.
      if (db && sqlite3_extended_errcode(db) == SQLITE_READONLY_ROLLBACK)
        Raise(RuntimeErrorNumber::PermissionDenied,
              path + " holds a change left unfinished by a program that stopped while writing it; opening it "
                     "again rolls the change back");
      Raise(RuntimeErrorNumber::PermissionDenied, path + " cannot be written: " + detail);
    case SQLITE_BUSY:
    case SQLITE_LOCKED: Raise(RuntimeErrorNumber::PermissionDenied, path + " is locked by another program");
    case SQLITE_PERM:
    case SQLITE_AUTH: Raise(RuntimeErrorNumber::PermissionDenied, "Permission denied: " + path);
    case SQLITE_CANTOPEN: {
      const int error = db ? sqlite3_system_errno(db) : 0;
      const int number = error ? RuntimeErrorFromErrno(error, path) : RuntimeErrorNumber::PathFileAccessError;
      Raise(number, RuntimeErrorDescription(number) + ": " + path);
    }
    case SQLITE_IOERR: {
      // SQLite reports a full disk as such only for some writes; a quota or
      // the file size limit come as I/O errors with the system's reason.
      int error = db ? sqlite3_system_errno(db) : 0;
      if (error == 0) error = SqliteVfs::LastError();
      if (error == ENOSPC || error == EDQUOT || error == EFBIG)
        Raise(RuntimeErrorNumber::DiskFull, "Disk full while writing " + path + " (" + std::strerror(error) + ")");
      Raise(RuntimeErrorNumber::DeviceIoError, "Device I/O error on " + path + ": " + detail);
    }
    case SQLITE_NOMEM: Raise(7, "Out of memory");
    case SQLITE_CONSTRAINT: Raise(RuntimeErrorNumber::DuplicateKey, path + ": " + detail);
    default: Raise(RuntimeErrorNumber::DeviceIoError, path + ": " + std::string(action) + " failed: " + detail);
  }
}

}  // namespace qx6::host
