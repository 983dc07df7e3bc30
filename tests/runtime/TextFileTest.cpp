#include "runtime/TextFile.h"

#include <filesystem>
#include <optional>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/CodePage.h"
#include "tests/runtime/RuntimeTesting.h"
#include "tests/support/TestEnvironment.h"

namespace qx6 {
namespace {

namespace fs = std::filesystem;
using namespace TextFile;
using test::ErrorOf;
using test::ReadFile;
using test::WriteFile;
using Lines_ = std::vector<std::string>;

class TextFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // In /tmp rather than TMPDIR: the permission test needs a path "nobody" can walk.
    ASSERT_NE(mkdtemp(dir_.data()), nullptr);
    codePage_.emplace("QX6_ANSI_CODEPAGE", "1252");
    CodePage::Reset();
  }
  void TearDown() override {
    CloseAll();
    codePage_.reset();
    CodePage::Reset();
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, ignored);
    fs::remove_all(dir_, ignored);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  // Writes `bytes` to a file of the folder and reads it back line by line.
  Lines_ Lines(const std::string& name, const std::string& bytes) {
    WriteFile(Path(name), bytes);
    const int16_t n = FreeFile();
    OpenForInput(n, Path(name));
    Lines_ lines;
    for (std::string line; ReadLine(n, line);) lines.push_back(line);
    Close(n);
    return lines;
  }

  std::string dir_ = "/tmp/qx6-textfile-XXXXXX";
  std::optional<test::ScopedEnv> codePage_;
};

TEST_F(TextFileTest, LineEnds) {
  EXPECT_EQ(Lines("a.txt", "one\r\ntwo\rthree\nstill three\r\n\r\nlast"),
            (Lines_{"one", "two", "three\nstill three", "", "last"}));
  EXPECT_EQ(Lines("b.txt", "only\r\n"), (Lines_{"only"}));
  EXPECT_EQ(Lines("c.txt", ""), Lines_{});
  EXPECT_EQ(Lines("d.txt", "\r"), (Lines_{""}));
  // CR as the last byte of one 64 KiB block and LF as the first of the next.
  const std::string first(65535, 'x');
  EXPECT_EQ(Lines("long.txt", first + "\r\nnext\r\n"), (Lines_{first, "next"}));
  // At the end right after the last line, before a read fails.
  OpenForInput(1, Path("b.txt"));
  std::string line;
  EXPECT_FALSE(AtEnd(1));
  EXPECT_TRUE(ReadLine(1, line));
  EXPECT_TRUE(AtEnd(1));
}

TEST_F(TextFileTest, OutputEmptiesAppendKeepsManySmallWritesArriveWholeInTheAnsiCodePage) {
  const std::string path = Path("out.txt");
  WriteFile(path, "old content");
  OpenForOutput(1, path);
  Write(1, "new");
  Close(1);
  EXPECT_EQ(ReadFile(path), "new");
  OpenForAppend(1, path);
  WriteLine(1, " more");
  Write(1, "end");
  OpenForAppend(2, Path("fresh.txt"));  // append creates
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    const std::string row = "row " + std::to_string(i) + ";";
    Write(2, row);
    expected += row;
  }
  CloseAll();
  EXPECT_EQ(ReadFile(path), "new more\r\nend");
  EXPECT_EQ(ReadFile(Path("fresh.txt")), expected);
  // Text goes out in the ANSI code page; a UTF-8 file may start with a byte order mark.
  OpenForOutput(1, Path("ansi.txt"));
  Write(1, "Gr\u00FC\u00DFe \u20AC \u0100");
  WriteBytes(1, "|\xE9");
  Close(1);
  const std::string bytes = ReadFile(Path("ansi.txt"));
  EXPECT_EQ(bytes, "Gr\xFC\xDF" "e \x80 ?|\xE9");
  EXPECT_EQ(Lines("ansi.txt", bytes), (Lines_{"Gr\u00FC\u00DFe \u20AC ?|\u00E9"}));
  test::ScopedEnv utf8("QX6_ANSI_CODEPAGE", "65001");
  CodePage::Reset();
  EXPECT_EQ(Lines("bom.txt", "\xEF\xBB\xBFk\u00E9y\r\nv"), (Lines_{"k\u00E9y", "v"}));
}

