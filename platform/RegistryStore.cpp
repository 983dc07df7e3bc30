#include "platform/RegistryStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <unordered_map>

#include "platform/SystemMessage.h"

namespace qx6::platform {

namespace {

LONG ErrorFromErrno(int e) {
  switch (e) {
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOENT:
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    default: return ERROR_REGISTRY_IO_FAILED;
  }
}

std::string Parent(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The user's hive is private; the others are readable by all.
mode_t DefaultFileMode(HiveId hive) { return hive == HiveId::CurrentUser ? 0600 : 0644; }
mode_t DefaultFolderMode(HiveId hive) { return hive == HiveId::CurrentUser ? 0700 : 0755; }

// What identifies one version of a hive file: a rename gives a new inode,
// and every write moves the modification time forward.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  timespec changed{};

  explicit FileStamp(const struct stat& st)
      : device(st.st_dev), inode(st.st_ino), size(st.st_size), modified(st.st_mtim), changed(st.st_ctim) {}
  bool operator==(const FileStamp& o) const {
    return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
           changed.tv_nsec == o.changed.tv_nsec;
  }
};

struct CacheEntry {
  FileStamp stamp;
  HiveSnapshot snapshot;
};

std::mutex cacheMutex;
std::unordered_map<std::string, CacheEntry>& Cache() {
  static std::unordered_map<std::string, CacheEntry> cache;
  return cache;
}

bool CacheLookup(const std::string& path, const FileStamp& stamp, HiveSnapshot& out) {
  std::lock_guard guard(cacheMutex);
  auto it = Cache().find(path);
  if (it == Cache().end() || !(it->second.stamp == stamp)) return false;
  out = it->second.snapshot;
  return true;
}

void CacheStore(const std::string& path, const FileStamp& stamp, const HiveSnapshot& snapshot) {
  std::lock_guard guard(cacheMutex);
  Cache().insert_or_assign(path, CacheEntry{stamp, snapshot});
}

std::shared_ptr<const RegistryHive> EmptyHive(HiveId hive) {
  static const std::shared_ptr<const RegistryHive> empty[] = {
      std::make_shared<RegistryHive>(HiveRootName(HiveId::CurrentUser)),
      std::make_shared<RegistryHive>(HiveRootName(HiveId::LocalMachine)),
      std::make_shared<RegistryHive>(HiveRootName(HiveId::Users))};
  return empty[static_cast<int>(hive)];
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const noexcept { return fd_; }
  explicit operator bool() const noexcept { return fd_ >= 0; }

 private:
  int fd_;
};

int FlockRetrying(int fd, int operation) {
  int r;
  do r = flock(fd, operation);
  while (r != 0 && errno == EINTR);
  return r;
}

// Readers lock when the lock file is there to lock; without one (a folder
// they cannot write) they still see whole files, since writers rename.
class SharedLock {
 public:
  explicit SharedLock(const std::string& lockPath) : fd_(open(lockPath.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_) FlockRetrying(fd_.Get(), LOCK_SH);
  }

 private:
  FileDescriptor fd_;
};

class ExclusiveLock {
 public:
  LONG Acquire(const std::string& lockPath, mode_t mode) {
    bool created = false;
    int fd = open(lockPath.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
      fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
      created = fd >= 0;
      if (fd < 0 && errno == EEXIST) fd = open(lockPath.c_str(), O_RDWR | O_CLOEXEC);
    }
    // flock needs no write access, so a lock file others may not write
    // still serves.
    if (fd < 0 && errno == EACCES) fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ErrorFromErrno(errno);
    fd_ = std::make_unique<FileDescriptor>(fd);
    // Exactly these rights, whatever the umask.
    if (created && fchmod(fd, mode) != 0) return ErrorFromErrno(errno);
    if (FlockRetrying(fd, LOCK_EX) != 0) return ErrorFromErrno(errno);
    return ERROR_SUCCESS;
  }

