#include "exporter/RowAssembler.h"

#include <gtest/gtest.h>

#include <tuple>

#include "platform/ComponentFile.h"
#include "runtime/DateTime.h"
#include "runtime/Locale.h"
#include "runtime/RuntimeError.h"
#include "tests/exporter/ExporterTestSupport.h"
#include "tests/runtime/RuntimeTesting.h"
#include "ui/modLanguage.h"

namespace qx6 {
namespace {

using test::Col;
using test::ErrorOf;
using test::Job;

class RowAssembly : public ::testing::Test {
 protected:
  RowAssembly() {
    platform::SetComponentFolderForTesting(QX6_PRODUCT_DIR "/exporters");
    modLanguage::ResetForTesting();
    modLanguage::LoadLanguage("qx6jeflt");
    config.SetStringsInQuotes(false);
  }
  ~RowAssembly() override {
    Locale::SetUser("en_US");
    modLanguage::ResetForTesting();
    platform::SetComponentFolderForTesting("");
  }
  std::string Rows(const std::vector<ComPtr<IJobColumns>>& jobs, bool titles = false) {
    RowAssembler rows(config);
    return test::Output([&](int16_t file) {
      if (titles) rows.WriteColumnNames(file);
      for (const auto& job : jobs) rows.WriteRow(*job, file);
    });
  }
  std::string Value(int16_t index, const Variant& value) {
    SetColumns({Col(index)});
    RowAssembler rows(config);
    return rows.GetColumnValue(rows.Columns()[0], *Job({{index, value}}));
  }
  void SetColumns(std::initializer_list<ExportColumnPtr> columns) {
    config.Columns()->Clear();
    for (const ExportColumnPtr& column : columns) config.Columns()->Add(column);
  }
  ExportConfig config;
};

TEST_F(RowAssembly, FieldAndRowDelimiters) {
  SetColumns({Col(-1, "a"), Col(-1, "b")});
  // Beginning and trailing delimiter, field delimiter, row delimiter code, the rows. A two-character
  // delimiter always stays after the last field; an unknown row code writes none.
  const std::tuple<bool, bool, const char*, int, const char*> cases[] = {
      {false, false, ",", 0, "a,b\r\na,b\r\n"}, {true, false, ",", 1, ",a,b\r,a,b\r"},
      {false, true, ",", 2, "a,b,\na,b,\n"},     {false, false, "||", 3, "a||b||a||b||"},
      {false, false, "<tab>", 4, "a\tb<EOR>a\tb<EOR>"}, {false, false, ",", 9, "a,ba,b"}};
  config.SetCustomRowDelimiter("<EOR>");
  for (const auto& [beginning, trailing, delimiter, rowCode, rows] : cases) {
    config.SetBeginningDelimiter(beginning);
    config.SetTrailingDelimiter(trailing);
    config.SetFieldDelimiter(delimiter);
    config.SetRowDelimiter(rowCode);
    EXPECT_EQ(Rows({Job({}), Job({})}), rows) << delimiter << " " << rowCode;
  }
}

TEST_F(RowAssembly, FixedWidthCutsAndPads) {
  config.SetOutputType(ExportConfig::FixedWidth);
  config.SetFieldDelimiter(";");  // has no effect in fixed width
  config.SetBeginningDelimiter(true);
  SetColumns({Col(2, "", 5), Col(23, "", 5, true, "0"), Col(24, "", 5, true, "xy")});
  EXPECT_EQ(Rows({Job({{2, Variant("ab")}, {23, Variant(42)}, {24, Variant(42)}}),
                  Job({{2, Variant("abcdefg")}, {23, Variant(1234567)}, {24, Variant(12345)}})}),
            "ab   00042xxx42\r\nabcde1234512345\r\n");
  // Widths count characters, not bytes.
  SetColumns({Col(2, "", 4)});
  config.SetRowDelimiter(3);
  EXPECT_EQ(Rows({Job({{2, Variant("Müller")}}), Job({{2, Variant("Zoë")}})}), "M\xFCllZo\xEB ");
}

TEST_F(RowAssembly, StrippingAppliesToValuesNotTitles) {
  config.SetColumnNames(true);
  config.SetStripChars("-/");
  SetColumns({Col(-1, "a-b/c"), Col(7, "Doc-Title")});
  EXPECT_EQ(Rows({Job({{7, Variant("x-y/z\r\nnext")}})}, true), "a-b/c,Doc-Title\r\nabc,xyznext\r\n");
  // Automatic stripping removes the delimiters as whole texts.
  config.SetStripChars("");
  config.SetAutoStripDelimiters(true);
  config.SetFieldDelimiter("<TAB>");
  config.SetRowDelimiter(4);
  config.SetCustomRowDelimiter("##");
  config.SetColumnNames(false);
  SetColumns({Col(7)});
  EXPECT_EQ(Rows({Job({{7, Variant("a\tb#c##d")}})}), "ab#cd##");
}

// Values are scanned sixteen bytes at a time for anything to strip: a character
// at any place of a longer value, among bytes with the high bit set, is found.
TEST_F(RowAssembly, StrippedCharacterIsFoundAtEveryPlaceOfAValue) {
  config.SetStripChars("~");
  config.SetAutoStripDelimiters(true);
  const std::string filler = "\xC3\xA9\x01\x7F\xFF abcdefghijklmnopq";  // é, controls, a stray byte
  for (size_t length = 1; length <= 20; ++length) {
    const std::string plain = filler.substr(0, length);
    EXPECT_EQ(Value(7, Variant(plain)), plain);
    for (size_t at = 0; at <= length; ++at)
      for (const char* removed : {"~", ",", "\r", "\n", "\r\n"})
        EXPECT_EQ(Value(7, Variant(std::string(plain).insert(at, removed))), plain) << length << ' ' << at << removed;
  }
}

// A row is searched as a whole for anything to strip; a hit in any value
// assembles it again with each value cleaned, before widths and quotes.
TEST_F(RowAssembly, RowsWithSomethingToStripAreAssembledAgain) {
  config.SetStripChars("~");
  SetColumns({Col(7), Col(-1, "t~x"), Col(2)});
  EXPECT_EQ(Rows({Job({{7, Variant("plain")}, {2, Variant("ann")}}), Job({{7, Variant("a~b\r\nc")}, {2, Variant("~x~")}}),
                  Job({{7, Variant("last")}, {2, Variant("eve")}})}),
            "plain,tx,ann\r\nabc,tx,x\r\nlast,tx,eve\r\n");
  config.SetStringsInQuotes(true);
  config.SetOutputType(ExportConfig::FixedWidth);
  for (const ExportColumnPtr& column : *config.Columns()) column->SetWidth(4);
  config.Columns()->Item(1)->SetPadChar("~");  // padding is never stripped
  EXPECT_EQ(Rows({Job({{7, Variant("ab~cd~")}, {2, Variant("a\nb")}}), Job({{7, Variant("z")}, {2, Variant("x")}})}),
            "abcdtx  ab  \r\nz~~~tx  x   \r\n");
  // Quoted fields end in the field delimiter, which is stripped: each value
  // is cleaned on its own, texts and whole numbers alike.
  config.SetOutputType(ExportConfig::Delimited);
  config.SetStripChars("7");
  config.SetAutoStripDelimiters(true);
  SetColumns({Col(7), Col(2), Col(23), Col(24)});
  EXPECT_EQ(Rows({Job({{7, Variant("a,b\"c")}, {2, Variant("ann")}, {23, Variant::Long(171)}, {24, Variant::Long(-2)}}),
                  Job({{7, Variant("plain")}, {2, Variant(",")}, {23, Variant::Long(7)}})}),
            "\"ab\"c\",\"ann\",\"11\",\"-2\"\r\n\"plain\",\"\",\"\",\"\"\r\n");
  // A decimal comma is a field delimiter, stripped as well.
  Locale::SetUser("de_DE");
  config.SetNumDecimalPlaces(2);
  config.SetStripChars("");
  config.Columns()->Add(Col(32));
  EXPECT_EQ(Rows({Job({{23, Variant::Long(7)}, {32, Variant(1.5)}})}), "\"\",\"\",\"7\",\"\",\"150\"\r\n");
}

// Each row's value is the text of that host column, or the runtime error it fails with.
TEST_F(RowAssembly, HostColumnsWithTextsOfTheirOwn) {
  const double when = DateTime::DateSerial(2024, 1, 5) + DateTime::TimeSerial(14, 30, 5);
  config.SetDateFormat("");
  EXPECT_EQ(Value(12, Variant::Date(when)), "Jan 05, 2024 14:30:05");
  config.SetDateFormat("yyyy-mm-dd hh:nn");
  struct Case {
    int16_t decimals, column;
    Variant value;
    const char* text;
    int error = 0;
    const char* locale = "en_US";
  };
  const Case cases[] = {
      {0, 12, Variant::Date(when), "2024-01-05 14:30"}, {0, 12, "2024-01-05 14:30:05", "2024-01-05 14:30"},
      {0, 12, "not a date", "not a date"}, {0, 28, 3, "3"}, {0, 28, 2.5, "2.50"}, {0, 28, "abc", ""},
      {0, 32, 12.4, "12."}, {2, 35, 1.005, "1.01"}, {2, 34, "n/a", ""}, {2, 33, true, "-1.00"},
      {2, 20, true, "Yes"}, {2, 21, false, "No"}, {2, 27, 5, "No"}, {2, 36, "maybe", "maybe"},
      {2, 10, 0, "Printed"}, {2, 10, int16_t{3}, "Held"}, {2, 10, 7, ""}, {2, 10, Variant::Null(), ""},
      {2, 7, Variant::Null(), ""}, {2, 1, 123456, "123456"},
      // Values that have no text.
      {2, 12, Variant::Null(), "", 94}, {2, 20, Variant::Null(), "", 94}, {2, 36, Variant::Null(), "", 94},
      {0, 28, 3e10, "", 6},
      // A decimal comma.
      {0, 32, 12.4, "12,", 0, "de_DE"}, {0, 28, 2.5, "2,50", 0, "de_DE"}, {0, 24, 2.5, "2,5", 0, "de_DE"}};
  for (const Case& c : cases) {
    SCOPED_TRACE("column " + std::to_string(c.column) + ", " + std::to_string(c.decimals) + " decimals, " + c.locale);
    Locale::SetUser(c.locale);
    config.SetNumDecimalPlaces(c.decimals);
    std::string text;
    EXPECT_EQ(ErrorOf([&] { text = Value(c.column, c.value); }), c.error);
    EXPECT_EQ(text, c.text);
  }
}

// Quotes wrap every field and title and keep inner quotes; a title row is
// always written, an empty row never.
TEST_F(RowAssembly, TitleRowsAndQuotesAndEmptyRows) {
  config.SetStringsInQuotes(true);
  config.SetColumnNames(true);
  SetColumns({Col(7), Col(23)});
  EXPECT_EQ(Rows({Job({{7, Variant("say \"hi\"")}, {23, Variant(5)}})}, true),
            "\"Document\",\"Pages\"\r\n\"say \"hi\"\",\"5\"\r\n");
  config.SetStringsInQuotes(false);
  SetColumns({});
  EXPECT_EQ(Rows({Job({})}, true), "\r\n");
  config.SetRowDelimiter(3);
  SetColumns({Col(-1, "")});
  config.SetFieldDelimiter("");
  EXPECT_EQ(Rows({Job({}), Job({})}), "");
}

}  // namespace
}  // namespace qx6
