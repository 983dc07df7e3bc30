#include <gtest/gtest.h>

#include <filesystem>

#include "config/ExportConfig.h"
#include "config/modFlatFile.h"
#include "runtime/RuntimeError.h"
#include "tests/config/ConfigTestFixture.h"

namespace qx6 {
namespace {

using test::ReadFile;
using test::WriteFile;

class ExportConfigFile : public test::ConfigTest {
 protected:
  // Initialisation makes the folder; Save expects it.
  ExportConfigFile() { std::filesystem::create_directories(env.ConfigFolder()); }
  ExportConfigPtr SaveAndLoad(ExportConfig& config) {
    config.Save();
    EXPECT_TRUE(ui->Messages().empty());
    auto loaded = std::make_shared<ExportConfig>();
    EXPECT_TRUE(loaded->Load(config.ConfigFile()));
    return loaded;
  }
  std::string Write(const std::string& name, const std::string& content) {
    std::string path = env.ConfigFolder() + name;
    WriteFile(path, content);
    return path;
  }
  int LoadError(const std::string& content) {
    ExportConfig config;
    try {
      config.Load(Write("bad.cfg", content));
    } catch (const RuntimeError& e) {
      return e.Number();
    }
    return 0;
  }
};

ExportColumnPtr Column(int16_t index, std::string name, int16_t width = -1) {
  auto c = std::make_shared<ExportColumn>();
  c->SetIndex(index);
  c->SetName(name);
  c->SetWidth(width);
  return c;
}

TEST_F(ExportConfigFile, SaveWritesTheExactLinesInTheAnsiCodePage) {
  ExportConfig c;
  c.SetName("Jobs für Büro");
  c.SetOutputFile("/data/out <1>.csv");
  c.SetOutputType(1);
  c.SetFieldDelimiter("<TAB>");
  c.SetBeginningDelimiter(true);
  c.SetRowDelimiter(4);
  c.SetCustomRowDelimiter("~");
  c.SetStringsInQuotes(false);
  c.SetColumnNames(true);
  c.SetCreateOption(2);
  c.SetDateFormat("yyyy-mm-dd");
  c.SetExportType(1);
  c.SetStripChars("-");
  c.SetAutoStripDelimiters(true);
  c.SetNumDecimalPlaces(2);
  c.Columns()->Add(Column(1, "Job ID", 8));
  auto text = Column(-1, "A&B");
  text->SetRightJustify(true);
  text->SetPadChar("0");
  text->SetAction(3);
  c.Columns()->Add(text);
  c.Columns()->Add(Column(12, "My date title"));
  c.Save();
  ASSERT_TRUE(ui->Messages().empty());
  EXPECT_EQ(c.ConfigFile(), env.ConfigFolder() + "jobs für büro.cfg");
  const std::string expected =
      "<?xml version=\"1.0\"?>\r\n"
      "<root>\r\n"
      "<Name>Jobs f\xFCr B\xFCro</Name>\r\n"
      "<Version>4</Version>\r\n"
      "<OutputFile>/data/out &lt1&gt.csv</OutputFile>\r\n"
      "<OutputType>1</OutputType>\r\n"
      "<FieldDelimiter>&ltTAB&gt</FieldDelimiter>\r\n"
      "<BeginningDelimiter>True</BeginningDelimiter>\r\n"
      "<TrailingDelimiter>False</TrailingDelimiter>\r\n"
      "<RowDelimiter>4</RowDelimiter>\r\n"
      "<CustomRowDelimiter>~</CustomRowDelimiter>\r\n"
      "<StringsInQuotes>False</StringsInQuotes>\r\n"
      "<ColumnNames>True</ColumnNames>\r\n"
      "<AppendJobs>False</AppendJobs>\r\n"
      "<DateFormat>yyyy-mm-dd</DateFormat>\r\n"
      "<ExportType>1</ExportType>\r\n"
      "<StripChars>-</StripChars>\r\n"
      "<AutoStrip>True</AutoStrip>\r\n"
      "<AppendDateTime>True</AppendDateTime>\r\n"
      "<DecimalPlaces>2</DecimalPlaces>\r\n"
      "<Column>\r\n<Index>1</Index>\r\n<Width>8</Width>\r\n<RightJustify>False</RightJustify>\r\n"
      "<PadChar></PadChar>\r\n<Action>0</Action>\r\n</Column>\r\n"
      "<Column>\r\n<Index>-1</Index>\r\n<Width>-1</Width>\r\n<RightJustify>True</RightJustify>\r\n"
      "<PadChar>0</PadChar>\r\n<Action>3</Action>\r\n<CustomName>A&ampB</CustomName>\r\n</Column>\r\n"
      // Index 12 is above this configuration's three columns, so its title is kept.
      "<Column>\r\n<Index>12</Index>\r\n<Width>-1</Width>\r\n<RightJustify>False</RightJustify>\r\n"
      "<PadChar></PadChar>\r\n<Action>0</Action>\r\n<CustomName>My date title</CustomName>\r\n</Column>\r\n";
  EXPECT_EQ(ReadFile(c.ConfigFile()), expected);
}

TEST_F(ExportConfigFile, EveryPropertySurvivesSaveAndLoad) {
  const std::string tricky = "a&b <c> \"q\" 'x' \r\n end";
  ExportConfig c;
  c.SetName("R&D \"weekly\" <all>");
  c.SetOutputFile("/tmp/o'ut&.csv");
  c.SetOutputType(0);
  c.SetFieldDelimiter(tricky);
  c.SetTrailingDelimiter(true);
  c.SetRowDelimiter(2);
  c.SetCustomRowDelimiter("x\r\ny");
  c.SetColumnNames(true);
  c.SetCreateOption(1);
  c.SetDateFormat("dd/mm/yyyy \"at\" hh:nn");
  c.SetStripChars("&<>\"'");
  c.SetNumDecimalPlaces(5);
  auto text = Column(-1, tricky, 12);
  text->SetAction(2);
  c.Columns()->Add(text);
  c.Columns()->Add(Column(2, "ignored title"));
  auto loaded = SaveAndLoad(c);
  EXPECT_EQ(loaded->Name(), c.Name());
  EXPECT_EQ(loaded->OutputFile(), c.OutputFile());
  EXPECT_EQ(loaded->FieldDelimiter(), tricky);
  EXPECT_FALSE(loaded->BeginningDelimiter());
  EXPECT_TRUE(loaded->TrailingDelimiter());
  EXPECT_EQ(loaded->RowDelimiter(), 2);
  EXPECT_EQ(loaded->CustomRowDelimiter(), "x\r\ny");
  EXPECT_TRUE(loaded->StringsInQuotes());
  EXPECT_TRUE(loaded->ColumnNames());
  EXPECT_EQ(loaded->CreateOption(), 1);
  EXPECT_EQ(loaded->DateFormat(), c.DateFormat());
  EXPECT_EQ(loaded->ExportType(), 0);
  EXPECT_EQ(loaded->StripChars(), c.StripChars());
  EXPECT_EQ(loaded->NumDecimalPlaces(), 5);
  EXPECT_EQ(loaded->Version(), 4);
  ASSERT_EQ(loaded->Columns()->Count(), 2);
  const auto& first = loaded->Columns()->Item(1);
  EXPECT_EQ(first->Index(), -1);
  EXPECT_EQ(first->Name(), tricky);
  EXPECT_EQ(first->Width(), 12);
  EXPECT_EQ(first->Action(), 2);
  // Within the configuration's column count: the host's title comes back.
  EXPECT_EQ(loaded->Columns()->Item(2)->Name(), "User");
}

TEST_F(ExportConfigFile, LoneCarriageReturnSplitsItsElementAndLoneLineFeedSurvives) {
  ExportConfig c;
  c.SetName("breaks");
  c.SetDateFormat("a\rb");
  c.SetStripChars("c\nd");
  c.SetOutputFile("literal &#xD; entity");
  auto loaded = SaveAndLoad(c);
  // Written as "&amp#xD;", read back through "&#xD;" as CR LF.
  EXPECT_EQ(loaded->OutputFile(), "literal \r\n entity");
  EXPECT_EQ(loaded->DateFormat(), "");
  EXPECT_EQ(loaded->StripChars(), "c\nd");
}

TEST_F(ExportConfigFile, TagsMatchInAnyCaseAndForeignLinesAreSkipped) {
  auto path = Write("lower.cfg",
                    "<?xml version=\"1.0\"?>\r\n<ROOT>\r\n<name>lower</name>\r\n<version>4</version>\r\n"
                    "<outputtype>1</outputtype>\r\n<comment>whatever</comment>\r\n"
                    "<Name attr=\"x\">attributed</Name>\r\n<column>\r\n<index>7</index>\r\n<width>5</width>\r\n"
                    "</COLUMN>\r\n</root>\r\n");
  ExportConfig c;
  ASSERT_TRUE(c.Load(path));
  EXPECT_EQ(c.Name(), "lower");
  EXPECT_EQ(c.OutputType(), 1);
  EXPECT_EQ(c.ConfigFile(), path);
  ASSERT_EQ(c.Columns()->Count(), 1);
  EXPECT_EQ(c.Columns()->Item(1)->Index(), 7);
  EXPECT_EQ(c.Columns()->Item(1)->Name(), "Document");
  EXPECT_EQ(c.Columns()->Item(1)->Width(), 5);
}

TEST_F(ExportConfigFile, AColumnStaysCurrentAfterItsClosingTag) {
  // Only <Column> changes the current column: elements before the first one
  // are ignored, those after </Column> change the column just added, and a
  // repeated </Column> adds it again.
  auto path = Write("after.cfg",
                    "<Name>after</Name>\r\n<Version>4</Version>\r\n<Width>9</Width>\r\n</Column>\r\n"
                    "<Column>\r\n<Index>7</Index>\r\n</Column>\r\n<Index>2</Index>\r\n<Width>4</Width>\r\n"
                    "</Column>\r\n<Column>\r\n<Index>3</Index>\r\n</Column>\r\n");
  ExportConfig c;
  ASSERT_TRUE(c.Load(path));
  ASSERT_EQ(c.Columns()->Count(), 3);
  EXPECT_EQ(c.Columns()->Item(1), c.Columns()->Item(2));
  EXPECT_EQ(c.Columns()->Item(1)->Index(), 2);
  EXPECT_EQ(c.Columns()->Item(1)->Name(), "User");
  EXPECT_EQ(c.Columns()->Item(1)->Width(), 4);
  EXPECT_EQ(c.Columns()->Item(3)->Index(), 3);
  EXPECT_EQ(c.Columns()->Item(3)->Width(), -1);
}

TEST_F(ExportConfigFile, MissingElementsKeepDefaultsButDecimalPlacesIsThree) {
  ExportConfig c;
  ASSERT_TRUE(c.Load(Write("min.cfg", "<Name>min</Name>\r\n<Version>4</Version>\r\n")));
  EXPECT_EQ(c.NumDecimalPlaces(), 3);
  EXPECT_EQ(c.FieldDelimiter(), ",");
  EXPECT_TRUE(c.StringsInQuotes());
  EXPECT_EQ(c.DateFormat(), "MMM dd, yyyy hh:mm:ss");
  EXPECT_EQ(c.Columns()->Count(), 0);
}

TEST_F(ExportConfigFile, VersionOneFileMapsIndexesAndHonoursTotals) {
  // No Version element: version 1. Index 7 becomes 11; totals column 7 too.
  auto path = Write("old.cfg",
                    "<Name>old</Name>\r\n<TotalsOnly>True</TotalsOnly>\r\n<TotalsColumn>7</TotalsColumn>\r\n"
                    "<Column>\r\n<Index>7</Index>\r\n</Column>\r\n"
                    "<Column>\r\n<Index>2</Index>\r\n</Column>\r\n"
                    "<Column>\r\n<Index>26</Index>\r\n</Column>\r\n");
  ExportConfig c;
  ASSERT_TRUE(c.Load(path));
  EXPECT_EQ(c.Version(), 4);
  EXPECT_EQ(c.ExportType(), 1);
  ASSERT_EQ(c.Columns()->Count(), 3);
  EXPECT_EQ(c.Columns()->Item(1)->Index(), 11);
  EXPECT_EQ(c.Columns()->Item(1)->Action(), 1);
  EXPECT_EQ(c.Columns()->Item(1)->Name(), "Queue");
  EXPECT_EQ(c.Columns()->Item(2)->Index(), 3);
  EXPECT_EQ(c.Columns()->Item(2)->Action(), 0);
  // 26: step 1 gives 30, step 2 adds 5, step 3 adds 1.
  EXPECT_EQ(c.Columns()->Item(3)->Index(), 36);
}

TEST_F(ExportConfigFile, VersionThreeIgnoresTotalsAndShiftsAboveTwelve) {
  auto path = Write("v3.cfg",
                    "<Name>v3</Name>\r\n<Version>3</Version>\r\n<TotalsOnly>True</TotalsOnly>\r\n"
                    "<TotalsColumn>13</TotalsColumn>\r\n<Column>\r\n<Index>13</Index>\r\n</Column>\r\n"
                    "<Column>\r\n<Index>12</Index>\r\n</Column>\r\n");
  ExportConfig c;
  ASSERT_TRUE(c.Load(path));
  EXPECT_EQ(c.ExportType(), 0);
  EXPECT_EQ(c.Columns()->Item(1)->Index(), 14);
  EXPECT_EQ(c.Columns()->Item(1)->Action(), 0);
  EXPECT_EQ(c.Columns()->Item(1)->Name(), "Project");
  EXPECT_EQ(c.Columns()->Item(2)->Index(), 12);
}

TEST_F(ExportConfigFile, ExportTypeElementCancelsThePendingTotalsColumn) {
  auto path = Write("v2.cfg",
                    "<Version>2</Version>\r\n<TotalsOnly>True</TotalsOnly>\r\n<TotalsColumn>5</TotalsColumn>\r\n"
                    "<ExportType>1</ExportType>\r\n<Column>\r\n<Index>5</Index>\r\n</Column>\r\n");
  ExportConfig c;
  ASSERT_TRUE(c.Load(path));
  EXPECT_EQ(c.Columns()->Item(1)->Action(), 0);
}

TEST_F(ExportConfigFile, ValuesThatCannotBeConvertedStopTheLoad) {
  EXPECT_EQ(LoadError("<OutputType>abc</OutputType>\r\n"), 13);
  EXPECT_EQ(LoadError("<DecimalPlaces></DecimalPlaces>\r\n"), 13);
  EXPECT_EQ(LoadError("<RowDelimiter>40000</RowDelimiter>\r\n"), 6);
  EXPECT_EQ(LoadError("<ColumnNames>yes</ColumnNames>\r\n"), 13);
  EXPECT_EQ(LoadError("<Column>\r\n<Width>-</Width>\r\n"), 13);
  EXPECT_EQ(LoadError("<StringsInQuotes>0</StringsInQuotes>\r\n<ColumnNames>TRUE</ColumnNames>\r\n"), 0);
  ExportConfig c;
  EXPECT_THROW(c.Load(Write("partial.cfg", "<Name>kept</Name>\r\n<OutputType>x</OutputType>\r\n<OutputFile>f</OutputFile>\r\n")),
               RuntimeError);
  EXPECT_EQ(c.Name(), "kept");
  EXPECT_EQ(c.OutputFile(), "");
  // The file was closed: another load of it works.
  ExportConfig again;
  EXPECT_TRUE(again.Load(Write("ok.cfg", "<Name>ok</Name>\r\n")));
}

TEST_F(ExportConfigFile, MissingFileLeavesTheObjectUnchanged) {
  ExportConfig c;
  EXPECT_FALSE(c.Load(env.ConfigFolder() + "none.cfg"));
  EXPECT_EQ(c.ConfigFile(), "");
  EXPECT_EQ(c.NumDecimalPlaces(), 0);
  EXPECT_EQ(c.Version(), 4);
}

TEST_F(ExportConfigFile, SaveFailureShowsMessage201AndKeepsConfigFile) {
  std::filesystem::create_directories(env.ConfigFolder());
  // A folder where the file would go makes the open fail.
  std::filesystem::create_directories(env.ConfigFolder() + "blocked.cfg");
  ExportConfig c;
  c.SetName("Blocked");
  c.Save();
  ASSERT_EQ(ui->Messages().size(), 1u);
  const auto& shown = ui->Messages()[0];
  EXPECT_EQ(shown.title, "Quorvex 6");
  EXPECT_EQ(shown.buttons, platform::MessageButtons::OK);
  EXPECT_EQ(shown.icon, platform::MessageIcon::Exclamation);
  EXPECT_FALSE(shown.text.empty());
  EXPECT_NE(shown.text.find("75"), std::string::npos) << shown.text;
  EXPECT_EQ(c.ConfigFile(), "");
}

TEST_F(ExportConfigFile, DefaultConfigurationIsNeverSavedOrDeleted) {
  ExportConfig c;
  c.SetName("<Default>");
  c.SetIsDefault(true);
  c.Save();
  EXPECT_FALSE(c.Delete());
  EXPECT_TRUE(ui->Messages().empty());
  EXPECT_FALSE(std::filesystem::exists(env.ConfigFolder() + "_default_.cfg"));
}

TEST_F(ExportConfigFile, DeleteRemovesTheFileAndReportsFailuresWith200) {
  ExportConfig never;
  never.SetName("never saved");
  EXPECT_FALSE(never.Delete());
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_NE(ui->Messages()[0].text.find("53"), std::string::npos) << ui->Messages()[0].text;
  ExportConfig c;
  c.SetName("gone");
  c.Save();
  EXPECT_TRUE(std::filesystem::exists(c.ConfigFile()));
  EXPECT_TRUE(c.Delete());
  EXPECT_FALSE(std::filesystem::exists(c.ConfigFile()));
  EXPECT_EQ(ui->Messages().size(), 1u);
}

}  // namespace
}  // namespace qx6