 private:
  std::unique_ptr<FileDescriptor> fd_;
};

LONG MakeFolders(const std::string& folder, mode_t mode) {
  struct stat st;
  if (stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
  if (errno != ENOENT) return ErrorFromErrno(errno);
  std::string parent = Parent(folder);
  if (parent != folder) {
    if (LONG status = MakeFolders(parent, mode)) return status;
  }
  if (mkdir(folder.c_str(), mode) != 0 && errno != EEXIST) return ErrorFromErrno(errno);
  return ERROR_SUCCESS;
}

struct LoadResult {
  LONG status = ERROR_SUCCESS;
  bool missing = false;
  std::unique_ptr<RegistryHive> hive;
  struct stat st {};
};

LoadResult LoadFile(const std::string& path, HiveId hive) {
  LoadResult result;
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    if (errno == ENOENT) result.missing = true;
    else result.status = ErrorFromErrno(errno);
    return result;
  }
  if (fstat(fd.Get(), &result.st) != 0 || !S_ISREG(result.st.st_mode)) {
    result.status = ERROR_REGISTRY_IO_FAILED;
    return result;
  }
  std::string bytes;
  bytes.reserve(static_cast<size_t>(result.st.st_size));
  char buffer[65536];
  while (true) {
    ssize_t n = read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result.status = ErrorFromErrno(errno);
      return result;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  result.hive = RegistryHive::Parse(bytes, HiveRootName(hive));
  if (!result.hive) result.status = ERROR_REGISTRY_CORRUPT;
  return result;
}

// Left by a writer that died between creating and renaming its file; only
// called under the exclusive lock, when no writer can be midway.
void RemoveStaleTemporaries(const std::string& folder, const std::string& prefix) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0)
      unlinkat(dirfd(dir), entry->d_name, 0);
  }
  closedir(dir);
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Writes the new hive beside the old one and renames it into place; the
// old file stays whole until the rename. `stamp` receives the new file's.
LONG ReplaceFile(const std::string& path, const std::string& bytes, mode_t mode, const struct stat* old,
                 std::unique_ptr<FileStamp>& stamp) {
  const std::string folder = Parent(path);
  std::string temporary = folder + "/." + BaseName(path) + ".tmp.XXXXXX";
  FileDescriptor fd(mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd) return ErrorFromErrno(errno);
  auto fail = [&](int e) {
    unlink(temporary.c_str());
    return ErrorFromErrno(e);
  };
  if (!WriteAll(fd.Get(), bytes)) return fail(errno);
  if (fchmod(fd.Get(), mode) != 0) return fail(errno);
  if (old && geteuid() == 0) {
    // An administrator's change leaves the hive with its owner.
    if (fchown(fd.Get(), old->st_uid, old->st_gid) != 0) return fail(errno);
  }
  if (old) {
    // A coarse clock could give two quick writes one time stamp; the cache
    // must still tell them apart.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    timespec oldTime = old->st_mtim;
    if (now.tv_sec < oldTime.tv_sec || (now.tv_sec == oldTime.tv_sec && now.tv_nsec <= oldTime.tv_nsec)) {
      now = oldTime;
      if (++now.tv_nsec >= 1000000000) {
        now.tv_nsec = 0;
        ++now.tv_sec;
      }
    }
    timespec times[2] = {{0, UTIME_OMIT}, now};
    if (futimens(fd.Get(), times) != 0) return fail(errno);
  }
  if (fsync(fd.Get()) != 0) return fail(errno);
  if (rename(temporary.c_str(), path.c_str()) != 0) return fail(errno);
  struct stat st;
  if (fstat(fd.Get(), &st) == 0) stamp = std::make_unique<FileStamp>(st);
  FileDescriptor dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir) fsync(dir.Get());
  return ERROR_SUCCESS;
}

}  // namespace

const char* HiveRootName(HiveId hive) {
  switch (hive) {
    case HiveId::CurrentUser: return "HKEY_CURRENT_USER";
    case HiveId::LocalMachine: return "HKEY_LOCAL_MACHINE";
    case HiveId::Users: return "HKEY_USERS";
  }
  return "";
}

