#include "platform/FileSystem.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace qx6::platform::FileSystem {
namespace {

struct CrashPlan {
  long at = 0;  // 0: never
  bool torn = false;
  CrashPlan() {
    if (const char* text = std::getenv("QX6_CRASH_AT"); text && *text) at = std::strtol(text, nullptr, 10);
    if (const char* text = std::getenv("QX6_CRASH_TORN")) torn = text[0] == '1';
  }
};

const CrashPlan& Plan() {
  static const CrashPlan plan;
  return plan;
}

std::atomic<long> changes{0};

}  // namespace

bool CrashDue(Change) {
  const long made = changes.fetch_add(1, std::memory_order_relaxed) + 1;
  return Plan().at > 0 && made == Plan().at;
}

bool TornWrites() { return Plan().torn; }

void Crash() {
  // No clean-up, no buffered output: as a kill -9 from outside would leave it.
  kill(getpid(), SIGKILL);
  _exit(137);
}

void CrashPoint(Change change) {
  if (CrashDue(change)) Crash();
}

long ChangesMade() { return changes.load(std::memory_order_relaxed); }

namespace {

int WriteLoop(int fd, const char* data, size_t size, off_t offset, bool positioned) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = positioned ? pwrite(fd, data + done, size - done, offset + static_cast<off_t>(done))
                                 : write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    done += static_cast<size_t>(n);
  }
  return 0;
}

int Write(int fd, const void* data, size_t size, off_t offset, bool positioned) {
  const char* bytes = static_cast<const char*>(data);
  if (CrashDue(Change::Write)) {
    if (TornWrites()) WriteLoop(fd, bytes, size / 2, offset, positioned);
    Crash();
  }
  return WriteLoop(fd, bytes, size, offset, positioned);
}

}  // namespace

int WriteAll(int fd, const void* data, size_t size) { return Write(fd, data, size, 0, false); }

int WriteAllAt(int fd, const void* data, size_t size, off_t offset) { return Write(fd, data, size, offset, true); }

int Sync(int fd) {
  CrashPoint(Change::Sync);
  int r;
  do r = fsync(fd);
  while (r != 0 && errno == EINTR);
  return r;
}

int SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  const int r = Sync(fd);
  const int saved = errno;
  close(fd);
  errno = saved;
  return r;
}

int Rename(const std::string& from, const std::string& to) {
  CrashPoint(Change::Rename);
  return rename(from.c_str(), to.c_str());
}

int Remove(const std::string& path) {
  CrashPoint(Change::Remove);
  return unlink(path.c_str());
}

int Truncate(int fd, off_t size) {
  CrashPoint(Change::Truncate);
  int r;
  do r = ftruncate(fd, size);
  while (r != 0 && errno == EINTR);
  return r;
}

int ReplaceWhole(const std::string& path, std::string_view bytes, mode_t mode) {
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  std::string temporary = folder + "/." + path.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  const bool written = WriteAll(fd, bytes) == 0 && fchmod(fd, mode) == 0 && Sync(fd) == 0;
  int error = errno;
  close(fd);
  if (written && Rename(temporary, path) == 0) {
    (void)SyncFolder(folder);  // the rename is done; a folder that cannot be synced does not undo it
    return 0;
  }
  if (written) error = errno;
  unlink(temporary.c_str());
  errno = error;
  return -1;
}

}  // namespace qx6::platform::FileSystem
