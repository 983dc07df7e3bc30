#include "runtime/Conversion.h"

#include <cmath>
#include <cstdio>
#include <random>
#include <tuple>
#include <utility>

#include <gtest/gtest.h>

#include "tests/runtime/RuntimeTesting.h"

namespace qx6 {
namespace {

using namespace Convert;
using test::At;
using test::ErrorOf;
using test::LocaleScope;
using ValueText = std::pair<Variant, const char*>;
using TextDate = std::pair<const char*, double>;

void ExpectReads(std::initializer_list<TextDate> cases) {
  for (const auto& [text, serial] : cases) {
    double read = -1e9;
    EXPECT_TRUE(ParseDate(text, read) && read == serial) << text << " read as " << read;
  }
}

// Every double's text is checked against printf below; here, one of each
// form and the minus zero that differs from it on purpose.
TEST(ConvertText, EachTypeInItsShortestFormAndNumbersAsPrintf15G) {
  const ValueText cases[] = {
      {2.5, "2.5"}, {0.00001, "1E-05"}, {1e15, "1E+15"}, {123456789012345.0, "123456789012345"}, {-0.0, "0"},
      {Variant::Integer(-32768), "-32768"}, {Variant::Long(2147483647), "2147483647"}, {Variant::Byte(255), "255"},
      {true, "True"}, {false, "False"}, {Variant(), ""}, {"as is \xE2\x82\xAC", "as is \xE2\x82\xAC"},
      {Variant::Date(At(2024, 1, 5, 14, 30, 5)), "1/5/2024 2:30:05 PM"}, {Variant::Date(At(2024, 1, 5)), "1/5/2024"},
      {Variant::Date(At(2024, 1, 5, 0, 0, 1)), "1/5/2024 12:00:01 AM"},
      {Variant::Date(DateTime::TimeSerial(9, 5, 0)), "9:05:00 AM"}};  // a time alone
  for (const auto& [value, text] : cases) EXPECT_EQ(ToText(value), text);
  EXPECT_EQ(ErrorOf([] { ToText(Variant::Null()); }), 94);
  EXPECT_EQ(ErrorOf([] { ToText(Variant::Array1D({})); }), 13);
  EXPECT_EQ(ErrorOf([] { ToText(Variant::Date(1e9)); }), 6);
  std::string out = "x=";
  AppendText(Variant(42), out);
  EXPECT_EQ(out, "x=42");
  // The fast paths must print exactly what "%.15G" prints, for every magnitude.
  std::mt19937_64 random(20240105);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> exponent(-8, 18), decimals(0, 6);
  std::vector<double> values = {9.999999999999995e14, 9.9999999999999995, 0.000099999999999999999, 1e-4, 5e-324,
                                1.7976931348623157e308};
  for (int i = 0; i < 200000; ++i) {
    double value = mantissa(random) * std::pow(10.0, exponent(random));
    if (i % 3 == 0) value = std::round(value * std::pow(10.0, decimals(random))) / std::pow(10.0, decimals(random));
    if (value != 0) values.push_back(i % 2 == 0 ? -value : value);  // -0 prints as 0 on purpose
  }
  char expected[64];
  for (double value : values) {
    std::snprintf(expected, sizeof expected, "%.15G", value);
    ASSERT_EQ(NumberText(value), expected) << "value " << value;
  }
}

TEST(ConvertNumbers, HalvesToEvenRangesErrorsBooleansNumericTextsAndDifferences) {
  const std::pair<Variant, int16_t> integers[] = {{2.5, 2}, {3.5, 4}, {-2.5, -2}, {2.51, 3}, {32767.4, 32767},
      {-32768.0, -32768}, {" 12 ", 12}, {"4.5", 4}, {true, -1}, {Variant(), 0}};
  for (const auto& [value, expected] : integers) EXPECT_EQ(ToInteger(value), expected) << ToText(value);
  // 32767.5 rounds to 32768.
  const std::pair<Variant, int> bad[] = {{32768.0, 6}, {32767.5, 6}, {Variant::Long(-40000), 6}, {std::nan(""), 6},
      {"abc", 13}, {"", 13}, {Variant::Null(), 94}, {"1E400", 6}};
  for (size_t i = 0; i < std::size(bad); ++i)
    EXPECT_EQ(ErrorOf([&] { ToInteger(bad[i].first); }), bad[i].second) << "row " << i;

  EXPECT_EQ(ToLong(2147483647.0), 2147483647);
  EXPECT_EQ(ToLong(-2147483648.5), -2147483648);  // the even neighbour
  EXPECT_EQ(ErrorOf([] { ToLong(2147483647.5); }), 6);
  EXPECT_EQ(ToLong("1,000,000"), 1000000);
  EXPECT_DOUBLE_EQ(ToDouble("1.5E3"), 1500);
  EXPECT_DOUBLE_EQ(ToDouble("-.25"), -0.25);
  EXPECT_DOUBLE_EQ(ToDouble(Variant::Date(45296.5)), 45296.5);
  EXPECT_EQ(ToDouble("1E-400"), 0);
  EXPECT_EQ(ErrorOf([] { ToDouble("12 apples"); }), 13);
  EXPECT_EQ(ErrorOf([] { ToDouble(Variant::Null()); }), 94);

  const std::pair<Variant, bool> booleans[] = {{"True", true}, {"tRUE", true}, {"FALSE", false}, {"-1", true},
                                            {"0", false}, {2.5, true}, {Variant::Integer(0), false}};
  for (const auto& [value, expected] : booleans) EXPECT_EQ(ToBoolean(value), expected) << ToText(value);
  EXPECT_EQ(ErrorOf([] { ToBoolean("yes"); }), 13);
  EXPECT_EQ(ErrorOf([] { ToBoolean(Variant::Null()); }), 94);
  for (const Variant& v : {Variant("1,234.5"), Variant("  -12  "), Variant("+3.5e-2"), Variant("5."), Variant(".5"),
                           Variant(true), Variant::Byte(1)})
    EXPECT_TRUE(IsNumeric(v)) << ToText(v);
  // Dates are not numeric.
  for (const Variant& v : {Variant("1.234,5"), Variant(",5"), Variant("1,"), Variant("1e"), Variant("-"), Variant(""),
                           Variant("12abc"), Variant::Null(), Variant(), Variant::Date(45296)})
    EXPECT_FALSE(IsNumeric(v)) << (v.IsNull() ? "Null" : ToText(v));
  double value = 0;
  EXPECT_TRUE(ParseNumber("1,234.5", value) && value == 1234.5);
  // Whether two values differ.
  using Case = std::tuple<Variant, Variant, bool>;
  const Variant null = Variant::Null(), nan = std::nan("");
  const Case cases[] = {
      {null, null, false}, {null, "", true}, {0, null, true}, {Variant(), Variant(), false}, {Variant(), 0, true},
      {Variant::Integer(3), 3.0, false}, {true, Variant::Integer(-1), false}, {3, "3", true}, {"Abc", "Abc", false},
      {"Abc", "abc", true}, {Variant::Date(45296), Variant::Date(45296), false},
      {Variant::Date(45296), Variant::Date(45296.5), true},
      {Variant::Date(-0.5), Variant::Date(0.5), false},  // the same instant
      {nan, nan, true}, {3, 4, true}, {3, 3, false}, {true, false, true}, {0.0, -0.0, false},
      {Variant::Integer(2), Variant::Integer(-2), true}, {"", "", false}, {"a", "ab", true}};
  int row = 0;
  for (const auto& [a, b, differ] : cases) EXPECT_EQ(ValuesDiffer(a, b), differ) << "row " << row++;
}

TEST(ConvertLocales, GermanAndFrenchNumbersAndTexts) {
  LocaleScope de("de_DE");
  const ValueText german[] = {{2.5, "2,5"}, {0.00001, "1E-05"}, {1.0 / 3, "0,333333333333333"},
                              {Variant::Date(At(2024, 1, 5, 14, 30, 5)), "05.01.2024 14:30:05"}};
  for (const auto& [value, text] : german) EXPECT_EQ(ToText(value), text);
  double value = 0;
  EXPECT_TRUE(ParseNumber("1.234,5", value) && value == 1234.5);
  EXPECT_FALSE(IsNumeric("1,234.5"));
  EXPECT_DOUBLE_EQ(ToDouble("2,5"), 2.5);
  Locale::SetUser("fr_FR");
  EXPECT_EQ(ToText(Variant::Date(At(2024, 1, 5, 14, 30, 5))), "05/01/2024 14:30:05");
  EXPECT_EQ(ToText(-1234.75), "-1234,75");
  for (const char* text : {"1 234,5", "1\u202F234,5"})  // a plain space for CLDR's narrow one
    EXPECT_TRUE(ParseNumber(text, value) && value == 1234.5) << text;
}

TEST(ConvertDate, EnglishGermanAndFrenchForms) {
  const double day = At(2024, 1, 5), job = At(2024, 1, 5, 14, 30, 5);
  ExpectReads({{"Jan 05, 2024", day}, {"January 5 2024", day}, {"5-Jan-2024", day},
               {"Friday, January 5, 2024", day}, {"1/5/2024", day}, {"1/5/24", day}, {"1/5/2024 2:30:05 PM", job},
               {"1/5/2024 12:15 am", At(2024, 1, 5, 0, 15)}, {"Jan 05, 2024 14:30:05", job}, {"2024-01-05", day},
               {"2024-01-05T14:30:05", job}, {"2024-01-05 14:30:05.250", job}, {"January 2024", At(2024, 1, 1)},
               {"14:30", DateTime::TimeSerial(14, 30, 0)}, {"2 PM", DateTime::TimeSerial(14, 0, 0)}});
  // The text form reads back as the same value.
  ExpectReads({{ToText(Variant::Date(job)).c_str(), job}});
  LocaleScope de("de_DE");
  const double march = At(2024, 3, 5);
  // English names in any locale.
  ExpectReads({{"05.01.2024 14:30", At(2024, 1, 5, 14, 30)}, {"5. Januar 2024", day}, {"5. März 2024", march},
               {"5. MÄRZ 2024", march}, {"5. Mär 2024", march}, {"Jan 05, 2024", day}, {"2024-01-05", day}});
  double serial;
  EXPECT_FALSE(ParseDate("05.13.2024", serial));  // day first here
  Locale::SetUser("fr_FR");
  ExpectReads({{"05/01/2024", day}, {"5 janvier 2024", day}, {"5 févr. 2024 08:00", At(2024, 2, 5, 8, 0)},
               {"vendredi 5 janvier 2024", day}});
}

TEST(ConvertDate, RejectedTextsAndToDateOfEachType) {
  double serial;
  for (const char* text : {"", "abc", "13/1/2024", "2/30/2024", "2/29/2023", "1/5", "1/5/2024 25:00",
                           "1/5/2024 13:00 PM", "Jan 32, 2024", "Foo 5, 2024", "1/5/2024 x", "12.5",
                           "1/5/0099", "Jan Feb 2024", "5 24 Jan"})
    EXPECT_FALSE(ParseDate(text, serial)) << text;
  EXPECT_TRUE(IsDate("Feb 29, 2024"));
  EXPECT_FALSE(IsDate(45296.0));  // a number is no date
  EXPECT_TRUE(IsDate(Variant::Date(45296)));
  EXPECT_EQ(ToDate(Variant::Date(45296.5)), 45296.5);
  EXPECT_EQ(ToDate(45296.25), 45296.25);
  EXPECT_EQ(ToDate("Jan 05, 2024"), At(2024, 1, 5));
  EXPECT_EQ(ErrorOf([] { ToDate("not a date"); }), 13);
  EXPECT_EQ(ErrorOf([] { ToDate(Variant::Null()); }), 94);
  EXPECT_EQ(ErrorOf([] { ToDate(1e10); }), 6);
}

}  // namespace
}  // namespace qx6
