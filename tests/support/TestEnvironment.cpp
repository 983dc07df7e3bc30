#include "tests/support/TestEnvironment.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace qx6::test {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "qx6test.XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, nullptr) {
  setenv(name, value.c_str(), 1);
}

ScopedEnv::ScopedEnv(const char* name, std::nullptr_t)
    : name_(name), had_(std::getenv(name) != nullptr), old_(had_ ? std::getenv(name) : "") {
  unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (had_) setenv(name_.c_str(), old_.c_str(), 1);
  else unsetenv(name_.c_str());
}

TestEnvironment::TestEnvironment() {
  std::filesystem::create_directories(Home() + "/.config");
  std::filesystem::create_directories(Documents());
  std::filesystem::create_directories(RegistryFolder());
  env_.push_back(std::make_unique<ScopedEnv>("HOME", Home()));
  env_.push_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", Home() + "/.config"));
  env_.push_back(std::make_unique<ScopedEnv>("XDG_DATA_HOME", Home() + "/.local/share"));
  env_.push_back(std::make_unique<ScopedEnv>("QX6_REGISTRY_DIR", RegistryFolder()));
  // Never the real user's service manager: timers are only written.
  env_.push_back(std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", nullptr));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

int RunShell(const std::string& command) {
  const int status = std::system(command.c_str());
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::pair<int, std::string> Shell(const std::string& command) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, "cannot run " + command};
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

int RunInChild(const std::function<int()>& body, bool unprivileged) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (unprivileged && geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
      _exit(255);
    _exit(body() & 0xFF);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace qx6::test
