#include "config/modFlatFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/RuntimeError.h"
#include "tests/config/ConfigTestFixture.h"

namespace qx6 {
namespace {

using test::ReadFile;
using test::WriteFile;

std::string ConfigText(const std::string& name, const std::string& extra = "") {
  return "<?xml version=\"1.0\"?>\r\n<root>\r\n<Name>" + name + "</Name>\r\n<Version>4</Version>\r\n" + extra;
}

class ConfigurationStore : public test::ConfigTest {
 protected:
  void Put(const std::string& file, const std::string& name, const std::string& extra = "") {
    WriteFile(env.ConfigFolder() + file, ConfigText(name, extra));
  }
  // Builds `configs` afresh and returns the names listed, checking their numbers.
  std::vector<std::string> List(const std::string& overrideFolder = "", const std::string& remembered = "") {
    configs = ExportConfigs();
    const Variant list = modFlatFile::LoadConfigurations(configs, 2, overrideFolder, remembered, configId);
    auto rows = list.ArrayValue();
    std::vector<std::string> names;
    for (int32_t r = 0; r <= rows.UpperBound(1); ++r) {
      EXPECT_EQ(rows.At(r, 0).Type(), VarType::Integer);
      EXPECT_EQ(rows.At(r, 0).IntegerValue(), r + 1);
      names.emplace_back(rows.At(r, 1).StringValue());
    }
    return names;
  }
  using Names = std::vector<std::string>;
  ExportConfigs configs;
  int32_t configId = 0;
};

TEST_F(ConfigurationStore, EmptyFolderListsOnlyTheDefaultAndFolderAndFileNamesFollowTheName) {
  EXPECT_EQ(List(), Names{"<Default>"});
  EXPECT_TRUE(std::filesystem::is_directory(env.ConfigFolder()));
  const auto& builtIn = configs.Item(1);
  EXPECT_EQ(std::tuple(builtIn->IsDefault(), builtIn->NumDecimalPlaces(), builtIn->Columns()->Count(), configId),
            std::tuple(true, 2, 45, 0));
  EXPECT_TRUE(modFlatFile::ConfigurationList(ExportConfigs()).IsNull()) << "the list of an empty collection";
  EXPECT_EQ(modFlatFile::ConfigFolder(""), env.ConfigFolder());
  EXPECT_EQ(modFlatFile::ConfigFolder("/sched/configs"), "/sched/configs");
  EXPECT_EQ(modFlatFile::ConfigFileName("Weekly: A/B Report."), "weekly_ a_b report_");
  EXPECT_EQ(modFlatFile::ConfigFileName("a\\b\"c'd?e*f>g<h|i"), "a_b_c_d_e_f_g_h_i");
  test::ScopedEnv noHome("HOME", "");
  test::ScopedEnv noDocs("XDG_CONFIG_HOME", env.Root() + "/nowhere");
  // Without a documents folder the component's own folder takes its place.
  EXPECT_EQ(modFlatFile::ConfigFolder(""),
            std::string(QX6_PRODUCT_DIR) + "/exporters/Quorvex Inc/Quorvex/6.0/FlatFileExport/");
}

TEST_F(ConfigurationStore, FilesAreListedByNameWithDuplicatesAndDefaultDropped) {
  for (const auto& [file, name] : {std::pair{"b.cfg", "Beta"}, {"a.cfg", "Alpha"}, {"c.cfg", "ALPHA"},
                                   {"d.CFG", "Delta"}, {"_default_.cfg", "&ltdefault&gt"},
                                   {"notes.txt", "Not a configuration"}, {"unreadable.cfg", "Hidden"}})
    Put(file, name);
  // A configuration without a name is keyed by the empty name: the first
  // such file is listed, the second is a duplicate.
  Put("e.cfg", "", "<OutputType>1</OutputType>\r\n");
  Put("f.cfg", "");
  chmod((env.ConfigFolder() + "unreadable.cfg").c_str(), 0);
  Names expected = {"<Default>", "Alpha", "Beta", "Delta", ""};
  if (geteuid() == 0) expected.push_back("Hidden");  // root reads any file
  EXPECT_EQ(List("", "beta"), expected);
  EXPECT_EQ(configId, 3);
  EXPECT_EQ(configs.Item("alpha")->ConfigFile(), env.ConfigFolder() + "a.cfg");
  EXPECT_EQ(configs.Item("")->ConfigFile(), env.ConfigFolder() + "e.cfg");
  // A remembered name that is not listed keeps the identifier.
  configId = 7;
  List("", "missing");
  EXPECT_EQ(configId, 7);
  List("", "<DEFAULT>");
  EXPECT_EQ(configId, 1);
}

TEST_F(ConfigurationStore, ConversionErrorEndsTheBuildWithTheCollectionSoFar) {
  Put("a.cfg", "First");
  Put("b.cfg", "Broken", "<OutputType>abc</OutputType>\r\n");
  Put("c.cfg", "Later");
  configId = 5;
  try {
    List("", "First");
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), 13);
    EXPECT_EQ(e.Description(), "Type mismatch");
    // The file and the line of the value travel with the error.
    EXPECT_EQ(e.Detail(), env.ConfigFolder() + "b.cfg, line 5");
  }
  EXPECT_EQ(std::tuple(configs.Count(), configs.Item(2)->Name(), configId), std::tuple(2, "First", 5));
}

