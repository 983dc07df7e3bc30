// A test with a registry of its own: both hives in a private folder.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/support/TestEnvironment.h"

namespace qx6::test {

class RegistryFolderTest : public ::testing::Test {
 protected:
  std::string Folder() const { return root_ / "registry"; }
  std::string UserHive() const { return Folder() + "/HKEY_CURRENT_USER.reg"; }
  std::string MachineHive() const { return Folder() + "/HKEY_LOCAL_MACHINE.reg"; }

  TempFolder root_;
  ScopedEnv dir_{"QX6_REGISTRY_DIR", root_ / "registry"};
};

}  // namespace qx6::test
