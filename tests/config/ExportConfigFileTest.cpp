#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "config/ExportConfig.h"
#include "config/modFlatFile.h"
#include "config/modXMLHelper.h"
#include "runtime/RuntimeError.h"
#include "tests/config/ConfigTestFixture.h"
#include "tests/runtime/RuntimeTesting.h"

namespace qx6 {
namespace {

using namespace modXMLHelper;
using test::ReadFile;
using test::WriteFile;

class ExportConfigFile : public test::ConfigTest {
 protected:
  // Initialisation makes the folder; Save expects it.
  ExportConfigFile() { std::filesystem::create_directories(env.ConfigFolder()); }
  std::string Write(const std::string& name, const std::string& content) {
    std::string path = env.ConfigFolder() + name;
    WriteFile(path, content);
    return path;
  }
  ExportConfigPtr Load(const std::string& content) {
    auto config = std::make_shared<ExportConfig>();
    EXPECT_TRUE(config->Load(Write("t.cfg", content)));
    return config;
  }
  int LoadError(const std::string& content) {
    return test::ErrorOf([&] { ExportConfig().Load(Write("bad.cfg", content)); });
  }
};

// A column as "index name width".
std::string Show(const ExportColumnPtr& c) {
  return std::to_string(c->Index()) + " " + c->Name() + " " + std::to_string(c->Width());
}

std::string ColumnBlock(int index, const std::string& inner = "") {
  return "<Column>\r\n<Index>" + std::to_string(index) + "</Index>\r\n" + inner + "</Column>\r\n";
}

// Every property differs from its default, so a value the load drops or
// misplaces, or the save leaves out, changes the file written again from
// what was read. The file is in the ANSI code page.
TEST_F(ExportConfigFile, LoadReadsEveryLineAndSaveWritesTheSameFileBackAndLineBreaksInValues) {
  const std::string tricky = "a&b <c> \"q\" 'x' \r\n end";
  const std::string escaped = "a&ampb &ltc&gt &quotq&quot &aposx&apos &#xD; end";
  const std::string plain = "<RightJustify>False</RightJustify>\r\n<PadChar></PadChar>\r\n<Action>0</Action>\r\n";
  const std::string expected =
      "<?xml version=\"1.0\"?>\r\n<root>\r\n<Name>Jobs f\xFCr &ltB\xFCro&gt</Name>\r\n<Version>4</Version>\r\n"
      "<OutputFile>/data/o&aposut&amp.csv</OutputFile>\r\n<OutputType>1</OutputType>\r\n"
      "<FieldDelimiter>" + escaped + "</FieldDelimiter>\r\n<BeginningDelimiter>True</BeginningDelimiter>\r\n"
      "<TrailingDelimiter>True</TrailingDelimiter>\r\n<RowDelimiter>4</RowDelimiter>\r\n"
      "<CustomRowDelimiter>~</CustomRowDelimiter>\r\n<StringsInQuotes>False</StringsInQuotes>\r\n"
      "<ColumnNames>True</ColumnNames>\r\n<AppendJobs>False</AppendJobs>\r\n<DateFormat>yyyy-mm-dd</DateFormat>\r\n"
      "<ExportType>1</ExportType>\r\n<StripChars>-</StripChars>\r\n<AutoStrip>True</AutoStrip>\r\n"
      "<AppendDateTime>True</AppendDateTime>\r\n<DecimalPlaces>2</DecimalPlaces>\r\n" +
      ColumnBlock(1, "<Width>8</Width>\r\n" + plain) +
      ColumnBlock(-1, "<Width>-1</Width>\r\n<RightJustify>True</RightJustify>\r\n<PadChar>0</PadChar>\r\n"
                      "<Action>3</Action>\r\n<CustomName>" + escaped + "</CustomName>\r\n") +
      ColumnBlock(2, "<Width>-1</Width>\r\n" + plain) +
      // Index 12 is above this configuration's four columns, so its title is kept.
      ColumnBlock(12, "<Width>-1</Width>\r\n" + plain + "<CustomName>My date title</CustomName>\r\n");
  const std::string path = Write("jobs f\u00FCr _b\u00FCro_.cfg", expected);
  ExportConfig c;
  ASSERT_TRUE(c.Load(path));
  EXPECT_EQ(c.Name(), "Jobs f\u00FCr <B\u00FCro>");
  EXPECT_EQ(c.FieldDelimiter(), tricky);
  EXPECT_EQ(c.Columns()->Item(2)->Name(), tricky);
  EXPECT_EQ(c.Columns()->Item(3)->Name(), "User");  // the host's title
  std::filesystem::remove(path);
  c.Save();
  ASSERT_TRUE(ui->Messages().empty());
  EXPECT_EQ(c.ConfigFile(), path);
  EXPECT_EQ(ReadFile(path), expected);
  // A lone CR splits its element; a lone LF survives. "&#xD;" in a value is
  // written as "&amp#xD;" and read back through "&#xD;" as CR LF.
  ExportConfig breaks;
  breaks.SetName("breaks");
  breaks.SetDateFormat("a\rb");
  breaks.SetStripChars("c\nd");
  breaks.SetOutputFile("literal &#xD; entity");
  breaks.Save();
  ExportConfig loaded;
  ASSERT_TRUE(loaded.Load(breaks.ConfigFile()));
  EXPECT_EQ(std::tuple(loaded.OutputFile(), loaded.DateFormat(), loaded.StripChars()),
            std::tuple("literal \r\n entity", "", "c\nd"));
}

TEST_F(ExportConfigFile, TagsMatchInAnyCaseForeignLinesAreIgnoredAColumnStaysCurrentAndDefaultsStay) {
  auto c = Load("<?xml version=\"1.0\"?>\r\n<ROOT>\r\n<name>lower</name>\r\n<version>4</version>\r\n"
                "<outputtype>1</outputtype>\r\n<comment>whatever</comment>\r\n"
                "<Name attr=\"x\">attributed</Name>\r\n<column>\r\n<index>7</index>\r\n<width>5</width>\r\n"
                "</COLUMN>\r\n</root>\r\n");
  EXPECT_EQ(c->Name(), "lower");
  EXPECT_EQ(c->OutputType(), 1);
  EXPECT_EQ(c->ConfigFile(), env.ConfigFolder() + "t.cfg");
  ASSERT_EQ(c->Columns()->Count(), 1);
  EXPECT_EQ(Show(c->Columns()->Item(1)), "7 Document 5");

  // Only <Column> changes the current column: elements before the first one
  // are ignored, those after </Column> change the column just added, and a
  // repeated </Column> adds it again.
  c = Load("<Name>after</Name>\r\n<Version>4</Version>\r\n<Width>9</Width>\r\n</Column>\r\n" + ColumnBlock(7) +
                "<Index>2</Index>\r\n<Width>4</Width>\r\n</Column>\r\n" + ColumnBlock(3));
  ASSERT_EQ(c->Columns()->Count(), 3);
  EXPECT_EQ(c->Columns()->Item(1), c->Columns()->Item(2));
  EXPECT_EQ(Show(c->Columns()->Item(1)) + ", " + Show(c->Columns()->Item(3)), "2 User 4, 3 Full Name -1");
  // Missing elements keep their defaults, but the decimal places are three.
  c = Load("<Name>min</Name>\r\n<Version>4</Version>\r\n");
  EXPECT_EQ(std::to_string(c->NumDecimalPlaces()) + c->FieldDelimiter() + std::to_string(c->StringsInQuotes()) +
                c->DateFormat() + std::to_string(c->Columns()->Count()),
            "3,1MMM dd, yyyy hh:mm:ss0");
  // A missing file leaves the object as it was.
  ExportConfig none;
  EXPECT_FALSE(none.Load(env.ConfigFolder() + "none.cfg"));
  EXPECT_EQ(none.ConfigFile(), "");
  EXPECT_EQ(none.NumDecimalPlaces(), 0);
}

// Earlier versions number the host's columns differently and may carry a
// totals column, which becomes a summary with that column's group action.
TEST_F(ExportConfigFile, EarlierVersionsMapIndexesAndTotalsAndValuesThatCannotBeConvertedStopTheLoad) {
  const std::string totals = "<TotalsOnly>True</TotalsOnly>\r\n<TotalsColumn>";
  struct Case {
    std::string header;
    std::vector<int> indexes;
    std::string loaded;  // each column's "index/action"
    int exportType;
  };
  const Case cases[] = {
      // No Version element: version 1. 26: step 1 gives 30, step 2 adds 5, step 3 adds 1.
      {totals + "7</TotalsColumn>\r\n", {7, 2, 26}, "11/1 3/0 36/0 ", 1},
      {"<Version>3</Version>\r\n" + totals + "13</TotalsColumn>\r\n", {13, 12}, "14/0 12/0 ", 0},
      // An ExportType element cancels the pending totals column.
      {"<Version>2</Version>\r\n" + totals + "5</TotalsColumn>\r\n<ExportType>1</ExportType>\r\n", {5}, "5/0 ", 1},
  };
  for (const Case& k : cases) {
    std::string columns, loaded;
    for (int index : k.indexes) columns += ColumnBlock(index);
    auto c = Load("<Name>old</Name>\r\n" + k.header + columns);
    EXPECT_EQ((std::pair<int, int>(c->Version(), c->ExportType())), std::pair(4, k.exportType)) << k.header;
    for (const auto& col : *c->Columns()) {
      loaded += std::to_string(col->Index()) + "/" + std::to_string(col->Action()) + " ";
      EXPECT_EQ(col->Name(), host::HostColumnTable()[static_cast<size_t>(col->Index() - 1)].title) << k.header;
    }
    EXPECT_EQ(loaded, k.loaded) << k.header;
  }
  const std::pair<const char*, int> errors[] = {
      {"<OutputType>abc</OutputType>\r\n", 13},    {"<DecimalPlaces></DecimalPlaces>\r\n", 13},
      {"<RowDelimiter>40000</RowDelimiter>\r\n", 6}, {"<ColumnNames>yes</ColumnNames>\r\n", 13},
      {"<Column>\r\n<Width>-</Width>\r\n", 13},
      {"<StringsInQuotes>0</StringsInQuotes>\r\n<ColumnNames>TRUE</ColumnNames>\r\n", 0}};
  for (const auto& [content, error] : errors) EXPECT_EQ(LoadError(content), error) << content;
  ExportConfig c;
  EXPECT_THROW(
      c.Load(Write("partial.cfg", "<Name>kept</Name>\r\n<OutputType>x</OutputType>\r\n<OutputFile>f</OutputFile>\r\n")),
      RuntimeError);
  EXPECT_EQ(c.Name(), "kept");
  EXPECT_EQ(c.OutputFile(), "");
  // The file was closed: another load of it works.
  EXPECT_TRUE(ExportConfig().Load(Write("ok.cfg", "<Name>ok</Name>\r\n")));
}

TEST_F(ExportConfigFile, SaveAndDeleteFailuresShowTheirMessages) {
  // A folder where the file would go makes the open fail.
  std::filesystem::create_directories(env.ConfigFolder() + "blocked.cfg");
  ExportConfig c;
  c.SetName("Blocked");
  c.Save();
  ASSERT_EQ(ui->Messages().size(), 1u);
  const auto& shown = ui->Messages()[0];
  EXPECT_EQ(std::tuple(shown.title, shown.buttons, shown.icon),
            std::tuple("Quorvex 6", platform::MessageButtons::OK, platform::MessageIcon::Exclamation));
  EXPECT_NE(shown.text.find("75"), std::string::npos) << shown.text;
  EXPECT_EQ(c.ConfigFile(), "");

  ExportConfig builtIn;
  builtIn.SetName("<Default>");
  builtIn.SetIsDefault(true);
  builtIn.Save();
  EXPECT_FALSE(builtIn.Delete()) << "the default configuration is never saved or deleted";
  EXPECT_EQ(ui->Messages().size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(env.ConfigFolder() + "_default_.cfg"));

  ExportConfig never;
  never.SetName("never saved");
  EXPECT_FALSE(never.Delete());
  ASSERT_EQ(ui->Messages().size(), 2u);
  EXPECT_NE(ui->Messages()[1].text.find("53"), std::string::npos) << ui->Messages()[1].text;
  ExportConfig gone;
  gone.SetName("gone");
  gone.Save();
  EXPECT_TRUE(std::filesystem::exists(gone.ConfigFile()));
  EXPECT_TRUE(gone.Delete());
  EXPECT_FALSE(std::filesystem::exists(gone.ConfigFile()));
  EXPECT_EQ(ui->Messages().size(), 2u);
}

// The delimiter codes, "<tab>" and the decimal places show in the rows
// written (RowAssembly); here, the texts that are not converted.
TEST(ExportConfig, TextsAreTrimmedAndTakenLiterallyAndTheXmlHelperUnescapesAndFindsTags) {
  ExportConfig c;
  c.SetRowDelimiter(4);
  c.SetCustomRowDelimiter("  ~~  ");
  EXPECT_EQ(c.ConvertedRowDelimiter(), "~~");
  c.SetCustomRowDelimiter("<TAB>");
  EXPECT_EQ(c.ConvertedRowDelimiter(), "<TAB>");
  c.SetFieldDelimiter("<TAB> ");
  EXPECT_EQ(c.ConvertedFieldDelimiter(), "<TAB> ");
  // Trimmed properties drop outer spaces only.
  c.SetName("  My export  ");
  c.SetOutputFile(" /tmp/a b.csv ");
  c.SetDateFormat(" yyyy-mm-dd ");
  c.SetStripChars(" -/ ");
  c.SetFieldDelimiter(" ; ");
  EXPECT_EQ(c.Name() + "|" + c.OutputFile() + "|" + c.DateFormat() + "|" + c.StripChars() + "|" + c.FieldDelimiter(),
            "My export|/tmp/a b.csv|yyyy-mm-dd|-/| ; ");
  ExportColumn col;
  col.SetPadChar(" ");
  EXPECT_EQ(col.PadChar(), "");
  col.SetPadChar(" 0 ");
  col.SetName("  Title  ");
  col.SetFieldName(" Job ID ");
  EXPECT_EQ(col.PadChar() + "|" + col.Name() + "|" + col.FieldName(), "0|  Title  |Job ID");
  // Each escape, and the entity text protected by escaping "&" first, show in the configuration files written and
  // read (ExportConfigFile).
  EXPECT_EQ(XmlUnescape("&amp#xD;"), "\r\n");
  EXPECT_EQ(XmlUnescape("&ltb&gt&quot&apos&amp"), "<b>\"'&");
  // "&amplt" becomes "&lt", which stays: &lt was replaced before &amp.
  EXPECT_EQ(XmlUnescape("&amplt"), "&lt");
  EXPECT_EQ(XmlUnescape(XmlEscape("&lt; a&&b")), "&lt; a&&b");
  // A tag's name and value follow the first and last brackets.
  const std::pair<const char*, const char*> names[] = {
      {"<Name>abc</Name>", "Name"}, {"  <Column>", "Column"}, {"</Column>", "/Column"},
      {"<Name attr=\"1\">x</Name>", "Name attr=\"1\""}, {"no tag", ""}, {">x<", ""}, {"<>", ""}};
  for (const auto& [line, name] : names) EXPECT_EQ(XmlTagName(line), name) << line;
  const std::pair<const char*, const char*> values[] = {{"<DateFormat>a>b</DateFormat>", "a>b"},
      {"<Name>A&ampB</Name>", "A&B"}, {"<Column>", ""}, {"<Name>unterminated", ""}, {"text", ""}};
  for (const auto& [line, value] : values) EXPECT_EQ(XmlTagValue(line), value) << line;
}

}  // namespace
}  // namespace qx6
