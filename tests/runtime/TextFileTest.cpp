#include "runtime/TextFile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <vector>
#include <unistd.h>

#include <gtest/gtest.h>

#include "runtime/CodePage.h"
#include "runtime/RuntimeError.h"

namespace qx6 {
namespace {

namespace fs = std::filesystem;
using namespace TextFile;

int ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    return e.Number();
  }
  return 0;
}

class TextFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qx6-textfile-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    if (const char* old = std::getenv("QX6_ANSI_CODEPAGE")) oldCodePage_ = old;
    setenv("QX6_ANSI_CODEPAGE", "1252", 1);
    CodePage::Reset();
  }
  void TearDown() override {
    CloseAll();
    if (oldCodePage_.empty()) unsetenv("QX6_ANSI_CODEPAGE");
    else setenv("QX6_ANSI_CODEPAGE", oldCodePage_.c_str(), 1);
    CodePage::Reset();
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, ignored);
    fs::remove_all(dir_, ignored);
  }
  std::string Path(const std::string& name) const { return (fs::path(dir_) / name).string(); }
  static std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static void Put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  std::vector<std::string> Lines(const std::string& path) {
    int16_t n = FreeFile();
    OpenForInput(n, path);
    std::vector<std::string> lines;
    std::string line;
    while (ReadLine(n, line)) lines.push_back(line);
    Close(n);
    return lines;
  }

  std::string dir_;
  std::string oldCodePage_;
};

using Lines_ = std::vector<std::string>;

TEST_F(TextFileTest, LineEnds) {
  Put(Path("a.txt"), "one\r\ntwo\rthree\nstill three\r\n\r\nlast");
  EXPECT_EQ(Lines(Path("a.txt")), (Lines_{"one", "two", "three\nstill three", "", "last"}));
  Put(Path("b.txt"), "only\r\n");
  EXPECT_EQ(Lines(Path("b.txt")), (Lines_{"only"}));
  Put(Path("c.txt"), "");
  EXPECT_EQ(Lines(Path("c.txt")), Lines_{});
  Put(Path("d.txt"), "\r");
  EXPECT_EQ(Lines(Path("d.txt")), (Lines_{""}));
}

TEST_F(TextFileTest, LineEndAcrossTheReadBuffer) {
  // CR as the last byte of one 64 KiB block and LF as the first of the next.
  std::string first(65535, 'x');
  Put(Path("long.txt"), first + "\r\nnext\r\n");
  Lines_ lines = Lines(Path("long.txt"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], first);
  EXPECT_EQ(lines[1], "next");
}

TEST_F(TextFileTest, AtEndAfterTheLastLine) {
  Put(Path("a.txt"), "x\r\n");
  OpenForInput(1, Path("a.txt"));
  std::string line;
  EXPECT_FALSE(AtEnd(1));
  EXPECT_TRUE(ReadLine(1, line));
  EXPECT_TRUE(AtEnd(1));
  EXPECT_FALSE(ReadLine(1, line));
  Close(1);
}

TEST_F(TextFileTest, OutputEmptiesAndAppendKeeps) {
  std::string path = Path("out.txt");
  Put(path, "old content");
  OpenForOutput(1, path);
  Write(1, "new");
  Close(1);
  EXPECT_EQ(Bytes(path), "new");
  OpenForAppend(1, path);
  WriteLine(1, " more");
  Write(1, "end");
  Close(1);
  EXPECT_EQ(Bytes(path), "new more\r\nend");
  OpenForAppend(2, Path("fresh.txt"));  // append creates
  Write(2, "x");
  Close(2);
  EXPECT_EQ(Bytes(Path("fresh.txt")), "x");
}

TEST_F(TextFileTest, AnsiCodePageOnDisk) {
  std::string path = Path("ansi.txt");
  OpenForOutput(1, path);
  Write(1, "Gr\u00FC\u00DFe \u20AC \u0100");
  WriteBytes(1, "|\xE9");
  Close(1);
  EXPECT_EQ(Bytes(path), "Gr\xFC\xDF" "e \x80 ?|\xE9");
  EXPECT_EQ(Lines(path), (Lines_{"Gr\u00FC\u00DFe \u20AC ?|\u00E9"}));
}

TEST_F(TextFileTest, Utf8CodePageSkipsByteOrderMark) {
  setenv("QX6_ANSI_CODEPAGE", "65001", 1);
  CodePage::Reset();
  Put(Path("bom.txt"), "\xEF\xBB\xBFk\u00E9y\r\nv");
  EXPECT_EQ(Lines(Path("bom.txt")), (Lines_{"k\u00E9y", "v"}));
}

