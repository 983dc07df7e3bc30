// A test with a registry of its own: both hives in a private folder, and the
// small reads, writes and child processes the registry tests share.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "tests/platform/RegistryValues.h"
#include "tests/support/TestEnvironment.h"

namespace qx6::test {

// Runs `body` in a child process; Wait gives its exit code, 200 when it did not exit.
inline pid_t Spawn(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}
inline int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

class RegistryFolderTest : public ::testing::Test {
 protected:
  std::string Folder() const { return root_ / "registry"; }
  std::string UserHive() const { return Folder() + "/HKEY_CURRENT_USER.reg"; }
  std::string MachineHive() const { return Folder() + "/HKEY_LOCAL_MACHINE.reg"; }
  // No temporary file of an interrupted write is left in the folder.
  void ExpectNoTemporaryFiles() const {
    for (const auto& entry : std::filesystem::directory_iterator(Folder()))
      EXPECT_EQ(entry.path().filename().string().find(".tmp."), std::string::npos) << entry.path();
  }

  TempFolder root_;
  ScopedEnv dir_{"QX6_REGISTRY_DIR", root_ / "registry"};
};

}  // namespace qx6::test
