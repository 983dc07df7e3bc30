// The one path for file changes that must survive a crash: writes, syncs,
// renames, removals and truncations of the registry hives and the job
// database go through here, so that the crash tests can stop the process at
// any of them, as SQLite's VFS and LevelDB's Env allow.
//
// With QX6_CRASH_AT=N in the environment the process kills itself with
// SIGKILL at its Nth change (counted from 1 across all files); with
// QX6_CRASH_TORN=1 a write chosen so is first done for half of its bytes,
// as a power cut in the middle of it would leave it. Without the variable
// every function is the plain system call.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace qx6::platform::FileSystem {

enum class Change { Write, Sync, Rename, Remove, Truncate };

// True when this change is the one the crash test chose; the caller then
// calls Crash(), after doing a torn part of a write if it wants one.
bool CrashDue(Change change);
// True when torn writes were asked for (QX6_CRASH_TORN=1).
bool TornWrites();
[[noreturn]] void Crash();
// CrashDue, then Crash.
void CrashPoint(Change change);
// How many changes this process has made through the seam.
long ChangesMade();

// The functions return 0 (or the byte count) on success and -1 with errno
// set on failure, as the system calls do; EINTR is retried.
int WriteAll(int fd, const void* data, size_t size);
inline int WriteAll(int fd, std::string_view bytes) { return WriteAll(fd, bytes.data(), bytes.size()); }
int WriteAllAt(int fd, const void* data, size_t size, off_t offset);
int Sync(int fd);
// Syncs the folder, so that a rename or a new name in it is durable.
int SyncFolder(const std::string& folder);
int Rename(const std::string& from, const std::string& to);
int Remove(const std::string& path);
int Truncate(int fd, off_t size);

// Replaces `path` with `bytes` as a whole: written to a new file beside it,
// given `mode`, synced, renamed into place and the folder synced, so that a
// crash leaves the old file or the new one. The new file never follows a
// link. -1 with errno set on failure, with nothing left behind.
int ReplaceWhole(const std::string& path, std::string_view bytes, mode_t mode);

}  // namespace qx6::platform::FileSystem
