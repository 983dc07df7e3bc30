#include "system/modShellFunctions.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/ShellFolders.h"
#include "tests/support/TestEnvironment.h"

namespace qx6 {
namespace {

class modShellFunctionsTest : public ::testing::Test {
 protected:
  test::TestEnvironment env;
};

TEST_F(modShellFunctionsTest, DocumentsFolderIsTheXdgOneWithoutTrailingSeparator) {
  EXPECT_EQ(modShellFunctions::GetDocumentsFolder(), env.Documents());
  test::WriteFile(env.Home() + "/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Papiers/\"\n");
  EXPECT_EQ(modShellFunctions::GetDocumentsFolder(), env.Home() + "/Papiers");
  EXPECT_EQ(modShellFunctions::GetSpecialFolderPath(platform::CSIDL_APPDATA), env.Home() + "/.config");
  EXPECT_EQ(modShellFunctions::GetSpecialFolderPath(0x24), "");
  test::ScopedEnv noHome("HOME", nullptr);
  test::ScopedEnv noConfig("XDG_CONFIG_HOME", nullptr);
  EXPECT_EQ(modShellFunctions::GetDocumentsFolder(), "");
}

TEST_F(modShellFunctionsTest, CreateFolderPathMakesEveryMissingLevel) {
  const std::string path = env.Root() + "/a/b/c/d";
  EXPECT_TRUE(modShellFunctions::CreateFolderPath(path));
  EXPECT_TRUE(std::filesystem::is_directory(path));
  // With a trailing separator, and when it is already there.
  EXPECT_TRUE(modShellFunctions::CreateFolderPath(env.Root() + "/x/y/"));
  EXPECT_TRUE(std::filesystem::is_directory(env.Root() + "/x/y"));
  EXPECT_TRUE(modShellFunctions::CreateFolderPath(path));
  // A relative path works from the current folder.
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(env.Root());
  EXPECT_TRUE(modShellFunctions::CreateFolderPath("rel/one"));
  std::filesystem::current_path(previous);
  EXPECT_TRUE(std::filesystem::is_directory(env.Root() + "/rel/one"));
}

TEST_F(modShellFunctionsTest, CreateFolderPathOnAFileOrABlockedPath) {
  const std::string file = env.Root() + "/file.txt";
  test::WriteFile(file, "x");
  EXPECT_TRUE(modShellFunctions::CreateFolderPath(file));
  EXPECT_TRUE(std::filesystem::is_regular_file(file));
  // A file in the way of a level: the levels before it stay, the result is False.
  test::WriteFile(env.Root() + "/made/file", "x");
  EXPECT_FALSE(modShellFunctions::CreateFolderPath(env.Root() + "/made/file/below"));
  EXPECT_TRUE(std::filesystem::is_directory(env.Root() + "/made"));
  EXPECT_FALSE(modShellFunctions::CreateFolderPath(""));
}

TEST_F(modShellFunctionsTest, IsValidFilePathTellsExistingFromCreatable) {
  const std::string fresh = env.Root() + "/out.csv";
  // `existed` is set to `before` ahead of the call.
  auto check = [](const std::string& path, bool valid, bool before, bool existed) {
    bool found = before;
    EXPECT_EQ(modShellFunctions::IsValidFilePath(path, found), valid) << path;
    EXPECT_EQ(found, existed) << path;
  };
  check(fresh, true, true, false);
  EXPECT_FALSE(std::filesystem::exists(fresh));
  test::WriteFile(fresh, "rows");
  check(fresh, true, false, true);
  EXPECT_EQ(test::ReadFile(fresh), "rows");
  check(env.Root(), false, true, true);
  check(env.Root() + "/missing/out.csv", false, false, false);
  EXPECT_FALSE(std::filesystem::exists(env.Root() + "/missing"));
  bool existed = false;
  EXPECT_FALSE(modShellFunctions::IsValidFilePath("", existed));
}

}  // namespace
}  // namespace qx6
