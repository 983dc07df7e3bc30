#include "config/ExportConfig.h"

#include <gtest/gtest.h>

#include <sstream>

namespace qx6 {
namespace {

TEST(ExportConfig, NewObjectHoldsTheDefaults) {
  ExportConfig c;
  ASSERT_TRUE(c.Columns());
  std::ostringstream shown;  // flags as 1/0, in one group
  shown << c.OutputFile() << '|' << c.OutputType() << '|' << c.NumDecimalPlaces() << '|' << c.FieldDelimiter() << '|'
        << c.StringsInQuotes() << c.TrailingDelimiter() << c.ColumnNames() << c.BeginningDelimiter()
        << c.AutoStripDelimiters() << c.IsDefault() << '|' << c.RowDelimiter() << '|' << c.ConvertedRowDelimiter()
        << '|' << c.DateFormat() << '|' << c.Columns()->Count() << '|' << c.ExportType() << '|' << c.CreateOption() << '|'
        << c.Version() << '|' << c.ConfigFile();
  EXPECT_EQ(shown.str(), "|0|0|,|100000|0|\r\n|MMM dd, yyyy hh:mm:ss|0|0|0|4|");
}

TEST(ExportConfig, NumericFormatAndFieldDelimiterConversion) {
  ExportConfig c;
  EXPECT_EQ(c.NumericFormat(), "0.");
  c.SetNumDecimalPlaces(3);
  EXPECT_EQ(c.NumericFormat(), "0.000");
  const std::pair<const char*, const char*> delimiters[] = {
      {"<TAB>", "\t"}, {"<tab>", "\t"}, {"<Tab>", "\t"}, {"<TAB> ", "<TAB> "}, {"||", "||"}, {"", ""}};
  for (const auto& [typed, converted] : delimiters) {
    c.SetFieldDelimiter(typed);
    EXPECT_EQ(c.FieldDelimiter(), typed);
    EXPECT_EQ(c.ConvertedFieldDelimiter(), converted) << typed;
  }
  c.SetFieldDelimiter("||");
  c.SetOutputType(ExportConfig::FixedWidth);
  EXPECT_EQ(c.ConvertedFieldDelimiter(), "");
}

TEST(ExportConfig, RowDelimiterCodes) {
  ExportConfig c;
  const std::pair<int, const char*> expected[] = {{0, "\r\n"}, {1, "\r"}, {2, "\n"}, {3, ""}, {4, ""}, {5, ""}, {-1, ""}};
  for (auto [code, text] : expected) {
    c.SetRowDelimiter(code);
    EXPECT_EQ(c.ConvertedRowDelimiter(), text) << code;
  }
  c.SetRowDelimiter(4);
  c.SetCustomRowDelimiter("  ~~  ");
  EXPECT_EQ(c.ConvertedRowDelimiter(), "~~");
  c.SetCustomRowDelimiter("<TAB>");
  EXPECT_EQ(c.ConvertedRowDelimiter(), "<TAB>");
}

TEST(ExportConfig, TrimmedPropertiesDropOuterSpacesOnly) {
  ExportConfig c;
  c.SetName("  My export  ");
  c.SetOutputFile(" /tmp/a b.csv ");
  c.SetDateFormat(" yyyy-mm-dd ");
  c.SetStripChars(" -/ ");
  EXPECT_EQ(c.Name(), "My export");
  EXPECT_EQ(c.OutputFile(), "/tmp/a b.csv");
  EXPECT_EQ(c.DateFormat(), "yyyy-mm-dd");
  EXPECT_EQ(c.StripChars(), "-/");
  c.SetFieldDelimiter(" ; ");
  EXPECT_EQ(c.FieldDelimiter(), " ; ");
}

TEST(ExportConfig, ColumnsAreSharedNotCopied) {
  ExportConfig c;
  auto columns = c.Columns();
  columns->Add(std::make_shared<ExportColumn>());
  EXPECT_EQ(c.Columns()->Count(), 1);
  auto replacement = std::make_shared<ExportColumns>();
  c.SetColumns(replacement);
  EXPECT_EQ(c.Columns().get(), replacement.get());
}

TEST(ExportColumn, DefaultsAndTrimming) {
  ExportColumn col;
  EXPECT_EQ(col.Width(), -1);
  EXPECT_EQ(col.Index(), 0);
  EXPECT_TRUE(col.LastValue().IsNull());
  EXPECT_EQ(col.Action(), 0);
  EXPECT_EQ(col.Accumulate(), 0);
  EXPECT_FALSE(col.ChangedInGroup());
  col.SetPadChar(" ");
  EXPECT_EQ(col.PadChar(), "");
  col.SetPadChar(" 0 ");
  EXPECT_EQ(col.PadChar(), "0");
  col.SetName("  Title  ");
  EXPECT_EQ(col.Name(), "  Title  ");
  col.SetFieldName(" Job ID ");
  EXPECT_EQ(col.FieldName(), "Job ID");
}

}  // namespace
}  // namespace qx6