TEST_F(TextFileTest, FileNumbersModesAndSharing) {
  EXPECT_EQ(FreeFile(), 1);
  OpenForOutput(1, Path("1.txt"));
  EXPECT_EQ(FreeFile(), 2);
  OpenForOutput(3, Path("3.txt"));
  EXPECT_EQ(FreeFile(), 2);
  EXPECT_EQ((std::vector<bool>{IsOpen(0), IsOpen(2), IsOpen(3)}), (std::vector<bool>{false, false, true}));
  EXPECT_EQ(ErrorOf([&] { OpenForOutput(1, Path("other.txt")); }), 55);
  EXPECT_EQ(ErrorOf([&] { OpenForOutput(0, Path("x.txt")); }), 52);
  EXPECT_EQ(ErrorOf([&] { OpenForOutput(256, Path("x.txt")); }), 52);
  EXPECT_EQ(ErrorOf([] { Write(2, "x"); }), 52);
  EXPECT_EQ(ErrorOf([] { Close(2); }), 52);
  int16_t other = 0;  // numbers are per thread
  std::thread([&] { other = FreeFile(); }).join();
  EXPECT_EQ(other, 1);
  Close(1);
  EXPECT_EQ(FreeFile(), 1);
  for (int16_t n = 1; n <= 255; ++n)
    if (!IsOpen(n)) OpenForOutput(n, Path("f" + std::to_string(n)));
  EXPECT_EQ(ErrorOf([] { FreeFile(); }), 67);
  CloseAll();
  EXPECT_EQ(FreeFile(), 1);
  const std::string path = Path("shared.txt");
  WriteFile(path, "line\r\n");
  OpenForInput(1, path);
  OpenForInput(2, path);  // readers may share
  EXPECT_EQ(ErrorOf([&] { OpenForOutput(3, path); }), 55);
  EXPECT_EQ(ReadFile(path), "line\r\n");  // and it was not emptied
  EXPECT_EQ(ErrorOf([] { Write(1, "x"); }), 54);
  CloseAll();
  OpenForAppend(1, path);
  EXPECT_EQ(ErrorOf([&] { OpenForInput(2, path); }), 55);
  std::string line;
  EXPECT_EQ(ErrorOf([&] { ReadLine(1, line); }), 54);
}

TEST_F(TextFileTest, FileSystemFailuresLeaveTheFileAloneAndAFullDiskIsError61) {
  const std::tuple<bool, std::string, int> cases[] = {{true, Path("no/such/folder/out.txt"), 76},
      {false, Path("missing.txt"), 53}, {false, Path("missing/x.txt"), 76}, {true, dir_, 75}, {false, dir_, 75},
      {true, "", 75}};
  for (const auto& [output, path, error] : cases)
    EXPECT_EQ(ErrorOf([&] { output ? OpenForOutput(1, path) : OpenForInput(1, path); }), error) << path;
  EXPECT_FALSE(IsOpen(1));  // a failed open takes no number
  // Without permission the file is left alone.
  WriteFile(Path("locked.txt"), "keep me");
  fs::permissions(Path("locked.txt"), static_cast<fs::perms>(0444));
  fs::permissions(dir_, static_cast<fs::perms>(0555));  // anyone may walk and read it, no one write
  for (const char* name : {"locked.txt", "new.txt"})
    EXPECT_EQ(test::RunInChild([&] { return ErrorOf([&] { OpenForOutput(1, Path(name)); }); }, true), 70) << name;
  EXPECT_EQ(ReadFile(Path("locked.txt")), "keep me");
  EXPECT_FALSE(fs::exists(Path("new.txt")));
  OpenForOutput(1, "/dev/full");
  Write(1, "small");  // buffered: the failure shows at the flush
  EXPECT_EQ(ErrorOf([] { Close(1); }), 61);
  EXPECT_FALSE(IsOpen(1));
  OpenForOutput(1, "/dev/full");
  EXPECT_EQ(ErrorOf([] { Write(1, std::string(70000, 'x')); }), 61);
}

}  // namespace
}  // namespace qx6
