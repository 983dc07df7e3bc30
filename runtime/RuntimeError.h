// Runtime errors as the original's language runtime raised them: a number and
// a description, carried through C++ exceptions inside the component and
// turned into a status code with error information at the interface boundary.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace qx6 {

namespace RuntimeErrorNumber {
inline constexpr int InvalidProcedureCall = 5;
inline constexpr int Overflow = 6;
inline constexpr int SubscriptOutOfRange = 9;
inline constexpr int TypeMismatch = 13;
inline constexpr int UserInterrupt = 18;
inline constexpr int BadFileNameOrNumber = 52;
inline constexpr int FileNotFound = 53;
inline constexpr int FileAlreadyOpen = 55;
inline constexpr int DeviceIoError = 57;
inline constexpr int DiskFull = 61;
inline constexpr int TooManyFiles = 67;
inline constexpr int PermissionDenied = 70;
inline constexpr int PathFileAccessError = 75;
inline constexpr int PathNotFound = 76;
inline constexpr int InvalidUseOfNull = 94;
inline constexpr int DuplicateKey = 457;
}  // namespace RuntimeErrorNumber

class RuntimeError : public std::runtime_error {
 public:
  // The description defaults to the runtime's own text for the number.
  explicit RuntimeError(int number);
  RuntimeError(int number, std::string description, std::string source = {});

  int Number() const noexcept { return number_; }
  const std::string& Description() const noexcept { return description_; }
  const std::string& Source() const noexcept { return source_; }
  // Where the error arose, beyond what the number and description say (the
  // file and line, the output column); the standard text stays as it is.
  // The innermost place that knows sets it; outer ones keep it.
  const std::string& Detail() const noexcept { return detail_; }
  void SetDetail(std::string detail) {
    if (detail_.empty()) detail_ = std::move(detail);
  }

 private:
  int number_;
  std::string description_;
  std::string source_;
  std::string detail_;
};

// The runtime's text for an error number ("Application-defined or
// object-defined error" for numbers it does not know).
std::string RuntimeErrorDescription(int number);

[[noreturn]] void Raise(int number);
[[noreturn]] void Raise(int number, std::string description);

// Maps an errno value from a file-system call to the runtime error number:
// ENOENT on the file itself is 53, on a folder of its path 76, EACCES 70 or
// 75, ENOSPC 61, EMFILE 67, and so on. `path` decides between 53 and 76.
int RuntimeErrorFromErrno(int errnoValue, std::string_view path = {});
[[noreturn]] void RaiseFromErrno(int errnoValue, std::string_view path = {});
// The same error with the path after the standard text, as the host reports
// its own files ("Permission denied: /srv/jobs.db").
[[noreturn]] void RaiseFromErrnoNaming(int errnoValue, const std::string& path);

}  // namespace qx6
