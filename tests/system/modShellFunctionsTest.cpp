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

// Which folder each identifier names, with or without a trailing
// separator, is the shell folders' test.
TEST_F(modShellFunctionsTest, CreateFolderPathMakesEveryMissingLevelAndIsValidFilePathTellsExistingFromCreatable) {
  EXPECT_EQ(modShellFunctions::GetDocumentsFolder(), env.Documents());
  const std::string path = env.Root() + "/a/b/c/d";
  EXPECT_TRUE(modShellFunctions::CreateFolderPath(path));
  EXPECT_TRUE(std::filesystem::is_directory(path));
  EXPECT_TRUE(modShellFunctions::CreateFolderPath(path));  // already there
  EXPECT_TRUE(modShellFunctions::CreateFolderPath(env.Root() + "/x/y/"));
  EXPECT_TRUE(std::filesystem::is_directory(env.Root() + "/x/y"));
  const auto previous = std::filesystem::current_path();  // a relative path from the current folder
  std::filesystem::current_path(env.Root());
  EXPECT_TRUE(modShellFunctions::CreateFolderPath("rel/one"));
  std::filesystem::current_path(previous);
  EXPECT_TRUE(std::filesystem::is_directory(env.Root() + "/rel/one"));
  // An existing file is a path that exists; a file in the way of a level is
  // False, and the levels before it stay.
  const std::string file = env.Root() + "/made/file";
  test::WriteFile(file, "x");
  EXPECT_TRUE(modShellFunctions::CreateFolderPath(file));
  EXPECT_TRUE(std::filesystem::is_regular_file(file));
  EXPECT_FALSE(modShellFunctions::CreateFolderPath(file + "/below"));
  EXPECT_TRUE(std::filesystem::is_directory(env.Root() + "/made"));
  EXPECT_FALSE(modShellFunctions::CreateFolderPath(""));
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
  check("", false, false, false);
}

}  // namespace
}  // namespace qx6
