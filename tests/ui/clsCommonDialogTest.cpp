// The file dialog front end: what is handed to the dialog, the chosen
// pair's extension, when it is appended, and cancelling.
#include "ui/clsCommonDialog.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/ScriptedUserInteraction.h"

namespace qx6 {
namespace {

using platform::FileDialogResult;

const std::string ThreePairs = "Text files (*.txt)|*.txt|Comma separated (*.csv)|*.csv|All files (*.*)|*.*";

class FileDialogTest : public ::testing::Test {
 protected:
  platform::ScopedScriptedUserInteraction script;
};

TEST_F(FileDialogTest, ChosenPairsExtensionIsAppendedToANameWithoutADot) {
  struct Case {
    std::string filter;
    int16_t index;
    const char *chosen, *returned, *extension;
  };
  const Case cases[] = {
      {ThreePairs, 1, "/home/ann/out/jobs", "/home/ann/out/jobs.txt", ".txt"},
      {ThreePairs, 1, "/home/ann/out/jobs.dat", "/home/ann/out/jobs.dat", ".txt"},
      {ThreePairs, 3, "/home/ann/out/jobs", "/home/ann/out/jobs", "*.*"},      // all files: nothing added
      {ThreePairs, 2, "/home/ann/v1.2/jobs", "/home/ann/v1.2/jobs", ".csv"},   // a dot in a folder counts
      {"Web pages|*.html", 1, "/tmp/report", "/tmp/reporthtml", "html"}};      // its last four characters
  for (const Case& c : cases) {
    script->QueueFile(FileDialogResult{c.chosen, c.index});
    std::string extension = "unchanged";
    EXPECT_EQ(ShowFileDialog(0, "Output file", true, c.filter, "", &extension), c.returned) << c.chosen;
    EXPECT_EQ(extension, c.extension) << c.chosen;
  }
}

TEST_F(FileDialogTest, CancelReturnsNothingAndLeavesTheExtension) {
  script->QueueFile(std::nullopt);
  std::string extension = ".old";
  EXPECT_EQ(ShowFileDialog(0, "Output file", true, ThreePairs, "/tmp/current.txt", &extension), "");
  EXPECT_EQ(extension, ".old");
  EXPECT_EQ(ShowFileDialog(0, "Output file", false, ThreePairs, "", nullptr), "");  // nothing queued: cancelled
  EXPECT_EQ(script->FileDialogs().size(), 2u);
}

TEST_F(FileDialogTest, SaveAndOpenHandTheirFlagsAndSettingsToTheDialog) {
  script->QueueFile(FileDialogResult{"/tmp/a.txt", 1});
  script->QueueFile(FileDialogResult{"/tmp/b.txt", 1});
  ShowFileDialog(1234, "Save it", true, ThreePairs, "/tmp/start.txt");
  ShowFileDialog(0, "Open it", false, ThreePairs, "");
  ASSERT_EQ(script->FileDialogs().size(), 2u);
  const auto shown = [](const platform::FileDialogRequest& r) {
    return std::to_string(r.save) + " " + std::to_string(r.flags) + " " + std::to_string(r.owner) + " " + r.title +
           " [" + r.filter + "] " + r.fileName + " " + std::to_string(r.filterIndex);
  };
  EXPECT_EQ(shown(script->FileDialogs()[0]),
            "1 " + std::to_string(0x80004 | 0x802) + " 1234 Save it [" + ThreePairs + "] /tmp/start.txt 0");
  EXPECT_EQ(shown(script->FileDialogs()[1]),
            "0 " + std::to_string(0x80004 | 0x1000) + " 0 Open it [" + ThreePairs + "]  0");
}

// What the dialog holds after a choice: action, filter index and extension, file name and title.
std::string Chosen(const clsCommonDialog& d) {
  return std::to_string(d.Action()) + " " + std::to_string(d.FilterIndex()) + " " + d.FilterExt() + " " +
         d.FileName() + " " + d.FileTitle();
}

TEST_F(FileDialogTest, ChosenThirdPairGivesItsOwnPatternAndTitle) {
  clsCommonDialog dialog;
  dialog.SetFilter("A|*.aaa|B|*.bbb|C|*.ccc");
  dialog.SetFilterIndex(1);
  script->QueueFile(FileDialogResult{"  /tmp/out/result.ccc  ", 3});
  ASSERT_TRUE(dialog.ShowSave());
  EXPECT_EQ(script->FileDialogs().back().filterIndex, 1);
  EXPECT_EQ(Chosen(dialog), std::to_string(clsCommonDialog::ActionSave) + " 3 .ccc /tmp/out/result.ccc result.ccc");
  EXPECT_NE(dialog.APIReturn(), 0);
  script->QueueFile(FileDialogResult{"relative.aaa", 1});
  ASSERT_TRUE(dialog.ShowSave());
  EXPECT_EQ(dialog.FileTitle(), "relative.aaa");
  // An index below one or beyond the filter has no extension.
  for (int32_t index : {0, 4}) {
    script->QueueFile(FileDialogResult{"/tmp/x", index});
    ASSERT_TRUE(dialog.ShowSave());
    EXPECT_EQ(dialog.FilterExt(), "") << index;
  }
}

TEST_F(FileDialogTest, CancelledDialogKeepsItsProperties) {
  clsCommonDialog dialog;
  dialog.SetFilter("A|*.aaa|B|*.bbb");
  script->QueueFile(FileDialogResult{"/tmp/first.bbb", 2});
  ASSERT_TRUE(dialog.ShowOpen());
  script->QueueFile(std::nullopt);
  EXPECT_FALSE(dialog.ShowOpen());
  EXPECT_EQ(dialog.APIReturn() | dialog.ExtendedError(), 0);
  EXPECT_EQ(Chosen(dialog), std::to_string(clsCommonDialog::ActionOpen) + " 2 .bbb /tmp/first.bbb first.bbb");
}

TEST_F(FileDialogTest, InitialNamesAreCutToFitTheirBuffers) {
  // Default buffers of 512 bytes hold 511 bytes and the closing zero.
  ShowFileDialog(0, "", true, ThreePairs, std::string(600, 'n'));
  EXPECT_EQ(script->FileDialogs().back().fileName, std::string(511, 'n'));

  clsCommonDialog dialog;
  dialog.SetMaxFileSize(10);  // buffers of 20 bytes
  dialog.SetFileName("/tmp/abcdefghijklmnopqrstuvwxyz");
  dialog.SetInitDir("/home/someone/with/a/long/folder");
  dialog.ShowSave();
  EXPECT_EQ(script->FileDialogs().back().fileName, "/tmp/abcdefghijklmn");
  EXPECT_EQ(script->FileDialogs().back().initialFolder, "/home/someone/with/");

  // Cut at whole characters in the code page: "é" is one byte there.
  std::string accented;
  for (int i = 0; i < 30; ++i) accented += "é";
  dialog.SetFileName(accented);
  dialog.ShowSave();
  EXPECT_EQ(script->FileDialogs().back().fileName, accented.substr(0, 2 * 19));
}

// The colour, font, printer and help methods go to the same user
// interaction: a choice updates the properties, a cancel keeps them.
TEST_F(FileDialogTest, ColourFontPrinterAndHelpGoThroughTheUserInteraction) {
  clsCommonDialog dialog;
  dialog.SetColor(0x0000FF);
  script->QueueColor(0x00FF00);
  script->QueueColor(std::nullopt);
  EXPECT_TRUE(dialog.ShowColor());
  EXPECT_EQ(dialog.Color(), 0x00FF00);
  EXPECT_FALSE(dialog.ShowColor());
  EXPECT_EQ(dialog.Color(), 0x00FF00);
  EXPECT_EQ(dialog.Action(), clsCommonDialog::ActionColor);
  EXPECT_EQ(dialog.APIReturn(), 0);

  platform::FontChoice courier{"Courier New", 10, 0, true, false, false, false};
  script->QueueFont(courier);
  script->QueueFont(std::nullopt);
  ASSERT_TRUE(dialog.ShowFont());
  ASSERT_TRUE(dialog.Object());
  EXPECT_EQ(dialog.Object()->name, "Courier New");
  EXPECT_TRUE(dialog.Object()->bold);
  EXPECT_FALSE(dialog.ShowFont());
  EXPECT_EQ(dialog.Object()->size, 10);

  dialog.SetCopies(1);
  script->QueuePrinter(platform::PrinterChoice{2, 5, 1, 9, 3, 0});
  script->QueuePrinter(std::nullopt);
  auto pages = [&] {
    return std::vector<int32_t>{dialog.FromPage(), dialog.ToPage(), dialog.Min(), dialog.Max(), dialog.Copies()};
  };
  ASSERT_TRUE(dialog.ShowPrinter());
  EXPECT_EQ(pages(), (std::vector<int32_t>{2, 5, 1, 9, 3}));
  EXPECT_FALSE(dialog.ShowPrinter());
  EXPECT_EQ(pages(), (std::vector<int32_t>{2, 5, 1, 9, 3}));
  EXPECT_EQ(dialog.Action(), clsCommonDialog::ActionPrinter);

  // Only the context commands hand over a context; a text that is no
  // number hands over 0.
  dialog.SetHelpFile("/opt/qx6/help/qx6jbman.chm");
  for (const auto& [command, context] : {std::pair{clsCommonDialog::HELP_CONTEXT, "11"},
                                         {clsCommonDialog::HELP_CONTEXT, "eleven"}, {clsCommonDialog::HELP_KEY, "11"}}) {
    dialog.SetHelpCommand(command);
    dialog.SetHelpContext(context);
    dialog.ShowHelp(0);
  }
  const auto& shown = script->HelpTopics();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].helpFile, "/opt/qx6/help/qx6jbman.chm");
  EXPECT_EQ((std::vector<int32_t>{shown[0].contextId, shown[1].contextId, shown[2].contextId}),
            (std::vector<int32_t>{11, 0, 0}));
  EXPECT_EQ(dialog.APIReturn(), 1);
}

}  // namespace
}  // namespace qx6
