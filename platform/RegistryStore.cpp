#include "platform/RegistryStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/SystemMessage.h"

namespace qx6::platform {

namespace {

thread_local std::string failureDetail;

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

// The code for a failed system call on `path`, with the system's words for
// it as the failure detail.
LONG Failure(const std::string& path, int e) {
  failureDetail = path + ": " + std::strerror(e);
  return ErrorFromErrno(e);
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

// The user's hive is private; the others are readable by all, and writable
// by all once they hold a key marked for everyone.
mode_t DefaultFileMode(HiveId hive) { return hive == HiveId::CurrentUser ? 0600 : 0644; }
mode_t FileMode(HiveId hive, bool everyone) {
  return hive != HiveId::CurrentUser && everyone ? 0666 : DefaultFileMode(hive);
}
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
  ~FileDescriptor() { Reset(); }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  int Get() const noexcept { return fd_; }
  explicit operator bool() const noexcept { return fd_ >= 0; }
  void Reset() noexcept {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

int FlockRetrying(int fd, int operation) {
  int r;
  do r = flock(fd, operation);
  while (r != 0 && errno == EINTR);
  return r;
}

// How long a transaction waits for a hive locked out of order (while it
// holds one that comes after it) before it assumes that the writer holding
// it waits for it in turn.
constexpr auto DeadlockWait = std::chrono::seconds(5);

class ExclusiveLock {
 public:
  // `mode` is what a new lock file gets, and what the user's always gets.
  // With `bounded`, gives up with ERROR_POSSIBLE_DEADLOCK after DeadlockWait.
  LONG Acquire(const std::string& lockPath, HiveId hive, bool bounded) {
    // Never through a symbolic link: one planted in its place could make a
    // privileged writer create or change the mode of any file.
    const int flags = O_CLOEXEC | O_NOFOLLOW;
    bool created = false;
    int fd = open(lockPath.c_str(), O_RDWR | flags);
    if (fd < 0 && errno == ENOENT) {
      fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_EXCL | flags, DefaultFileMode(hive));
      created = fd >= 0;
      if (fd < 0 && errno == EEXIST) fd = open(lockPath.c_str(), O_RDWR | flags);
    }
    // flock needs no write access, so a lock file others may not write
    // still serves.
    if (fd < 0 && errno == EACCES) fd = open(lockPath.c_str(), O_RDONLY | flags);
    if (fd < 0 && errno == ELOOP) {
      failureDetail = lockPath + ": a symbolic link stands in place of the lock file and is not followed; "
                                 "remove it";
      return ERROR_ACCESS_DENIED;
    }
    if (fd < 0) return Failure(lockPath, errno);
    fd_ = FileDescriptor(fd);
    struct stat st;
    if (fstat(fd, &st) != 0) return Failure(lockPath, errno);
    if (!S_ISREG(st.st_mode)) {
      failureDetail = lockPath + ": the lock file is not a regular file";
      return ERROR_ACCESS_DENIED;
    }
    // Exactly these rights, whatever the umask or an earlier mode.
    if (created || hive == HiveId::CurrentUser) SetMode(DefaultFileMode(hive));
    if (!bounded) {
      if (FlockRetrying(fd, LOCK_EX) != 0) return Failure(lockPath, errno);
      return ERROR_SUCCESS;
    }
    const auto giveUp = std::chrono::steady_clock::now() + DeadlockWait;
    while (FlockRetrying(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK) return Failure(lockPath, errno);
      if (std::chrono::steady_clock::now() >= giveUp) {
        failureDetail = lockPath + ": another writer kept the hive locked while this transaction held another "
                                   "hive; gave up so that neither waits for the other forever";
        return ERROR_POSSIBLE_DEADLOCK;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ERROR_SUCCESS;
  }

  // Through the descriptor, never the path. Only the owner (or root) may;
  // a lock file someone else owns serves as it is.
  void SetMode(mode_t mode) {
    struct stat st;
    if (!fd_ || fstat(fd_.Get(), &st) != 0 || (st.st_mode & 07777) == mode) return;
    if (st.st_uid == geteuid() || geteuid() == 0) (void)fchmod(fd_.Get(), mode);
  }

 private:
  FileDescriptor fd_;
};

// Folders made here get exactly `mode`, whatever the umask; the mode is set
// through the folder's own descriptor.
LONG MakeFolders(const std::string& folder, mode_t mode) {
  struct stat st;
  if (stat(folder.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return ERROR_SUCCESS;
    return Failure(folder, ENOTDIR);
  }
  if (errno != ENOENT) return Failure(folder, errno);
  std::string parent = Parent(folder);
  if (parent != folder) {
    if (LONG status = MakeFolders(parent, mode)) return status;
  }
  if (mkdir(folder.c_str(), mode) != 0) {
    if (errno == EEXIST) return ERROR_SUCCESS;
    return Failure(folder, errno);
  }
  FileDescriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (fd) (void)fchmod(fd.Get(), mode);
  return ERROR_SUCCESS;
}

struct LoadResult {
  LONG status = ERROR_SUCCESS;
  bool missing = false;
  std::unique_ptr<RegistryHive> hive;
  struct stat st {};
  std::string problem;
};

LoadResult LoadFile(const std::string& path, HiveId hive) {
  LoadResult result;
  auto fail = [&](int e) {
    result.status = ErrorFromErrno(e);
    result.problem = path + ": " + std::strerror(e);
    return std::move(result);
  };
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    if (errno != ENOENT) return fail(errno);
    result.missing = true;
    return result;
  }
  if (fstat(fd.Get(), &result.st) != 0) return fail(errno);
  if (!S_ISREG(result.st.st_mode)) {
    result.status = ERROR_REGISTRY_IO_FAILED;
    result.problem = path + ": " + (S_ISDIR(result.st.st_mode) ? std::strerror(EISDIR) : "not a regular file");
    return result;
  }
  std::string bytes;
  bytes.reserve(static_cast<size_t>(result.st.st_size));
  char buffer[65536];
  while (true) {
    ssize_t n = read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(errno);
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  std::string problem;
  result.hive = RegistryHive::Parse(bytes, HiveRootName(hive), &problem);
  if (!result.hive) {
    result.status = ERROR_REGISTRY_CORRUPT;
    // "line N: ..." reads as "<path>, line N: ...".
    result.problem = path + (problem.rfind("line ", 0) == 0 ? ", " : ": ") + problem;
  }
  return result;
}

// Left by a writer that died between creating and renaming its file; only
// called under the exclusive lock, when no writer can be midway.
void RemoveStaleTemporaries(const std::string& folder, const std::string& prefix) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> stale;
  while (dirent* entry = readdir(dir)) {
    if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0) stale.emplace_back(entry->d_name);
  }
  closedir(dir);
  for (const std::string& name : stale) (void)FileSystem::Remove(folder + "/" + name);
}

// A hive's new text, written and synced beside the file it replaces.
struct Replacement {
  std::string path;
  std::string temporary;
  FileDescriptor fd;
};

void DropReplacement(Replacement& r) {
  if (!r.temporary.empty()) (void)FileSystem::Remove(r.temporary);
  r.temporary.clear();
  r.fd.Reset();
}

LONG PrepareReplacement(const std::string& path, const std::string& bytes, mode_t mode, const struct stat* old,
                        Replacement& out) {
  out.path = path;
  std::string temporary = Parent(path) + "/." + BaseName(path) + ".tmp.XXXXXX";
  FileDescriptor fd(mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd) return Failure(temporary, errno);
  out.temporary = temporary;
  out.fd = std::move(fd);
  const int file = out.fd.Get();
  auto fail = [&](int e) {
    const LONG status = Failure(path, e);
    DropReplacement(out);
    return status;
  };
  if (FileSystem::WriteAll(file, bytes) != 0) return fail(errno);
  if (fchmod(file, mode) != 0) return fail(errno);
  if (old && geteuid() == 0) {
    // An administrator's change leaves the hive with its owner.
    if (fchown(file, old->st_uid, old->st_gid) != 0) return fail(errno);
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
    if (futimens(file, times) != 0) return fail(errno);
  }
  if (FileSystem::Sync(file) != 0) return fail(errno);
  return ERROR_SUCCESS;
}

// Renames the replacement into place; the old file stays whole until then.
// `stamp` receives the new file's.
LONG InstallReplacement(Replacement& r, std::unique_ptr<FileStamp>& stamp) {
  if (FileSystem::Rename(r.temporary, r.path) != 0) {
    const LONG status = Failure(r.path, errno);
    DropReplacement(r);
    return status;
  }
  r.temporary.clear();
  struct stat st;
  if (fstat(r.fd.Get(), &st) == 0) stamp = std::make_unique<FileStamp>(st);
  r.fd.Reset();
  return ERROR_SUCCESS;
}

// A hive opened for change: its lock held, its file read under it.
struct OpenHive {
  HiveId id = HiveId::CurrentUser;
  std::string path;
  ExclusiveLock lock;
  std::shared_ptr<RegistryHive> hive;
  bool missing = false;
  struct stat st {};
  bool changed = false;
};

LONG CheckWritable(const std::string& path);

LONG OpenForChange(HiveId hive, OpenHive& open, bool boundedWait) {
  open.id = hive;
  open.path = HivePath(hive);
  if (open.path.empty()) {
    failureDetail = std::string(HiveRootName(hive)) + " has no file: neither XDG_CONFIG_HOME nor HOME is set";
    return ERROR_PATH_NOT_FOUND;
  }
  if (LONG status = CheckWritable(open.path)) return status;
  const std::string folder = Parent(open.path);
  if (LONG status = MakeFolders(folder, DefaultFolderMode(hive))) return status;
  if (LONG status = open.lock.Acquire(open.path + ".lock", hive, boundedWait)) return status;
  RemoveStaleTemporaries(folder, "." + BaseName(open.path) + ".tmp.");
  LoadResult loaded = LoadFile(open.path, hive);
  if (loaded.status != ERROR_SUCCESS) {
    failureDetail = loaded.problem;
    return loaded.status;
  }
  open.missing = loaded.missing;
  open.st = loaded.st;
  open.hive = loaded.missing ? std::make_shared<RegistryHive>(HiveRootName(hive)) : std::move(loaded.hive);
  return ERROR_SUCCESS;
}

// Writes the changed hives, each with one rename; the renames only begin
// once every new text is written and synced, so a failure before them
// leaves every hive as it was.
LONG WriteHives(const std::vector<OpenHive*>& hives) {
  std::vector<Replacement> replacements(hives.size());
  auto dropAll = [&] {
    for (Replacement& r : replacements) DropReplacement(r);
  };
  for (size_t i = 0; i < hives.size(); ++i) {
    const OpenHive& h = *hives[i];
    const mode_t mode = FileMode(h.id, h.hive->AnyEveryone());
    if (LONG status = PrepareReplacement(h.path, h.hive->Serialize(), mode, h.missing ? nullptr : &h.st,
                                         replacements[i])) {
      dropAll();
      return status;
    }
  }
  std::vector<std::unique_ptr<FileStamp>> stamps(hives.size());
  for (size_t i = 0; i < hives.size(); ++i) {
    if (LONG status = InstallReplacement(replacements[i], stamps[i])) {
      dropAll();
      return status;
    }
  }
  for (size_t i = 0; i < hives.size(); ++i) {
    OpenHive& h = *hives[i];
    // The rename is done; a folder that cannot be synced does not undo it.
    (void)FileSystem::SyncFolder(Parent(h.path));
    // The lock file's rights follow the hive's: opened up with an everyone
    // key, private again without.
    h.lock.SetMode(FileMode(h.id, h.hive->AnyEveryone()));
    if (stamps[i]) CacheStore(h.path, *stamps[i], HiveSnapshot{ERROR_SUCCESS, h.hive, {}});
  }
  return ERROR_SUCCESS;
}

// The calling thread's open transaction: the hives it changed, each with
// its lock held until the transaction ends.
struct ThreadTransaction {
  bool active = false;
  bool abandoned = false;
  std::array<std::unique_ptr<OpenHive>, 3> hives;
};
thread_local ThreadTransaction transaction;

// A doomed transaction drops its copies and locks at once, so that a
// writer waiting for them goes on, and takes no more changes.
void Doom() {
  transaction.abandoned = true;
  for (auto& open : transaction.hives) open.reset();
}

constexpr const char* DoomedDetail = "the registry transaction was abandoned; nothing of it will be written";

LONG ChangeInTransaction(HiveId hive, const HiveChange& change) {
  if (transaction.abandoned) {
    failureDetail = DoomedDetail;
    return ERROR_TRANSACTION_ALREADY_ABORTED;
  }
  std::unique_ptr<OpenHive>& slot = transaction.hives[static_cast<size_t>(hive)];
  if (!slot) {
    // The hives are locked in one order (machine, users, current user): a
    // transaction waits as long as it takes for a hive after all it holds,
    // and only a while for one before them, so two transactions can never
    // wait for each other for good, and only the one out of order gives up.
    auto rank = [](HiveId id) { return id == HiveId::LocalMachine ? 0 : id == HiveId::Users ? 1 : 2; };
    bool outOfOrder = false;
    for (size_t i = 0; i < transaction.hives.size(); ++i)
      outOfOrder = outOfOrder || (transaction.hives[i] && rank(static_cast<HiveId>(i)) > rank(hive));
    auto opened = std::make_unique<OpenHive>();
    if (LONG status = OpenForChange(hive, *opened, outOfOrder)) {
      if (status == ERROR_POSSIBLE_DEADLOCK) Doom();
      return status;
    }
    slot = std::move(opened);
  }
  bool changed = false;
  if (LONG status = change(*slot->hive, changed)) return status;
  slot->changed = slot->changed || changed;
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

namespace {

HiveSnapshot ReadHiveFile(HiveId hive) {
  if (transaction.active) {
    if (const auto& open = transaction.hives[static_cast<size_t>(hive)]) return {ERROR_SUCCESS, open->hive, {}};
  }
  const std::string path = HivePath(hive);
  if (path.empty()) return {ERROR_SUCCESS, EmptyHive(hive), {}};
  // Readers take no lock: every writer renames a whole file into place, so
  // any open gives one whole version, and no reader waits for a writer,
  // however long its transaction. A rename between our stat and our open
  // only makes us look again.
  for (int attempt = 0; attempt < 5; ++attempt) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
      const int e = errno;
      if (e == ENOENT || e == ENOTDIR) return {ERROR_SUCCESS, EmptyHive(hive), {}};
      return {ErrorFromErrno(e), nullptr, path + ": " + std::strerror(e)};
    }
    HiveSnapshot snapshot;
    if (S_ISREG(st.st_mode) && CacheLookup(path, FileStamp(st), snapshot)) return snapshot;
    LoadResult loaded = LoadFile(path, hive);
    if (loaded.missing) continue;
    snapshot.status = loaded.status;
    snapshot.hive = std::move(loaded.hive);
    snapshot.problem = std::move(loaded.problem);
    if (loaded.status == ERROR_SUCCESS || loaded.status == ERROR_REGISTRY_CORRUPT)
      CacheStore(path, FileStamp(loaded.st), snapshot);
    return snapshot;
  }
  return {ERROR_REGISTRY_IO_FAILED, nullptr, path + ": replaced again and again while being read"};
}

LONG CheckWritable(const std::string& path) {
  if (access(path.c_str(), W_OK) != 0 && errno != ENOENT) return Failure(path, errno);
  std::string folder = Parent(path);
  struct stat st;
  while (stat(folder.c_str(), &st) != 0) {
    if (errno != ENOENT) return Failure(folder, errno);
    std::string parent = Parent(folder);
    if (parent == folder) return Failure(folder, ENOENT);
    folder = parent;
  }
  if (!S_ISDIR(st.st_mode)) return Failure(folder, ENOTDIR);
  if (access(folder.c_str(), W_OK | X_OK) != 0) return Failure(folder, errno);
  return ERROR_SUCCESS;
}

}  // namespace

HiveSnapshot ReadHive(HiveId hive) {
  HiveSnapshot snapshot = ReadHiveFile(hive);
  if (snapshot.status != ERROR_SUCCESS) failureDetail = snapshot.problem;
  return snapshot;
}

LONG CheckHiveWritable(HiveId hive) {
  const std::string path = HivePath(hive);
  if (path.empty()) return ERROR_PATH_NOT_FOUND;
  // An answer to "may I", not a failure: the detail stays as it was.
  const std::string saved = failureDetail;
  const LONG status = CheckWritable(path);
  failureDetail = saved;
  return status;
}

LONG ChangeHive(HiveId hive, const HiveChange& change) {
  if (transaction.active) return ChangeInTransaction(hive, change);
  OpenHive open;
  if (LONG status = OpenForChange(hive, open, false)) return status;
  bool changed = false;
  if (LONG status = change(*open.hive, changed)) return status;
  if (!changed) return ERROR_SUCCESS;
  return WriteHives({&open});
}

bool BeginHiveTransaction() {
  if (transaction.active) return false;
  transaction = ThreadTransaction{};
  transaction.active = true;
  return true;
}

LONG CommitHiveTransaction() {
  failureDetail.clear();
  // Taken off the thread first: whatever happens, the transaction is over
  // and its locks go with `ending`.
  ThreadTransaction ending = std::move(transaction);
  transaction = ThreadTransaction{};
  if (!ending.active) return ERROR_SUCCESS;
  if (ending.abandoned) {
    failureDetail = DoomedDetail;
    return ERROR_TRANSACTION_ALREADY_ABORTED;
  }
  std::vector<OpenHive*> changed;
  for (auto& open : ending.hives)
    if (open && open->changed) changed.push_back(open.get());
  if (changed.empty()) return ERROR_SUCCESS;
  return WriteHives(changed);
}

void DiscardHiveTransaction() { transaction = ThreadTransaction{}; }

void AbandonHiveTransaction() {
  if (transaction.active) Doom();
}

const std::string& FailureDetail() { return failureDetail; }
void ClearFailureDetail() { failureDetail.clear(); }
void SetFailureDetail(std::string detail) { failureDetail = std::move(detail); }

}  // namespace qx6::platform
