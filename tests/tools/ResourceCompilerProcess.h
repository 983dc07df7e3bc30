// Runs the built resource compiler (QX6RC_PATH) as a separate process, as
// the build and a translator do, and collects its exit status and messages.
#pragma once

#include <string>

#include "tests/support/TestEnvironment.h"

namespace qx6::test {

struct CompilerRun {
  int status = -1;  // exit status, -1 when it did not exit normally
  std::string messages;  // what it wrote to stderr
};

// qx6rc <arguments> with stderr captured into `scratch`.
inline CompilerRun RunResourceCompiler(const std::string& arguments, const TempFolder& scratch) {
  const std::string errors = scratch / "qx6rc.stderr";
  std::string command = ShellQuote(QX6RC_PATH) + " " + arguments + " 2>" + ShellQuote(errors) + " >/dev/null";
  const int status = RunShell(command);
  return {status, FileExists(errors) ? ReadFile(errors) : ""};
}

inline CompilerRun Compile(const std::string& source, const std::string& output, const TempFolder& scratch) {
  return RunResourceCompiler(ShellQuote(source) + " -o " + ShellQuote(output), scratch);
}

}  // namespace qx6::test
