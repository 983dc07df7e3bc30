#include "runtime/TextFile.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/CodePage.h"
#include "runtime/RuntimeError.h"

namespace qx6::TextFile {
namespace {

constexpr size_t kBufferSize = 64 * 1024;
constexpr int kMaxFiles = 255;

enum class Mode { Output, Append, Input };

struct OpenFile {
  int fd = -1;
  Mode mode = Mode::Input;
  std::string path;
  const CodePageConverter* converter = nullptr;
  dev_t device = 0;
  ino_t inode = 0;
  // Output: bytes not yet written.
  std::string pending;
  // Input: bytes read ahead, [readAt, readEnd) not yet handed out.
  std::unique_ptr<char[]> input;
  size_t readAt = 0, readEnd = 0;
  bool endOfFile = false;
  bool atStart = true;

  bool Writing() const { return mode != Mode::Input; }
};

int Flush(OpenFile& file);

// Files a thread leaves open are flushed and closed when it ends.
struct Table {
  std::array<std::unique_ptr<OpenFile>, kMaxFiles + 1> files;
  ~Table() {
    for (auto& file : files) {
      if (!file) continue;
      if (file->Writing()) Flush(*file);
      ::close(file->fd);
    }
  }
};

Table& Files() {
  thread_local Table table;
  return table;
}

std::unique_ptr<OpenFile>& Slot(int16_t fileNumber) {
  if (fileNumber < 1 || fileNumber > kMaxFiles) Raise(RuntimeErrorNumber::BadFileNameOrNumber);
  return Files().files[static_cast<size_t>(fileNumber)];
}

OpenFile& Opened(int16_t fileNumber) {
  auto& slot = Slot(fileNumber);
  if (!slot) Raise(RuntimeErrorNumber::BadFileNameOrNumber);
  return *slot;
}

constexpr int kBadFileMode = 54;

OpenFile& Writable(int16_t fileNumber) {
  OpenFile& file = Opened(fileNumber);
  if (!file.Writing()) Raise(kBadFileMode);
  return file;
}

OpenFile& Readable(int16_t fileNumber) {
  OpenFile& file = Opened(fileNumber);
  if (file.Writing()) Raise(kBadFileMode);
  return file;
}

// Writes out what is pending; 0 or the errno of the failure, with the bytes
// that did not reach the file kept.
int Flush(OpenFile& file) {
  size_t done = 0;
  int error = 0;
  while (done < file.pending.size()) {
    ssize_t n = ::write(file.fd, file.pending.data() + done, file.pending.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      error = n == 0 ? ENOSPC : errno;
      break;
    }
  }
  file.pending.erase(0, done);
  if (file.pending.capacity() > 4 * kBufferSize && file.pending.empty()) {
    file.pending = std::string();
    file.pending.reserve(kBufferSize);
  }
  return error;
}

void FlushOrRaise(OpenFile& file) {
  if (int error = Flush(file)) RaiseFromErrno(error, file.path);
}

// Output and append need the file to themselves; input may share it with
// other inputs, as the original runtime allowed.
void CheckNotOpenElsewhere(const std::string& path, Mode mode) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return;
  for (const auto& other : Files().files) {
    if (other && other->device == st.st_dev && other->inode == st.st_ino &&
        (mode != Mode::Input || other->Writing()))
      Raise(RuntimeErrorNumber::FileAlreadyOpen);
  }
}

void Open(int16_t fileNumber, const std::string& path, Mode mode) {
  auto& slot = Slot(fileNumber);
  if (slot) Raise(RuntimeErrorNumber::FileAlreadyOpen);
  if (path.empty()) Raise(RuntimeErrorNumber::PathFileAccessError);
  CheckNotOpenElsewhere(path, mode);
  const CodePageConverter& converter = CodePage::AnsiConverter();
  int flags = O_CLOEXEC;
  switch (mode) {
    // O_TRUNC takes effect only once the open has succeeded, so a file the
    // user may not write is never emptied.
    case Mode::Output: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case Mode::Append: flags |= O_WRONLY | O_CREAT | O_APPEND; break;
    case Mode::Input: flags |= O_RDONLY; break;
  }
  int fd;
  do fd = ::open(path.c_str(), flags, 0666);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) RaiseFromErrno(errno, path);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    RaiseFromErrno(error, path);
  }
  auto file = std::make_unique<OpenFile>();
  file->fd = fd;
  file->mode = mode;
  file->path = path;
  file->converter = &converter;
  file->device = st.st_dev;
  file->inode = st.st_ino;
  if (mode == Mode::Input) file->input = std::make_unique<char[]>(kBufferSize);
  else file->pending.reserve(kBufferSize);
  slot = std::move(file);
}

