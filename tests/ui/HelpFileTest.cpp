// The compiled help file as the build stages it, read through the reader:
// the context map, the pages, the contents, and damaged or missing files.
#include <gtest/gtest.h>

#include <tuple>

#include <unistd.h>

#include "tests/support/TestEnvironment.h"
#include "ui/HelpFile.h"
#include "ui/modHelp.h"

namespace qx6 {
namespace {

using test::ReadFile;
using test::WriteFile;

const std::string StagedHelpFile = std::string(QX6_PRODUCT_DIR) + "/help/qx6jbman.chm";

TEST(HelpFileTest, TheStagedFileMapsTheDialogTopicListsEveryPageAndRefusesUnknownTopicsAndPages) {
  HelpFile file;
  ASSERT_TRUE(file.Open(StagedHelpFile)) << file.ErrorText();
  EXPECT_EQ(file.Title() + "|" + file.DefaultTopic(), "Quorvex 6 Flat File Export Help|welcome.html");
  // The page's name inside the file, no folder of the machine that built it.
  EXPECT_EQ(file.TopicPath(modHelp::SettingsDialogTopic).value_or(file.ErrorText()), "/settings.html");
  EXPECT_EQ(file.ReadFile("/settings.html").value_or(""),
            ReadFile(std::string(QX6_SOURCE_DIR) + "/help/settings.html"));
  // Relative names and the style sheet the pages link to are found too.
  EXPECT_TRUE(file.ReadFile("qx6help.css"));
  std::string contents;  // level and page of each entry
  for (const auto& entry : file.Contents()) {
    EXPECT_TRUE(file.HasFile(entry.local)) << entry.local;
    contents += std::to_string(entry.level) + entry.local + " ";
  }
  EXPECT_EQ(contents, "0welcome.html 0settings.html 1format.html 1outputfile.html 1columns.html 1saving.html "
                      "0qx6export.html 1scheduling.html ");

  // Refused with an error that names the topic or page.
  for (int32_t id : {0, 12, -1, 0x7fffffff})
    EXPECT_NE(file.TopicPath(id).value_or(file.ErrorText()).find("topic " + std::to_string(id)), std::string::npos);
  EXPECT_NE(file.ReadFile("/missing.html").value_or(file.ErrorText()).find("missing.html"), std::string::npos);
  EXPECT_FALSE(file.ReadFile("") || file.ReadFile(std::string(2000, 'a')));
}

TEST(HelpFileTest, AMapEntryThatIsABuildPathNamesNoPage) {
  // chmcmd run in a folder of its own stores that folder in front of the page.
  const char* chmcmd = "/usr/bin/chmcmd";
  ASSERT_EQ(access(chmcmd, X_OK), 0) << "chmcmd, which the build needs, is missing";
  const test::TempFolder temp;
  const std::string help = test::ShellQuote(QX6_SOURCE_DIR "/help");  // the pages, project, contents, index, style
  ASSERT_EQ(test::RunShell("cd " + test::ShellQuote(temp.Path()) + " && cp " + help + "/*.h* " + help + "/*.css . && " +
                           chmcmd + " --no-html-scan --verbosity 0 qx6jbman.hhp >/dev/null 2>&1"),
            0);
  HelpFile file;
  ASSERT_TRUE(file.Open(temp / "qx6jbman.chm")) << file.ErrorText();
  EXPECT_TRUE(file.HasFile("/settings.html"));
  EXPECT_FALSE(file.TopicPath(11));
  EXPECT_NE(file.ErrorText().find("page of topic 11 is missing"), std::string::npos) << file.ErrorText();
}

TEST(HelpFileTest, MissingOrForeignFilesDoNotOpen) {
  const test::TempFolder temp;
  WriteFile(temp / "empty.chm", "");
  WriteFile(temp / "text.chm", "<html>not compiled</html>");
  const std::pair<std::string, const char*> cases[] = {{"/nonexistent/help/qx6jbman.chm", "does not exist"},
      {"", ""}, {temp.Path(), ""}, {temp / "empty.chm", ""}, {temp / "text.chm", "damaged"}};
  for (const auto& [path, error] : cases) {
    HelpFile file;
    EXPECT_FALSE(file.Open(path)) << path;
    EXPECT_NE(file.ErrorText().find(error), std::string::npos) << file.ErrorText();
    EXPECT_FALSE(file.IsOpen() || file.TopicPath(11) || file.ReadFile("/settings.html")) << path;
    EXPECT_TRUE(file.Contents().empty());
  }
}

// A cut or damaged file never crashes the reader: it fails to open or to read
// what it lost, and whatever it still returns is what the whole file holds.
TEST(HelpFileTest, CutOrDamagedFilesFailCleanly) {
  const std::string whole = ReadFile(StagedHelpFile);
  ASSERT_GT(whole.size(), 1000u);
  const std::string settings = ReadFile(std::string(QX6_SOURCE_DIR) + "/help/settings.html");
  const test::TempFolder temp;
  const std::string path = temp / "help.chm";
  bool someReadFailed = false;
  for (size_t length : {size_t{16}, size_t{90}, size_t{600}, whole.size() / 4, whole.size() / 2,
                        whole.size() * 3 / 4, whole.size() - 700, whole.size() - 1}) {
    HelpFile file;
    WriteFile(path, whole.substr(0, length));
    const bool opened = file.Open(path);
    EXPECT_EQ(opened, file.ErrorText().empty()) << "cut at " << length;
    EXPECT_EQ((opened ? file.TopicPath(11) : std::nullopt).value_or("/settings.html"), "/settings.html") << length;
    const auto bytes = file.ReadFile("/settings.html");
    EXPECT_EQ(bytes.value_or(settings), settings) << "cut at " << length;
    someReadFailed = someReadFailed || !bytes;
    file.Contents();
  }
  EXPECT_TRUE(someReadFailed);
  for (size_t at = 0; at + 64 < whole.size(); at += whole.size() / 13) {
    WriteFile(path, std::string(whole).replace(at, 64, 64, '\xFF'));
    HelpFile file;
    if (!file.Open(path)) continue;
    file.TopicPath(11);
    file.ReadFile("/settings.html");
    file.Contents();
  }
}

TEST(HelpSitemapTest, ReadsNestedEntriesAndPassesOverTheRest) {
  // Beside what the shipped contents file holds: a comment, other letter case
  // and quoting, an entity, an entry without a name, a heading, a cut end.
  const auto entries = ParseSitemap(R"(<HTML><BODY><UL>
    <!-- <LI><OBJECT type="text/sitemap"><param name="Name" value="commented"></OBJECT> -->
    <LI><OBJECT type="text/sitemap"><param name="Name" value="Top &amp; more"><param name="Local" value="a.html">
    </OBJECT><UL><li><object TYPE='text/sitemap'><PARAM NAME=Local VALUE=b.html><param name="name" value="Inner">
      </object><LI><OBJECT type="text/sitemap"><param name="Local" value="nameless.html"></OBJECT></UL>
    <LI><OBJECT type="text/sitemap"><param name="Name" value="Heading"></OBJECT></UL>
    <UL><LI><OBJECT type="text/sitemap"><param name="Name" value="cut off)");
  std::vector<std::tuple<std::string, std::string, int>> read;
  for (const auto& e : entries) read.emplace_back(e.name, e.local, e.level);
  EXPECT_EQ(read, (std::vector<std::tuple<std::string, std::string, int>>{
                      {"Top & more", "a.html", 0}, {"Inner", "b.html", 1}, {"Heading", "", 0}}));
  EXPECT_TRUE(ParseSitemap("").empty());
  EXPECT_TRUE(ParseSitemap("<<<<</UL></UL><param").empty());
}

}  // namespace
}  // namespace qx6