TEST_F(TextFileTest, ManySmallWritesArriveWhole) {
  std::string path = Path("big.txt");
  OpenForOutput(1, path);
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    std::string row = "row " + std::to_string(i) + ";";
    Write(1, row);
    expected += row;
  }
  Close(1);
  EXPECT_EQ(Bytes(path), expected);
}

TEST_F(TextFileTest, FileNumbers) {
  EXPECT_EQ(FreeFile(), 1);
  OpenForOutput(1, Path("1.txt"));
  EXPECT_EQ(FreeFile(), 2);
  OpenForOutput(3, Path("3.txt"));
  EXPECT_EQ(FreeFile(), 2);
  EXPECT_TRUE(IsOpen(3));
  EXPECT_FALSE(IsOpen(2));
  EXPECT_FALSE(IsOpen(0));
  EXPECT_EQ(ErrorOf([&] { OpenForOutput(1, Path("other.txt")); }), 55);
  EXPECT_EQ(ErrorOf([&] { OpenForOutput(0, Path("x.txt")); }), 52);
  EXPECT_EQ(ErrorOf([&] { OpenForOutput(256, Path("x.txt")); }), 52);
  EXPECT_EQ(ErrorOf([] { Write(2, "x"); }), 52);
  EXPECT_EQ(ErrorOf([] { Close(2); }), 52);
  Close(1);
  EXPECT_EQ(FreeFile(), 1);
  for (int n = 1; n <= 255; ++n)
    if (!IsOpen(static_cast<int16_t>(n))) OpenForOutput(static_cast<int16_t>(n), Path("f" + std::to_string(n)));
  EXPECT_EQ(ErrorOf([] { FreeFile(); }), 67);
  CloseAll();
  EXPECT_EQ(FreeFile(), 1);
}

TEST_F(TextFileTest, FileNumbersArePerThread) {
  OpenForOutput(1, Path("main.txt"));
  int16_t other = 0;
  std::thread([&] { other = FreeFile(); }).join();
  EXPECT_EQ(other, 1);
}

TEST_F(TextFileTest, ModesAndSharing) {
  std::string path = Path("shared.txt");
  Put(path, "line\r\n");
  OpenForInput(1, path);
  OpenForInput(2, path);  // readers may share
  EXPECT_EQ(ErrorOf([&] { OpenForOutput(3, path); }), 55);
  EXPECT_EQ(Bytes(path), "line\r\n");  // and it was not emptied
  EXPECT_EQ(ErrorOf([] { Write(1, "x"); }), 54);
  CloseAll();
  OpenForAppend(1, path);
  EXPECT_EQ(ErrorOf([&] { OpenForInput(2, path); }), 55);
  std::string line;
  EXPECT_EQ(ErrorOf([&] { ReadLine(1, line); }), 54);
}

TEST_F(TextFileTest, FileSystemFailures) {
  EXPECT_EQ(ErrorOf([&] { OpenForOutput(1, Path("no/such/folder/out.txt")); }), 76);
  EXPECT_EQ(ErrorOf([&] { OpenForInput(1, Path("missing.txt")); }), 53);
  EXPECT_EQ(ErrorOf([&] { OpenForInput(1, Path("missing/x.txt")); }), 76);
  EXPECT_EQ(ErrorOf([&] { OpenForOutput(1, dir_); }), 75);
  EXPECT_EQ(ErrorOf([&] { OpenForInput(1, dir_); }), 75);
  EXPECT_EQ(ErrorOf([] { OpenForOutput(1, ""); }), 75);
  EXPECT_FALSE(IsOpen(1));  // a failed open takes no number
}

TEST_F(TextFileTest, NoPermissionLeavesTheFileAlone) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores file permissions";
  std::string path = Path("locked.txt");
  Put(path, "keep me");
  fs::permissions(path, fs::perms::owner_read);
  EXPECT_EQ(ErrorOf([&] { OpenForOutput(1, path); }), 70);
  EXPECT_EQ(Bytes(path), "keep me");
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(ErrorOf([&] { OpenForOutput(1, Path("new.txt")); }), 70);
}

TEST_F(TextFileTest, FullDiskIsError61) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  OpenForOutput(1, "/dev/full");
  Write(1, "small");  // buffered: the failure shows at the flush
  EXPECT_EQ(ErrorOf([] { Close(1); }), 61);
  EXPECT_FALSE(IsOpen(1));
  OpenForOutput(1, "/dev/full");
  EXPECT_EQ(ErrorOf([] { Write(1, std::string(70000, 'x')); }), 61);
  CloseAll();
}

}  // namespace
}  // namespace qx6
