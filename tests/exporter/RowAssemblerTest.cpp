#include "exporter/RowAssembler.h"

#include <gtest/gtest.h>

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
    config.Columns()->Clear();
    config.Columns()->Add(Col(index));
    RowAssembler rows(config);
    return rows.GetColumnValue(rows.Columns()[0], *Job({{index, value}}));
  }
  ExportConfig config;
};

TEST_F(RowAssembly, DelimitersAtRowStartAndEnd) {
  config.Columns()->Add(Col(-1, "a"));
  config.Columns()->Add(Col(-1, "b"));
  struct Case {
    bool beginning, trailing;
    const char *delimiter, *row;
  };
  // A two-character delimiter always stays after the last field.
  for (const Case& c : {Case{false, false, ",", "a,b\r\n"}, Case{true, false, ",", ",a,b\r\n"},
                        Case{false, true, ",", "a,b,\r\n"}, Case{false, false, "||", "a||b||\r\n"},
                        Case{false, false, "<tab>", "a\tb\r\n"}}) {
    config.SetBeginningDelimiter(c.beginning);
    config.SetTrailingDelimiter(c.trailing);
    config.SetFieldDelimiter(c.delimiter);
    EXPECT_EQ(Rows({Job({})}), c.row) << c.beginning << c.trailing << c.delimiter;
  }
}

TEST_F(RowAssembly, QuotesWrapEveryFieldAndTitleAndKeepInnerQuotes) {
  config.SetStringsInQuotes(true);
  config.SetColumnNames(true);
  config.Columns()->Add(Col(7));
  config.Columns()->Add(Col(23));
  EXPECT_EQ(Rows({Job({{7, Variant("say \"hi\"")}, {23, Variant(5)}})}, true),
            "\"Document\",\"Pages\"\r\n\"say \"hi\"\",\"5\"\r\n");
}

TEST_F(RowAssembly, FixedWidthCutsAndPads) {
  config.SetOutputType(ExportConfig::FixedWidth);
  config.SetFieldDelimiter(";");  // has no effect in fixed width
  config.SetBeginningDelimiter(true);
  auto left = Col(2, "", 5);
  auto right = Col(23, "", 5);
  right->SetRightJustify(true);
  right->SetPadChar("0");
  auto pair = Col(24, "", 5);
  pair->SetRightJustify(true);
  pair->SetPadChar("xy");
  config.Columns()->Add(left);
  config.Columns()->Add(right);
  config.Columns()->Add(pair);
  EXPECT_EQ(Rows({Job({{2, Variant("ab")}, {23, Variant(42)}, {24, Variant(42)}}),
                  Job({{2, Variant("abcdefg")}, {23, Variant(1234567)}, {24, Variant(12345)}})}),
            "ab   00042xxx42\r\nabcde1234512345\r\n");
  // Widths count characters, not bytes.
  config.Columns()->Clear();
  config.Columns()->Add(Col(2, "", 4));
  config.SetRowDelimiter(3);
  EXPECT_EQ(Rows({Job({{2, Variant("Müller")}}), Job({{2, Variant("Zoë")}})}), "M\xFCllZo\xEB ");
}

TEST_F(RowAssembly, FailuresKeepTheRowsWrittenBefore) {
  config.SetOutputType(ExportConfig::FixedWidth);
  config.Columns()->Add(Col(2));  // width -1: cutting to it is an invalid argument
  {
    RowAssembler rows(config);
    EXPECT_EQ(ErrorOf([&] { test::Output([&](int16_t f) { rows.WriteRow(*Job({{2, Variant("")}}), f); }); }), 5);
  }
  config.Columns()->Item(1)->SetIndex(12);
  config.Columns()->Item(1)->SetWidth(11);
  config.SetDateFormat("yyyy-mm-dd");
  RowAssembler rows(config);
  test::TempFolder folder;
  int16_t file = TextFile::FreeFile();
  TextFile::OpenForOutput(file, folder / "o.txt");
  rows.WriteRow(*Job({{12, Variant::Date(DateTime::DateSerial(2024, 3, 1))}}), file);
  EXPECT_EQ(ErrorOf([&] { rows.WriteRow(*Job({{12, Variant::Null()}}), file); }), 94);
  TextFile::Close(file);
  EXPECT_EQ(test::ReadFile(folder / "o.txt"), "2024-03-01 \r\n");
}

TEST_F(RowAssembly, RowDelimiterCodes) {
  config.Columns()->Add(Col(-1, "r"));
  const std::pair<int, std::string> cases[] = {{0, "r\r\nr\r\n"}, {1, "r\rr\r"}, {2, "r\nr\n"}, {3, "rr"}, {9, "rr"}};
  for (const auto& [code, expected] : cases) {
    config.SetRowDelimiter(code);
    EXPECT_EQ(Rows({Job({}), Job({})}), expected) << code;
  }
  config.SetRowDelimiter(4);
  config.SetCustomRowDelimiter("<EOR>");
  EXPECT_EQ(Rows({Job({}), Job({})}), "r<EOR>r<EOR>");
}

TEST_F(RowAssembly, StrippingAppliesToValuesNotTitles) {
  config.SetColumnNames(true);
  config.SetStripChars("-/");
  config.Columns()->Add(Col(-1, "a-b/c"));
  config.Columns()->Add(Col(7, "Doc-Title"));
  EXPECT_EQ(Rows({Job({{7, Variant("x-y/z\r\nnext")}})}, true), "a-b/c,Doc-Title\r\nabc,xyznext\r\n");
  // Automatic stripping removes the delimiters as whole texts.
  config.SetStripChars("");
  config.SetAutoStripDelimiters(true);
  config.SetFieldDelimiter("<TAB>");
  config.SetRowDelimiter(4);
  config.SetCustomRowDelimiter("##");
  config.SetColumnNames(false);
  config.Columns()->Clear();
  config.Columns()->Add(Col(7));
  EXPECT_EQ(Rows({Job({{7, Variant("a\tb#c##d")}})}), "ab#cd##");
}