std::string HivePath(HiveId hive) {
  const std::string file = std::string(HiveRootName(hive)) + ".reg";
  if (const char* dir = std::getenv("QX6_REGISTRY_DIR"); dir && *dir) {
    std::string folder = dir;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder + "/" + file;
  }
  if (hive != HiveId::CurrentUser) return std::string(SystemRegistryFolder) + "/" + file;
  std::string config;
  // The XDG rules: a relative XDG_CONFIG_HOME is ignored.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
    config = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    config = std::string(home) + "/.config";
  } else {
    return "";
  }
  return config + "/quorvex/registry/" + file;
}

HiveSnapshot ReadHive(HiveId hive) {
  const std::string path = HivePath(hive);
  if (path.empty()) return {ERROR_SUCCESS, EmptyHive(hive)};
  // A writer may rename between our stat and our open; then look again.
  for (int attempt = 0; attempt < 5; ++attempt) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) return {ERROR_SUCCESS, EmptyHive(hive)};
      return {ErrorFromErrno(errno), nullptr};
    }
    if (!S_ISREG(st.st_mode)) return {ERROR_REGISTRY_IO_FAILED, nullptr};
    HiveSnapshot snapshot;
    if (CacheLookup(path, FileStamp(st), snapshot)) return snapshot;
    SharedLock lock(path + ".lock");
    LoadResult loaded = LoadFile(path, hive);
    if (loaded.missing) continue;
    snapshot.status = loaded.status;
    snapshot.hive = std::move(loaded.hive);
    if (loaded.status == ERROR_SUCCESS || loaded.status == ERROR_REGISTRY_CORRUPT)
      CacheStore(path, FileStamp(loaded.st), snapshot);
    return snapshot;
  }
  return {ERROR_REGISTRY_IO_FAILED, nullptr};
}

LONG CheckHiveWritable(HiveId hive) {
  const std::string path = HivePath(hive);
  if (path.empty()) return ERROR_PATH_NOT_FOUND;
  if (access(path.c_str(), W_OK) != 0 && errno != ENOENT) return ErrorFromErrno(errno);
  std::string folder = Parent(path);
  struct stat st;
  while (stat(folder.c_str(), &st) != 0) {
    if (errno != ENOENT) return ErrorFromErrno(errno);
    std::string parent = Parent(folder);
    if (parent == folder) return ERROR_PATH_NOT_FOUND;
    folder = parent;
  }
  if (!S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
  if (access(folder.c_str(), W_OK | X_OK) != 0) return ErrorFromErrno(errno);
  return ERROR_SUCCESS;
}

LONG ChangeHive(HiveId hive, const HiveChange& change) {
  const std::string path = HivePath(hive);
  if (path.empty()) return ERROR_PATH_NOT_FOUND;
  if (LONG status = CheckHiveWritable(hive)) return status;
  const std::string folder = Parent(path);
  if (LONG status = MakeFolders(folder, DefaultFolderMode(hive))) return status;

  ExclusiveLock lock;
  if (LONG status = lock.Acquire(path + ".lock", DefaultFileMode(hive))) return status;
  RemoveStaleTemporaries(folder, "." + BaseName(path) + ".tmp.");

  LoadResult loaded = LoadFile(path, hive);
  if (loaded.status != ERROR_SUCCESS) return loaded.status;
  if (loaded.missing) loaded.hive = std::make_unique<RegistryHive>(HiveRootName(hive));
  const struct stat* old = loaded.missing ? nullptr : &loaded.st;

  bool changed = false;
  if (LONG status = change(*loaded.hive, changed)) return status;
  if (!changed) return ERROR_SUCCESS;

  mode_t mode = old ? (old->st_mode & 07777) : DefaultFileMode(hive);
  const bool everyone = loaded.hive->AnyEveryone();
  if (everyone) {
    mode |= 0666;
    // Only the lock file's owner can open it up; others lock it read-only.
    if (chmod((path + ".lock").c_str(), 0666) != 0) {
    }
  }
  std::unique_ptr<FileStamp> stamp;
  if (LONG status = ReplaceFile(path, loaded.hive->Serialize(), mode, old, stamp)) return status;
  if (stamp) CacheStore(path, *stamp, HiveSnapshot{ERROR_SUCCESS, std::move(loaded.hive)});
  return ERROR_SUCCESS;
}

}  // namespace qx6::platform
