// A fault in a resource script, located by file and line. qx6rc prints it as
// "file:line: message" and writes no output.
#pragma once

#include <stdexcept>
#include <string>

namespace qx6::rc {

class SourceError : public std::runtime_error {
 public:
  SourceError(std::string file, int line, const std::string& message)
      : std::runtime_error(file + ":" + std::to_string(line) + ": " + message),
        file_(std::move(file)),
        line_(line) {}

  const std::string& File() const noexcept { return file_; }
  int Line() const noexcept { return line_; }

 private:
  std::string file_;
  int line_;
};

}  // namespace qx6::rc
