#include "platform/ShellFolders.h"

#include <gtest/gtest.h>

#include "platform/FileAttributes.h"
#include "tests/support/TestEnvironment.h"

namespace qx6::platform {
namespace {

using test::ScopedEnv;
using test::TempFolder;

class ShellFoldersTest : public ::testing::Test {
 protected:
  std::string Home() const { return root_ / "home"; }
  void UserDirs(const std::string& text) { test::WriteFile(Home() + "/.config/user-dirs.dirs", text); }
  static void ExpectFolders(const std::vector<std::pair<int, std::string>>& folders) {
    for (const auto& [id, path] : folders) EXPECT_EQ(SHGetSpecialFolderPath(id), path) << "CSIDL 0x" << std::hex << id;
  }

  TempFolder root_;
  ScopedEnv home_{"HOME", root_ / "home"};
  ScopedEnv config_{"XDG_CONFIG_HOME", nullptr};
  ScopedEnv data_{"XDG_DATA_HOME", nullptr};
  ScopedEnv cache_{"XDG_CACHE_HOME", nullptr};
  ScopedEnv dataDirs_{"XDG_DATA_DIRS", nullptr};
};

TEST_F(ShellFoldersTest, WithoutUserDirsTheUsualFoldersBelowHomeAndWithoutHomeNothing) {
  // Flags in the high byte do not change the folder.
  ExpectFolders({{CSIDL_PERSONAL, Home() + "/Documents"}, {CSIDL_APPDATA, Home() + "/.config"},
                 {CSIDL_LOCAL_APPDATA, Home() + "/.local/share"}, {CSIDL_COMMON_APPDATA, "/usr/local/share"},
                 {CSIDL_PERSONAL | CSIDL_FLAG_DONT_VERIFY, Home() + "/Documents"}});
  ScopedEnv data("XDG_DATA_HOME", root_ / "data");
  ScopedEnv dirs("XDG_DATA_DIRS", "/usr/share:/usr/local/share");
  ExpectFolders({{CSIDL_LOCAL_APPDATA, root_ / "data"}, {CSIDL_COMMON_APPDATA, "/usr/share"}});
  // Unknown identifiers, and any without a home, give nothing.
  ExpectFolders({{0x24, ""}, {0x7F, ""}});  // 0x24, CSIDL_WINDOWS, has no counterpart
  ScopedEnv noHome("HOME", nullptr);
  ExpectFolders({{CSIDL_PERSONAL, ""}, {CSIDL_APPDATA, ""}});
}

TEST_F(ShellFoldersTest, CreateMakesTheFolderFileAttributesTellFilesFromFoldersAndUserDirsAreRead) {
  const std::string documents = Home() + "/Documents";
  EXPECT_EQ(GetFileAttributes(documents), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(SHGetSpecialFolderPath(CSIDL_PERSONAL | CSIDL_FLAG_CREATE), documents);
  EXPECT_EQ(GetFileAttributes(documents), FILE_ATTRIBUTE_DIRECTORY);
  test::WriteFile(Home() + "/file.txt", "x");
  test::WriteFile(Home() + "/.hidden", "x");
  EXPECT_TRUE(GetFileAttributes(Home() + "/.hidden") & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ((std::vector<DWORD>{GetFileAttributes(Home() + "/file.txt"), GetFileAttributes(Home()),
                                GetFileAttributes(Home() + "/"), GetFileAttributes(Home() + "/missing"),
                                GetFileAttributes("")}),
            (std::vector<DWORD>{FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY,
                                INVALID_FILE_ATTRIBUTES, INVALID_FILE_ATTRIBUTES}));
  EXPECT_TRUE(CreateDirectory(Home() + "/new"));
  EXPECT_FALSE(CreateDirectory(Home() + "/new"));
  EXPECT_FALSE(CreateDirectory(Home() + "/a/b"));
  EXPECT_TRUE(DeleteFile(Home() + "/file.txt"));
  EXPECT_FALSE(DeleteFile(Home() + "/file.txt"));
  // Documents come from user-dirs.dirs, with the home expanded.
  UserDirs("# written by xdg-user-dirs-update\n"
           "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente/\"\n"
           "XDG_MUSIC_DIR=\"/srv/music\"\nXDG_PICTURES_DIR=\"relative/is/refused\"\n");
  ExpectFolders({{CSIDL_PERSONAL, Home() + "/Dokumente"}, {CSIDL_DESKTOP, Home() + "/Schreibtisch"},
                 {CSIDL_MYMUSIC, "/srv/music"}, {CSIDL_MYPICTURES, Home() + "/Pictures"}});

  // XDG_CONFIG_HOME says where user-dirs.dirs is.
  ScopedEnv config("XDG_CONFIG_HOME", root_ / "elsewhere");
  test::WriteFile(root_ / "elsewhere/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"${HOME}/Docs\"\n");
  EXPECT_EQ(SHGetSpecialFolderPath(CSIDL_PERSONAL), Home() + "/Docs");
}

}  // namespace
}  // namespace qx6::platform
