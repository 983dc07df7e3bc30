#include "host/SqliteVfs.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstddef>
#include <mutex>
#include <string>

#include "platform/FileSystem.h"
#include "runtime/RuntimeError.h"

namespace qx6::host::SqliteVfs {
namespace {

namespace FileSystem = platform::FileSystem;

sqlite3_vfs* base = nullptr;  // the "unix" layer

// The system's reason for this thread's last failed file operation, kept as
// it failed: SQLite asks for it only after its clean-up, by when errno may
// say something else (a full disk would read as some later error).
thread_local int lastError = 0;

int Noted(int rc) {
  if (rc != SQLITE_OK && errno != 0) lastError = errno;
  return rc;
}

// Our file: the method table, then the base layer's file. `durable` marks
// the files whose changes must survive a crash; temporary files (sorting,
// statement journals) go straight to the base layer.
struct File {
  sqlite3_file header;
  bool durable;
  sqlite3_file* Inner() { return reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(this) + InnerOffset()); }
  static constexpr size_t InnerOffset() { return (sizeof(sqlite3_file) + sizeof(bool) + 15) & ~size_t{15}; }
};

sqlite3_file* Inner(sqlite3_file* file) { return reinterpret_cast<File*>(file)->Inner(); }
bool Durable(sqlite3_file* file) { return reinterpret_cast<File*>(file)->durable; }

int Close(sqlite3_file* file) { return Inner(file)->pMethods->xClose(Inner(file)); }

int Read(sqlite3_file* file, void* data, int amount, sqlite3_int64 offset) {
  const int rc = Inner(file)->pMethods->xRead(Inner(file), data, amount, offset);
  return rc == SQLITE_IOERR_SHORT_READ ? rc : Noted(rc);
}

int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
  sqlite3_file* inner = Inner(file);
  if (Durable(file) && FileSystem::CrashDue(FileSystem::Change::Write)) {
    if (FileSystem::TornWrites()) inner->pMethods->xWrite(inner, data, amount / 2, offset);
    FileSystem::Crash();
  }
  return Noted(inner->pMethods->xWrite(inner, data, amount, offset));
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) {
  if (Durable(file)) FileSystem::CrashPoint(FileSystem::Change::Truncate);
  return Noted(Inner(file)->pMethods->xTruncate(Inner(file), size));
}

int Sync(sqlite3_file* file, int flags) {
  if (Durable(file)) FileSystem::CrashPoint(FileSystem::Change::Sync);
  return Noted(Inner(file)->pMethods->xSync(Inner(file), flags));
}

int FileSize(sqlite3_file* file, sqlite3_int64* size) { return Inner(file)->pMethods->xFileSize(Inner(file), size); }
int Lock(sqlite3_file* file, int level) { return Inner(file)->pMethods->xLock(Inner(file), level); }
int Unlock(sqlite3_file* file, int level) { return Inner(file)->pMethods->xUnlock(Inner(file), level); }
int CheckReservedLock(sqlite3_file* file, int* held) {
  return Inner(file)->pMethods->xCheckReservedLock(Inner(file), held);
}
int FileControl(sqlite3_file* file, int op, void* argument) {
  return Inner(file)->pMethods->xFileControl(Inner(file), op, argument);
}
int SectorSize(sqlite3_file* file) { return Inner(file)->pMethods->xSectorSize(Inner(file)); }
int DeviceCharacteristics(sqlite3_file* file) {
  return Inner(file)->pMethods->xDeviceCharacteristics(Inner(file));
}
int ShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** memory) {
  return Inner(file)->pMethods->xShmMap(Inner(file), region, size, extend, memory);
}
int ShmLock(sqlite3_file* file, int offset, int count, int flags) {
  return Inner(file)->pMethods->xShmLock(Inner(file), offset, count, flags);
}
void ShmBarrier(sqlite3_file* file) { Inner(file)->pMethods->xShmBarrier(Inner(file)); }
int ShmUnmap(sqlite3_file* file, int remove) { return Inner(file)->pMethods->xShmUnmap(Inner(file), remove); }
int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** page) {
  return Inner(file)->pMethods->xFetch(Inner(file), offset, amount, page);
}
int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
  return Inner(file)->pMethods->xUnfetch(Inner(file), offset, page);
}