// Values are scanned eight bytes at a time for anything to strip: a character
// at any place of a longer value, among bytes with the high bit set, is found.
TEST_F(RowAssembly, StrippedCharacterIsFoundAtEveryPlaceOfAValue) {
  config.SetStripChars("~");
  config.SetAutoStripDelimiters(true);
  config.Columns()->Add(Col(7));
  const std::string filler = "\xC3\xA9\x01\x7F\xFF abcdefghijklmnopq";  // é, controls, a stray byte
  for (size_t length = 1; length <= 20; ++length) {
    const std::string plain = filler.substr(0, length);
    EXPECT_EQ(Value(7, Variant(plain)), plain);
    for (size_t at = 0; at <= length; ++at) {
      for (const char* removed : {"~", ",", "\r", "\n", "\r\n"}) {
        std::string value = plain;
        value.insert(at, removed);
        EXPECT_EQ(Value(7, Variant(value)), plain) << length << " " << at << " " << removed;
      }
    }
  }
}

// A row is searched as a whole for anything to strip; a hit in any value
// assembles it again with each value cleaned, before widths and quotes.
TEST_F(RowAssembly, RowsWithSomethingToStripAreAssembledAgain) {
  config.SetStripChars("~");
  config.Columns()->Add(Col(7));
  config.Columns()->Add(Col(-1, "t~x"));
  config.Columns()->Add(Col(2));
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
  config.Columns()->Clear();
  for (int16_t index : {7, 2, 23, 24}) config.Columns()->Add(Col(index));
  EXPECT_EQ(Rows({Job({{7, Variant("a,b\"c")}, {2, Variant("ann")}, {23, Variant::Long(171)}, {24, Variant::Long(-2)}}),
                  Job({{7, Variant("plain")}, {2, Variant(",")}, {23, Variant::Long(7)}})}),
            "\"ab\"c\",\"ann\",\"11\",\"-2\"\r\n\"plain\",\"\",\"\",\"\"\r\n");
}

TEST_F(RowAssembly, HostColumnsWithTextsOfTheirOwn) {
  const double when = DateTime::DateSerial(2024, 1, 5) + DateTime::TimeSerial(14, 30, 5);
  config.SetDateFormat("");
  EXPECT_EQ(Value(12, Variant::Date(when)), "Jan 05, 2024 14:30:05");
  config.SetDateFormat("yyyy-mm-dd hh:nn");
  struct Case {
    int16_t decimals, column;
    Variant value;
    const char* text;
  };
  const Case cases[] = {
      {0, 12, Variant::Date(when), "2024-01-05 14:30"}, {0, 12, "2024-01-05 14:30:05", "2024-01-05 14:30"},
      {0, 12, "not a date", "not a date"}, {0, 28, 3, "3"}, {0, 28, 2.5, "2.50"}, {0, 28, "abc", ""},
      {0, 32, 12.4, "12."}, {2, 35, 1.005, "1.01"}, {2, 34, "n/a", ""}, {2, 33, true, "-1.00"},
      {2, 20, true, "Yes"}, {2, 21, false, "No"}, {2, 27, 5, "No"}, {2, 36, "maybe", "maybe"},
      {2, 10, 0, "Printed"}, {2, 10, int16_t{3}, "Held"}, {2, 10, 7, ""}, {2, 10, Variant::Null(), ""},
      {2, 7, Variant::Null(), ""}, {2, 1, 123456, "123456"}};
  for (const Case& c : cases) {
    config.SetNumDecimalPlaces(c.decimals);
    EXPECT_EQ(Value(c.column, c.value), c.text) << "column " << c.column << ", " << c.decimals << " decimals";
  }
}

TEST_F(RowAssembly, ValuesThatHaveNoTextFail) {
  EXPECT_EQ(ErrorOf([&] { Value(12, Variant::Null()); }), 94);
  for (int16_t column : {20, 21, 27, 36}) EXPECT_EQ(ErrorOf([&] { Value(column, Variant::Null()); }), 94) << column;
  EXPECT_EQ(ErrorOf([&] { Value(28, Variant(3e10)); }), 6);
  config.Columns()->Clear();
  config.Columns()->Add(Col(46, "beyond"));
  RowAssembler rows(config);
  EXPECT_EQ(ErrorOf([&] { rows.GetColumnValue(rows.Columns()[0], *Job({})); }), 9);
}

TEST_F(RowAssembly, DecimalCommaLocale) {
  Locale::SetUser("de_DE");
  config.SetNumDecimalPlaces(0);
  EXPECT_EQ(Value(32, Variant(12.4)), "12,");
  EXPECT_EQ(Value(28, Variant(2.5)), "2,50");
  EXPECT_EQ(Value(24, Variant(2.5)), "2,5");
  Locale::SetUser("en_US");
}

TEST_F(RowAssembly, EmptyRowWritesNothingButTitlesAlwaysWrite) {
  config.SetColumnNames(true);
  EXPECT_EQ(Rows({Job({})}, true), "\r\n");
  config.SetRowDelimiter(3);
  config.Columns()->Add(Col(-1, ""));
  config.SetFieldDelimiter("");
  EXPECT_EQ(Rows({Job({}), Job({})}), "");
}

}  // namespace
}  // namespace qx6
