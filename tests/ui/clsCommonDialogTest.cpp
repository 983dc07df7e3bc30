// The file dialog front end: what is handed to the dialog, the chosen
// pair's extension, when it is appended, and cancelling.
#include "ui/clsCommonDialog.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "platform/ScriptedUserInteraction.h"

namespace qx6 {
namespace {

using platform::FileDialogResult;

const std::string ThreePairs = "Text files (*.txt)|*.txt|Comma separated (*.csv)|*.csv|All files (*.*)|*.*";

TEST(FileDialogTest, ChosenPairsExtensionIsAppendedToANameWithoutADotAndCancelChangesNothing) {
  platform::ScopedScriptedUserInteraction script;
  // Filter, index and name chosen (none: cancelled), the name and extension handed back.
  const std::tuple<std::string, int16_t, const char*, const char*, const char*> cases[] = {
      {ThreePairs, 1, "/home/ann/out/jobs", "/home/ann/out/jobs.txt", ".txt"},
      {ThreePairs, 1, "/home/ann/out/jobs.dat", "/home/ann/out/jobs.dat", ".txt"},
      {ThreePairs, 3, "/home/ann/out/jobs", "/home/ann/out/jobs", "*.*"},      // all files: nothing added
      {ThreePairs, 2, "/home/ann/v1.2/jobs", "/home/ann/v1.2/jobs", ".csv"},   // a dot in a folder counts
      {"Web pages|*.html", 1, "/tmp/report", "/tmp/reporthtml", "html"},       // its last four characters
      {ThreePairs, 3, "  /tmp/out/result.ccc  ", "/tmp/out/result.ccc", "*.*"},  // the name without outer spaces
      // An index below one or beyond the filter (a damaged language library) has no extension.
      {ThreePairs, 0, "/tmp/x", "/tmp/x", ""}, {"A|*.aaa", 2, "/tmp/x", "/tmp/x", ""},
      {ThreePairs, 1, nullptr, "", "unchanged"}};
  for (const auto& [filter, index, chosen, returned, expected] : cases) {
    if (chosen) script->QueueFile(FileDialogResult{chosen, index});
    else script->QueueFile(std::nullopt);
    std::string extension = "unchanged";
    EXPECT_EQ(ShowFileDialog(0, "Output file", true, filter, "/tmp/a.txt", &extension), returned) << index;
    EXPECT_EQ(extension, expected) << returned;
  }
}

// Save asks before overwriting and wants an existing folder; open wants an existing file.
TEST(FileDialogTest, SaveAndOpenHandTheirFlagsAndSettingsToTheDialogAndInitialNamesAreCutToFitIt) {
  platform::ScopedScriptedUserInteraction script;
  ShowFileDialog(1234, "Save it", true, ThreePairs, "/tmp/start.txt");
  ShowFileDialog(0, "Open it", false, ThreePairs, "");
  ASSERT_EQ(script->FileDialogs().size(), 2u);
  const auto& save = script->FileDialogs()[0];
  EXPECT_EQ(std::to_string(save.owner) + " " + save.title + " [" + save.filter + "] " + save.fileName,
            "1234 Save it [" + ThreePairs + "] /tmp/start.txt");
  EXPECT_EQ(save.flags, 0x80004 | platform::OFN_OVERWRITEPROMPT | platform::OFN_PATHMUSTEXIST);
  EXPECT_EQ(script->FileDialogs()[1].flags, 0x80004 | platform::OFN_FILEMUSTEXIST);

  // The dialog's buffer of 512 bytes holds 511 bytes of the name in the code
  // page, where "é" is one byte.
  std::string accented;
  for (int i = 0; i < 600; ++i) accented += "é";
  for (const std::string& name : {std::string(600, 'n'), accented}) {
    ShowFileDialog(0, "", true, ThreePairs, name);
    EXPECT_EQ(script->FileDialogs().back().fileName, name.substr(0, name.size() / 600 * 511));
  }
}

}  // namespace
}  // namespace qx6
