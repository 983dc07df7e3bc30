// A private world for one test: a temporary HOME with its XDG folders, a
// registry folder of its own and the component pointed at a product folder,
// all put back when the test ends.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qx6::test {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ScopedEnv(const char* name, std::nullptr_t);  // unsets it
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

// HOME, XDG_CONFIG_HOME, XDG_DOCUMENTS_DIR (through user-dirs.dirs absent:
// $HOME/Documents) and QX6_REGISTRY_DIR inside one temporary folder.
class TestEnvironment {
 public:
  TestEnvironment();

  const std::string& Root() const { return root_.Path(); }
  std::string Home() const { return root_ / "home"; }
  std::string Documents() const { return Home() + "/Documents"; }
  std::string ConfigFolder() const { return Documents() + "/Quorvex Inc/Quorvex/6.0/FlatFileExport/"; }
  std::string RegistryFolder() const { return root_ / "registry"; }

 private:
  TempFolder root_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// `s` in single quotes, safe in a shell command.
std::string ShellQuote(const std::string& s);
// Runs `command` with the shell: its exit status, -1 when it did not exit.
int RunShell(const std::string& command);
// The same, and what it printed on both streams.
std::pair<int, std::string> Shell(const std::string& command);
// Runs `body` in a child process: its exit code, -1 when it did not exit.
// With `unprivileged` a root process's child first becomes the user nobody
// (65534), so that file permissions bind it as they bind any user; 255 when
// it cannot.
int RunInChild(const std::function<int()>& body, bool unprivileged = false);

}  // namespace qx6::test