TEST_F(ConfigurationStore, OverrideFolderIsUsedAsGivenAndOnlyRegularFilesAreListed) {
  Put("real.cfg", "Real");
  WriteFile(env.Root() + "/scheduled/x.cfg", ConfigText("Scheduled"));
  EXPECT_EQ(List(env.Root() + "/scheduled/"), (Names{"<Default>", "Scheduled"}));
  // Without the trailing "/" the pattern joins the last name: nothing is found.
  EXPECT_EQ(List(env.Root() + "/scheduled"), Names{"<Default>"});
  // A folder that cannot be created leaves the default.
  WriteFile(env.Root() + "/file", "not a folder");
  EXPECT_EQ(List(env.Root() + "/file/sub/"), Names{"<Default>"});
  // Only regular files are listed: neither a FIFO nor a link to a device may block the listing or feed it
  // without end; a link to a regular file is listed.
  ASSERT_EQ(mkfifo((env.ConfigFolder() + "fifo.cfg").c_str(), 0600), 0);
  ASSERT_EQ(symlink("/dev/zero", (env.ConfigFolder() + "zero.cfg").c_str()), 0);
  ASSERT_EQ(symlink((env.ConfigFolder() + "real.cfg").c_str(), (env.ConfigFolder() + "s.cfg").c_str()), 0);
  std::filesystem::create_directory(env.ConfigFolder() + "folder.cfg");
  EXPECT_EQ(List(), (Names{"<Default>", "Real"}));
  EXPECT_EQ(configs.Count(), 2);
}

TEST_F(ConfigurationStore, MigrationCopiesOnlyWhatIsMissingAndTheDefaultOrderLeavesOutUntitledColumns) {
  const std::string earlier = env.Documents() + "/Quorvex Inc/Quorvex/5.0/FlatFileExport/";
  WriteFile(earlier + "old.cfg", ConfigText("Old", "<Column>\r\n<Index>13</Index>\r\n</Column>\r\n"));
  WriteFile(earlier + "both.cfg", ConfigText("Earlier both"));
  Put("both.cfg", "Current both");
  // File names compare without regard to letter case: "Mig.cfg" is the
  // current "mig.cfg" and stays out.
  WriteFile(earlier + "Mig.cfg", ConfigText("Earlier mig"));
  Put("mig.cfg", "Current mig");
  WriteFile(earlier + "Upper.cfg", ConfigText("Upper"));
  modFlatFile::MigrateEarlierSettings();
  EXPECT_EQ(ReadFile(env.ConfigFolder() + "old.cfg"), ReadFile(earlier + "old.cfg"));
  EXPECT_EQ(ReadFile(env.ConfigFolder() + "both.cfg"), ConfigText("Current both"));
  EXPECT_FALSE(test::FileExists(env.ConfigFolder() + "Mig.cfg"));
  EXPECT_EQ(ReadFile(env.ConfigFolder() + "mig.cfg"), ConfigText("Current mig"));
  EXPECT_TRUE(test::FileExists(env.ConfigFolder() + "Upper.cfg"));
  EXPECT_TRUE(test::FileExists(earlier + "old.cfg"));
  // Saving the copied "Upper.cfg" replaces it rather than adding "upper.cfg"
  // beside it, which the listing would hide behind the old file.
  List();
  configs.Item("upper")->SetOutputFile("/tmp/upper.txt");
  configs.Item("upper")->Save();
  EXPECT_EQ(configs.Item("upper")->ConfigFile(), env.ConfigFolder() + "Upper.cfg");
  EXPECT_FALSE(test::FileExists(env.ConfigFolder() + "upper.cfg"));
  List();
  EXPECT_EQ(configs.Item("upper")->OutputFile(), "/tmp/upper.txt");
  EXPECT_TRUE(test::FileExists(earlier + "Upper.cfg"));
  // Deleted by the user, brought back at the next start.
  std::filesystem::remove(env.ConfigFolder() + "old.cfg");
  modFlatFile::MigrateEarlierSettings();
  EXPECT_TRUE(test::FileExists(env.ConfigFolder() + "old.cfg"));
  // The default column order leaves out untitled columns.
  ExportConfig c;
  c.SetColumnsToDefault();
  std::vector<int> order;
  for (const auto& col : *c.Columns()) order.push_back(col->Index());
  std::vector<int> expected = {1, 2, 3, 4, 5, 6, 7, 8, 40, 41, 42, 43, 44, 45};
  for (int i = 9; i <= 39; ++i) expected.push_back(i);
  EXPECT_EQ(order, expected);
  EXPECT_EQ(c.Columns()->Item(9)->Width(), -1);  // no fixed width
  auto previous = c.Columns();
  c.SetColumnsToDefault();
  EXPECT_EQ(c.Columns()->Count(), 45);
  EXPECT_NE(c.Columns().get(), previous.get());
  EXPECT_EQ(previous->Count(), 45);

  // 39 columns, one without a title: the middle run is empty.
  auto host = MakeObject<JobColumns>();
  for (int i = 1; i <= 39; ++i) host->Add(MakeObject<JobColumn>(i, i == 5 ? "" : "C" + std::to_string(i)).Get());
  SetSharedExportColumns(host);
  c.SetColumnsToDefault();
  EXPECT_EQ(c.Columns()->Count(), 38);
  EXPECT_EQ(c.Columns()->Item(5)->Index(), 6);
  EXPECT_EQ(c.Columns()->Item(38)->Index(), 39);

  // Fewer than 39 columns: the lookup fails and the error reaches the caller.
  host->Remove(39);
  EXPECT_THROW(c.SetColumnsToDefault(), RuntimeError);
  SetSharedExportColumns(nullptr);
  EXPECT_THROW(c.SetColumnsToDefault(), RuntimeError);
}

}  // namespace
}  // namespace qx6