const sqlite3_io_methods kMethods = {
    3,         Close,       Read,     Write,      Truncate, Sync,          FileSize,   Lock,     Unlock,
    CheckReservedLock,      FileControl, SectorSize, DeviceCharacteristics, ShmMap, ShmLock, ShmBarrier,
    ShmUnmap,  Fetch,       Unfetch,
};

int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
  File* ours = reinterpret_cast<File*>(file);
  ours->header.pMethods = nullptr;
  ours->durable = (flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_MAIN_JOURNAL | SQLITE_OPEN_WAL |
                            SQLITE_OPEN_SUPER_JOURNAL)) != 0;
  sqlite3_file* inner = ours->Inner();
  errno = 0;
  const int rc = Noted(base->xOpen(base, name, inner, flags, outFlags));
  // SQLite closes a file whose method table is set, even after a failed open.
  if (inner->pMethods) ours->header.pMethods = &kMethods;
  return rc;
}

// The folder is synced here rather than by the base layer, so that the
// crash tests can stop the program between the removal and the sync too.
int Delete(sqlite3_vfs*, const char* name, int syncFolder) {
  FileSystem::CrashPoint(FileSystem::Change::Remove);
  int rc = Noted(base->xDelete(base, name, 0));
  if (rc == SQLITE_OK && syncFolder) {
    std::string folder(name);
    const size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
    if (FileSystem::SyncFolder(folder) != 0) rc = SQLITE_IOERR_DIR_FSYNC;
  }
  return rc;
}

int Access(sqlite3_vfs*, const char* name, int flags, int* result) { return base->xAccess(base, name, flags, result); }
int FullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
  return base->xFullPathname(base, name, size, out);
}
void* DlOpen(sqlite3_vfs*, const char* name) { return base->xDlOpen(base, name); }
void DlError(sqlite3_vfs*, int size, char* out) { base->xDlError(base, size, out); }
void (*DlSym(sqlite3_vfs*, void* library, const char* symbol))(void) { return base->xDlSym(base, library, symbol); }
void DlClose(sqlite3_vfs*, void* library) { base->xDlClose(base, library); }
int Randomness(sqlite3_vfs*, int size, char* out) { return base->xRandomness(base, size, out); }
int Sleep(sqlite3_vfs*, int microseconds) { return base->xSleep(base, microseconds); }
int CurrentTime(sqlite3_vfs*, double* now) { return base->xCurrentTime(base, now); }
int GetLastError(sqlite3_vfs*, int size, char* out) {
  return lastError != 0 ? lastError : base->xGetLastError(base, size, out);
}
int CurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* now) { return base->xCurrentTimeInt64(base, now); }

sqlite3_vfs vfs = {};

}  // namespace

int LastError() { return lastError; }

void Install() {
  static std::once_flag once;
  static bool installed = false;
  std::call_once(once, [] {
    // No statistics of SQLite's memory, which nothing reads: without them no
    // global lock is taken around every allocation of a bulk load.
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    base = sqlite3_vfs_find("unix");
    if (!base || base->iVersion < 2) return;
    vfs.iVersion = 2;
    vfs.szOsFile = static_cast<int>(File::InnerOffset()) + base->szOsFile;
    vfs.mxPathname = base->mxPathname;
    vfs.zName = "qx6";
    vfs.xOpen = Open;
    vfs.xDelete = Delete;
    vfs.xAccess = Access;
    vfs.xFullPathname = FullPathname;
    vfs.xDlOpen = DlOpen;
    vfs.xDlError = DlError;
    vfs.xDlSym = DlSym;
    vfs.xDlClose = DlClose;
    vfs.xRandomness = Randomness;
    vfs.xSleep = Sleep;
    vfs.xCurrentTime = CurrentTime;
    vfs.xGetLastError = GetLastError;
    vfs.xCurrentTimeInt64 = CurrentTimeInt64;
    installed = sqlite3_vfs_register(&vfs, 1) == SQLITE_OK;
  });
  if (!installed) Raise(RuntimeErrorNumber::DeviceIoError, "SQLite offers no \"unix\" file layer to build on");
}

}  // namespace qx6::host::SqliteVfs
