#include "runtime/Conversion.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <random>

#include <gtest/gtest.h>

#include "runtime/DateTime.h"
#include "runtime/Locale.h"
#include "runtime/RuntimeError.h"

namespace qx6 {
namespace {

using namespace Convert;

class LocaleScope {
 public:
  explicit LocaleScope(const char* name) { Locale::SetUser(name); }
  ~LocaleScope() { Locale::SetUser("en_US"); }
};

int ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    return e.Number();
  }
  return 0;
}

double At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return DateTime::Combine(DateTime::DateSerial(y, mo, d), DateTime::TimeSerial(h, mi, s));
}

double Read(const char* text) {
  double serial = -1e9;
  EXPECT_TRUE(ParseDate(text, serial)) << text;
  return serial;
}

TEST(ConvertText, NumbersInTheirShortestForm) {
  EXPECT_EQ(ToText(2.5), "2.5");
  EXPECT_EQ(ToText(0.00001), "1E-05");
  EXPECT_EQ(ToText(0.0001), "0.0001");
  EXPECT_EQ(ToText(1.23456789012346E+17), "1.23456789012346E+17");
  EXPECT_EQ(ToText(1e15), "1E+15");
  EXPECT_EQ(ToText(123456789012345.0), "123456789012345");
  EXPECT_EQ(ToText(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(ToText(0.1 + 0.2), "0.3");
  EXPECT_EQ(ToText(-0.0), "0");
  EXPECT_EQ(ToText(-12.05), "-12.05");
  EXPECT_EQ(ToText(100.0), "100");
  EXPECT_EQ(ToText(1e100), "1E+100");
  EXPECT_EQ(ToText(Variant::Integer(-32768)), "-32768");
  EXPECT_EQ(ToText(Variant::Long(2147483647)), "2147483647");
  EXPECT_EQ(ToText(Variant::Byte(255)), "255");
}

TEST(ConvertText, NumbersMatchPrintf15G) {
  // The fast paths must print exactly what "%.15G" prints, for every magnitude.
  std::mt19937_64 random(20240105);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> exponent(-8, 18), decimals(0, 6);
  char expected[64];
  for (int i = 0; i < 200000; ++i) {
    double value = mantissa(random) * std::pow(10.0, exponent(random));
    if (i % 3 == 0) value = std::round(value * std::pow(10.0, decimals(random))) / std::pow(10.0, decimals(random));
    if (value == 0) continue;  // -0 prints as 0 on purpose
    if (i % 2 == 0) value = -value;
    std::snprintf(expected, sizeof expected, "%.15G", value);
    ASSERT_EQ(NumberText(value), expected) << "value " << value;
  }
  for (double value : {9.999999999999995e14, 9.9999999999999995, 0.000099999999999999999, 1e-4, 5e-324, 1.7976931348623157e308}) {
    std::snprintf(expected, sizeof expected, "%.15G", value);
    EXPECT_EQ(NumberText(value), expected) << "value " << value;
  }
}

TEST(ConvertText, OtherTypes) {
  EXPECT_EQ(ToText(true), "True");
  EXPECT_EQ(ToText(false), "False");
  EXPECT_EQ(ToText(Variant()), "");
  EXPECT_EQ(ToText("as is \xE2\x82\xAC"), "as is \xE2\x82\xAC");
  EXPECT_EQ(ErrorOf([] { ToText(Variant::Null()); }), 94);
  EXPECT_EQ(ErrorOf([] { ToText(Variant::Array1D({})); }), 13);
  std::string out = "x=";
  AppendText(Variant(42), out);
  EXPECT_EQ(out, "x=42");
}

TEST(ConvertText, DatesInTheShortForm) {
  EXPECT_EQ(ToText(Variant::Date(At(2024, 1, 5, 14, 30, 5))), "1/5/2024 2:30:05 PM");
  EXPECT_EQ(ToText(Variant::Date(At(2024, 1, 5))), "1/5/2024");
  EXPECT_EQ(ToText(Variant::Date(At(2024, 1, 5, 0, 0, 1))), "1/5/2024 12:00:01 AM");
  EXPECT_EQ(ToText(Variant::Date(DateTime::TimeSerial(9, 5, 0))), "9:05:00 AM");  // time alone
  EXPECT_EQ(ErrorOf([] { ToText(Variant::Date(1e9)); }), 6);
}

TEST(ConvertText, GermanAndFrenchSeparators) {
  LocaleScope de("de_DE");
  EXPECT_EQ(ToText(2.5), "2,5");
  EXPECT_EQ(ToText(0.00001), "1E-05");
  EXPECT_EQ(ToText(1.0 / 3), "0,333333333333333");
  EXPECT_EQ(ToText(Variant::Date(At(2024, 1, 5, 14, 30, 5))), "05.01.2024 14:30:05");
  Locale::SetUser("fr_FR");
  EXPECT_EQ(ToText(Variant::Date(At(2024, 1, 5, 14, 30, 5))), "05/01/2024 14:30:05");
  EXPECT_EQ(ToText(-1234.75), "-1234,75");
}

TEST(ConvertInteger, HalvesToEvenAndRange) {
  EXPECT_EQ(ToInteger(2.5), 2);
  EXPECT_EQ(ToInteger(3.5), 4);
  EXPECT_EQ(ToInteger(-2.5), -2);
  EXPECT_EQ(ToInteger(2.51), 3);
  EXPECT_EQ(ToInteger(32767.4), 32767);
  EXPECT_EQ(ToInteger(-32768.0), -32768);
  EXPECT_EQ(ToInteger(" 12 "), 12);
  EXPECT_EQ(ToInteger("4.5"), 4);
  EXPECT_EQ(ToInteger(true), -1);
  EXPECT_EQ(ToInteger(Variant()), 0);
  EXPECT_EQ(ErrorOf([] { ToInteger(32768.0); }), 6);
  EXPECT_EQ(ErrorOf([] { ToInteger(32767.5); }), 6);  // rounds to 32768
  EXPECT_EQ(ErrorOf([] { ToInteger(Variant::Long(-40000)); }), 6);
  EXPECT_EQ(ErrorOf([] { ToInteger(std::nan("")); }), 6);
  EXPECT_EQ(ErrorOf([] { ToInteger("abc"); }), 13);
  EXPECT_EQ(ErrorOf([] { ToInteger(""); }), 13);
  EXPECT_EQ(ErrorOf([] { ToInteger(Variant::Null()); }), 94);
  EXPECT_EQ(ErrorOf([] { ToInteger("1E400"); }), 6);
}

TEST(ConvertLongAndDouble, RangesAndTexts) {
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
}

TEST(ConvertBoolean, WordsAndNumbers) {
  EXPECT_TRUE(ToBoolean("True"));
  EXPECT_TRUE(ToBoolean("tRUE"));
  EXPECT_FALSE(ToBoolean("FALSE"));
  EXPECT_TRUE(ToBoolean("-1"));
  EXPECT_FALSE(ToBoolean("0"));
  EXPECT_TRUE(ToBoolean(2.5));
  EXPECT_FALSE(ToBoolean(Variant::Integer(0)));
  EXPECT_EQ(ErrorOf([] { ToBoolean("yes"); }), 13);
  EXPECT_EQ(ErrorOf([] { ToBoolean(Variant::Null()); }), 94);
}

TEST(ConvertNumeric, EnglishLocale) {
  EXPECT_TRUE(IsNumeric("1,234.5"));
  EXPECT_TRUE(IsNumeric("  -12  "));
  EXPECT_TRUE(IsNumeric("+3.5e-2"));
  EXPECT_TRUE(IsNumeric("5."));
  EXPECT_TRUE(IsNumeric(".5"));
  EXPECT_TRUE(IsNumeric(true));
  EXPECT_TRUE(IsNumeric(Variant::Byte(1)));
  EXPECT_FALSE(IsNumeric("1.234,5"));
  EXPECT_FALSE(IsNumeric(",5"));
  EXPECT_FALSE(IsNumeric("1,"));
  EXPECT_FALSE(IsNumeric("1e"));
  EXPECT_FALSE(IsNumeric("-"));
  EXPECT_FALSE(IsNumeric(""));
  EXPECT_FALSE(IsNumeric("12abc"));
  EXPECT_FALSE(IsNumeric(Variant::Null()));
  EXPECT_FALSE(IsNumeric(Variant()));
  EXPECT_FALSE(IsNumeric(Variant::Date(45296)));  // dates are not numeric
  double value = 0;
  ASSERT_TRUE(ParseNumber("1,234.5", value));
  EXPECT_DOUBLE_EQ(value, 1234.5);
}

TEST(ConvertNumeric, DecimalCommaLocales) {
  LocaleScope de("de_DE");
  double value = 0;
  ASSERT_TRUE(ParseNumber("1.234,5", value));
  EXPECT_DOUBLE_EQ(value, 1234.5);
  EXPECT_FALSE(IsNumeric("1,234.5"));
  EXPECT_DOUBLE_EQ(ToDouble("2,5"), 2.5);
  Locale::SetUser("fr_FR");
  ASSERT_TRUE(ParseNumber("1 234,5", value));  // a plain space for CLDR's narrow one
  EXPECT_DOUBLE_EQ(value, 1234.5);
  ASSERT_TRUE(ParseNumber("1\u202F234,5", value));
  EXPECT_DOUBLE_EQ(value, 1234.5);
}

TEST(ConvertDate, EnglishForms) {
  EXPECT_EQ(Read("Jan 05, 2024"), At(2024, 1, 5));
  EXPECT_EQ(Read("January 5 2024"), At(2024, 1, 5));
  EXPECT_EQ(Read("5-Jan-2024"), At(2024, 1, 5));
  EXPECT_EQ(Read("Friday, January 5, 2024"), At(2024, 1, 5));
  EXPECT_EQ(Read("1/5/2024"), At(2024, 1, 5));
  EXPECT_EQ(Read("1/5/24"), At(2024, 1, 5));
  EXPECT_EQ(Read("1/5/2024 2:30:05 PM"), At(2024, 1, 5, 14, 30, 5));
  EXPECT_EQ(Read("1/5/2024 12:15 am"), At(2024, 1, 5, 0, 15));
  EXPECT_EQ(Read("Jan 05, 2024 14:30:05"), At(2024, 1, 5, 14, 30, 5));
  EXPECT_EQ(Read("2024-01-05"), At(2024, 1, 5));
  EXPECT_EQ(Read("2024-01-05T14:30:05"), At(2024, 1, 5, 14, 30, 5));
  EXPECT_EQ(Read("2024-01-05 14:30:05.250"), At(2024, 1, 5, 14, 30, 5));
  EXPECT_EQ(Read("January 2024"), At(2024, 1, 1));
  EXPECT_EQ(Read("14:30"), DateTime::TimeSerial(14, 30, 0));
  EXPECT_EQ(Read("2 PM"), DateTime::TimeSerial(14, 0, 0));
  // The text form reads back as the same value.
  double when = At(2024, 1, 5, 14, 30, 5);
  EXPECT_EQ(Read(ToText(Variant::Date(when)).c_str()), when);
}

TEST(ConvertDate, RejectedTexts) {
  double serial;
  for (const char* text : {"", "abc", "13/1/2024", "2/30/2024", "2/29/2023", "1/5", "1/5/2024 25:00",
                           "1/5/2024 13:00 PM", "Jan 32, 2024", "Foo 5, 2024", "1/5/2024 x", "12.5",
                           "1/5/0099", "Jan Feb 2024", "5 24 Jan"}) {
    EXPECT_FALSE(ParseDate(text, serial)) << text;
  }
  EXPECT_TRUE(IsDate("Feb 29, 2024"));
  EXPECT_FALSE(IsDate(45296.0));  // a number is no date
  EXPECT_TRUE(IsDate(Variant::Date(45296)));
}

TEST(ConvertDate, GermanAndFrenchForms) {
  LocaleScope de("de_DE");
  EXPECT_EQ(Read("05.01.2024 14:30"), At(2024, 1, 5, 14, 30));
  EXPECT_EQ(Read("5. Januar 2024"), At(2024, 1, 5));
  EXPECT_EQ(Read("5. März 2024"), At(2024, 3, 5));
  EXPECT_EQ(Read("5. MÄRZ 2024"), At(2024, 3, 5));
  EXPECT_EQ(Read("5. Mär 2024"), At(2024, 3, 5));
  EXPECT_EQ(Read("Jan 05, 2024"), At(2024, 1, 5));  // English names in any locale
  EXPECT_EQ(Read("2024-01-05"), At(2024, 1, 5));
  double serial;
  EXPECT_FALSE(ParseDate("05.13.2024", serial));  // day first here
  Locale::SetUser("fr_FR");
  EXPECT_EQ(Read("05/01/2024"), At(2024, 1, 5));
  EXPECT_EQ(Read("5 janvier 2024"), At(2024, 1, 5));
  EXPECT_EQ(Read("5 févr. 2024 08:00"), At(2024, 2, 5, 8, 0));
  EXPECT_EQ(Read("vendredi 5 janvier 2024"), At(2024, 1, 5));
}

TEST(ConvertDate, ToDateOfEachType) {
  EXPECT_EQ(ToDate(Variant::Date(45296.5)), 45296.5);
  EXPECT_EQ(ToDate(45296.25), 45296.25);
  EXPECT_EQ(ToDate("Jan 05, 2024"), At(2024, 1, 5));
  EXPECT_EQ(ErrorOf([] { ToDate("not a date"); }), 13);
  EXPECT_EQ(ErrorOf([] { ToDate(Variant::Null()); }), 94);
  EXPECT_EQ(ErrorOf([] { ToDate(1e10); }), 6);
}

TEST(ConvertCompare, ValuesDiffer) {
  EXPECT_FALSE(ValuesDiffer(Variant::Null(), Variant::Null()));
  EXPECT_TRUE(ValuesDiffer(Variant::Null(), Variant("")));
  EXPECT_TRUE(ValuesDiffer(Variant(0), Variant::Null()));
  EXPECT_FALSE(ValuesDiffer(Variant(), Variant()));
  EXPECT_TRUE(ValuesDiffer(Variant(), Variant(0)));
  EXPECT_FALSE(ValuesDiffer(Variant::Integer(3), Variant(3.0)));
  EXPECT_FALSE(ValuesDiffer(Variant(true), Variant::Integer(-1)));
  EXPECT_TRUE(ValuesDiffer(Variant(3), Variant("3")));
  EXPECT_FALSE(ValuesDiffer(Variant("Abc"), Variant("Abc")));
  EXPECT_TRUE(ValuesDiffer(Variant("Abc"), Variant("abc")));
  EXPECT_FALSE(ValuesDiffer(Variant::Date(45296), Variant::Date(45296)));
  EXPECT_TRUE(ValuesDiffer(Variant::Date(45296), Variant::Date(45296.5)));
  EXPECT_FALSE(ValuesDiffer(Variant::Date(-0.5), Variant::Date(0.5)));  // the same instant
  EXPECT_TRUE(ValuesDiffer(Variant(std::nan("")), Variant(std::nan(""))));
}

}  // namespace
}  // namespace qx6
