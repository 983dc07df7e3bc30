#include "runtime/RuntimeError.h"

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

namespace qx6 {

std::string RuntimeErrorDescription(int number) {
  switch (number) {
    case 5: return "Invalid procedure call or argument";
    case 6: return "Overflow";
    case 7: return "Out of memory";
    case 9: return "Subscript out of range";
    case 11: return "Division by zero";
    case 13: return "Type mismatch";
    case 18: return "User interrupt occurred";
    case 52: return "Bad file name or number";
    case 53: return "File not found";
    case 54: return "Bad file mode";
    case 55: return "File already open";
    case 57: return "Device I/O error";
    case 58: return "File already exists";
    case 61: return "Disk full";
    case 62: return "Input past end of file";
    case 67: return "Too many files";
    case 68: return "Device unavailable";
    case 70: return "Permission denied";
    case 75: return "Path/File access error";
    case 76: return "Path not found";
    case 91: return "Object variable or With block variable not set";
    case 94: return "Invalid use of Null";
    case 429: return "ActiveX component can't create object";
    case 438: return "Object doesn't support this property or method";
    case 457: return "This key is already associated with an element of this collection";
    default: return "Application-defined or object-defined error";
  }
}

RuntimeError::RuntimeError(int number) : RuntimeError(number, RuntimeErrorDescription(number)) {}

RuntimeError::RuntimeError(int number, std::string description, std::string source)
    : std::runtime_error(description),
      number_(number),
      description_(std::move(description)),
      source_(std::move(source)) {}

void Raise(int number) { throw RuntimeError(number); }
void Raise(int number, std::string description) { throw RuntimeError(number, std::move(description)); }

namespace {
bool ParentFolderExists(std::string_view path) {
  std::filesystem::path p{std::string(path)};
  auto parent = p.parent_path();
  if (parent.empty()) return true;
  struct stat st {};
  return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
}  // namespace

int RuntimeErrorFromErrno(int errnoValue, std::string_view path) {
  switch (errnoValue) {
    case ENOENT:
      return (path.empty() || ParentFolderExists(path)) ? RuntimeErrorNumber::FileNotFound
                                                        : RuntimeErrorNumber::PathNotFound;
    case ENOTDIR: return RuntimeErrorNumber::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return RuntimeErrorNumber::PermissionDenied;
    case EISDIR:
    case ETXTBSY:
    case EBUSY:
    case ENAMETOOLONG:
    case ELOOP: return RuntimeErrorNumber::PathFileAccessError;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return RuntimeErrorNumber::DiskFull;
    case EMFILE:
    case ENFILE: return RuntimeErrorNumber::TooManyFiles;
    case EBADF: return RuntimeErrorNumber::BadFileNameOrNumber;
    case ENOMEM: return 7;
    case EEXIST: return 58;
    default: return RuntimeErrorNumber::DeviceIoError;
  }
}

void RaiseFromErrno(int errnoValue, std::string_view path) {
  Raise(RuntimeErrorFromErrno(errnoValue, path));
}

void RaiseFromErrnoNaming(int errnoValue, const std::string& path) {
  const int number = RuntimeErrorFromErrno(errnoValue, path);
  Raise(number, RuntimeErrorDescription(number) + ": " + path);
}

}  // namespace qx6