// Reads the next block; false at the end of the file.
bool Fill(OpenFile& file) {
  if (file.endOfFile) return false;
  ssize_t n;
  do n = ::read(file.fd, file.input.get(), kBufferSize);
  while (n < 0 && errno == EINTR);
  if (n < 0) RaiseFromErrno(errno, file.path);
  file.readAt = 0;
  file.readEnd = static_cast<size_t>(n);
  if (n == 0) file.endOfFile = true;
  if (file.atStart && n > 0) {
    file.atStart = false;
    // A UTF-8 file may start with a byte-order mark, which is no text.
    if (file.converter->CodePage() == 65001 && n >= 3 && std::memcmp(file.input.get(), "\xEF\xBB\xBF", 3) == 0)
      file.readAt = 3;
  }
  return n > 0;
}

bool Available(OpenFile& file) { return file.readAt < file.readEnd || Fill(file); }

}  // namespace

int16_t FreeFile() {
  auto& files = Files().files;
  for (int n = 1; n <= kMaxFiles; ++n)
    if (!files[static_cast<size_t>(n)]) return static_cast<int16_t>(n);
  Raise(RuntimeErrorNumber::TooManyFiles);
}

void OpenForOutput(int16_t fileNumber, const std::string& path) { Open(fileNumber, path, Mode::Output); }
void OpenForAppend(int16_t fileNumber, const std::string& path) { Open(fileNumber, path, Mode::Append); }
void OpenForInput(int16_t fileNumber, const std::string& path) { Open(fileNumber, path, Mode::Input); }

void Write(int16_t fileNumber, std::string_view text) {
  OpenFile& file = Writable(fileNumber);
  file.converter->Encode(text, file.pending);
  if (file.pending.size() >= kBufferSize) FlushOrRaise(file);
}

void WriteBytes(int16_t fileNumber, std::string_view bytes) {
  OpenFile& file = Writable(fileNumber);
  file.pending.append(bytes);
  if (file.pending.size() >= kBufferSize) FlushOrRaise(file);
}

void WriteLine(int16_t fileNumber, std::string_view text) {
  OpenFile& file = Writable(fileNumber);
  file.converter->Encode(text, file.pending);
  file.pending += "\r\n";
  if (file.pending.size() >= kBufferSize) FlushOrRaise(file);
}

bool ReadLine(int16_t fileNumber, std::string& line) {
  OpenFile& file = Readable(fileNumber);
  line.clear();
  if (!Available(file)) return false;
  thread_local std::string raw;
  raw.clear();
  while (Available(file)) {
    const char* begin = file.input.get() + file.readAt;
    size_t size = file.readEnd - file.readAt;
    const auto* cr = static_cast<const char*>(std::memchr(begin, '\r', size));
    if (!cr) {
      raw.append(begin, size);
      file.readAt = file.readEnd;
      continue;
    }
    raw.append(begin, static_cast<size_t>(cr - begin));
    file.readAt += static_cast<size_t>(cr - begin) + 1;
    // CR LF is one line end, even when the LF lies in the next block.
    if (Available(file) && file.input[file.readAt] == '\n') ++file.readAt;
    break;
  }
  file.converter->Decode(raw, line);
  return true;
}

bool AtEnd(int16_t fileNumber) {
  OpenFile& file = Opened(fileNumber);
  if (file.Writing()) return true;
  return !Available(file);
}

void Close(int16_t fileNumber) {
  std::unique_ptr<OpenFile> file = std::move(Slot(fileNumber));
  if (!file) Raise(RuntimeErrorNumber::BadFileNameOrNumber);
  int error = file->Writing() ? Flush(*file) : 0;
  // close() can report a failed delayed write (NFS, quotas).
  if (::close(file->fd) != 0 && errno != EINTR && error == 0 && file->Writing()) error = errno;
  if (error) RaiseFromErrno(error, file->path);
}

void CloseAll() noexcept {
  for (int n = 1; n <= kMaxFiles; ++n) {
    try {
      if (IsOpen(static_cast<int16_t>(n))) Close(static_cast<int16_t>(n));
    } catch (...) {
    }
  }
}

bool IsOpen(int16_t fileNumber) noexcept {
  if (fileNumber < 1 || fileNumber > kMaxFiles) return false;
  return static_cast<bool>(Files().files[static_cast<size_t>(fileNumber)]);
}

}  // namespace qx6::TextFile
