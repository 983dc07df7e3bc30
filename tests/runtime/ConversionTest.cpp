#include "runtime/Conversion.h"

#include <cmath>
#include <cstdio>
#include <random>
#include <tuple>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/DateTime.h"
#include "runtime/Format.h"
#include "tests/runtime/RuntimeTesting.h"

namespace qx6 {
namespace {

using namespace Convert;
using namespace DateTime;
using Format::FormatDate;
using Format::FormatNumber;
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

TEST(ConvertDate, FormsInEachLocaleRejectedTextsToDateAndNumbersAndTextsInEachLocale) {
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
  EXPECT_FALSE(ParseDate("05.13.2024", serial));  // day first here
  Locale::SetUser("fr_FR");
  ExpectReads({{"05/01/2024", day}, {"5 janvier 2024", day}, {"5 févr. 2024 08:00", At(2024, 2, 5, 8, 0)},
               {"vendredi 5 janvier 2024", day}});
  Locale::SetUser("de_DE");
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

// Calendar serials.
void ExpectParts(double serial, int year, int month, int day, int hour, int minute, int second) {
  const Parts p = Split(serial);
  EXPECT_EQ((std::vector<int>{p.year, p.month, p.day, p.hour, p.minute, p.second}),
            (std::vector<int>{year, month, day, hour, minute, second}))
      << "serial " << serial;
}

TEST(DateSerial, KnownDaysRangeCarryOverValidityClampingAndFieldsRoundedToTheSecond) {
  // No Lotus 29 February 1900; months and days beyond their range carry over.
  struct Case {
    int year, month, day;
    double serial;
  };
  for (const Case& c : {Case{1899, 12, 30, 0}, Case{1900, 3, 1, 61}, Case{2024, 1, 5, 45296}, Case{100, 1, 1, -657434},
                        Case{9999, 12, 31, 2958465}, Case{2024, 13, 1, 45658}, Case{2024, 0, 1, 45261},
                        Case{2024, -11, 1, 44927}, Case{2024, 3, 0, 45351}, Case{2023, 2, 29, 44986}})
    EXPECT_EQ(DateSerial(c.year, c.month, c.day), c.serial) << c.year << "-" << c.month << "-" << c.day;
  EXPECT_EQ(ErrorOf([] { DateSerial(99, 12, 31); }), 5);
  EXPECT_EQ(ErrorOf([] { DateSerial(10000, 1, 1); }), 5);
  EXPECT_DOUBLE_EQ(TimeSerial(14, 30, 5) * 86400, 52205);
  EXPECT_DOUBLE_EQ(TimeSerial(25, 0, 0), 1 + 1.0 / 24);
  EXPECT_DOUBLE_EQ(TimeSerial(0, 90, 0), 1.5 / 24);
  EXPECT_EQ((std::vector<bool>{IsValid(0), IsValid(MaxSerial), IsValid(MaxSerial + 1), IsValid(std::nan(""))}),
            (std::vector<bool>{true, true, false, false}));
  EXPECT_EQ(Split(1e12).year, 9999);
  EXPECT_EQ(Split(std::nan("")).year, 1899);
  ExpectParts(DateSerial(2024, 1, 5) + TimeSerial(14, 30, 5), 2024, 1, 5, 14, 30, 5);
  // A Friday, a Sunday, and 1 January 100, a Friday; then days of the year.
  EXPECT_EQ((std::vector<int>{Split(DateSerial(2024, 1, 5)).weekday, Split(DateSerial(2024, 1, 7)).weekday,
                              Split(-657434).weekday, Split(DateSerial(2024, 1, 5)).dayOfYear,
                              Split(DateSerial(2024, 12, 31)).dayOfYear, Split(DateSerial(2023, 12, 31)).dayOfYear}),
            (std::vector<int>{6, 1, 6, 5, 366, 365}));
  ExpectParts(-657434, 100, 1, 1, 0, 0, 0);
  const double almost = DateSerial(2024, 1, 5) + (86400 - 0.4) / 86400.0;
  ExpectParts(almost, 2024, 1, 6, 0, 0, 0);
  EXPECT_FALSE(HasTime(almost));
  EXPECT_EQ(DateOnly(almost), DateSerial(2024, 1, 6));
  EXPECT_TRUE(HasTime(DateSerial(2024, 1, 5) + 1.0 / 86400));
  // The nearest second, a half up, on either side of the day's start.
  const double day = DateSerial(2024, 1, 5);
  ExpectParts(day + 59.49 / 86400.0, 2024, 1, 5, 0, 0, 59);
  ExpectParts(day + 59.51 / 86400.0, 2024, 1, 5, 0, 1, 0);
  ExpectParts(day + 1.0 / 256, 2024, 1, 5, 0, 5, 38);  // 337.5 seconds, exactly
  ExpectParts(-(1 + 3600.6 / 86400.0), 1899, 12, 29, 1, 0, 1);
  // Negative serials count the days backwards and the time forwards.
  ExpectParts(-1.25, 1899, 12, 29, 6, 0, 0);
  ExpectParts(TimeSerial(-1, 0, 0), 1899, 12, 29, 23, 0, 0);  // 23:00 the day before
  EXPECT_EQ(Combine(-1, 0.25), -1.25);
  EXPECT_EQ(Combine(45296, 0.25), 45296.25);
  EXPECT_EQ(DateOnly(-1.25), -1);
  EXPECT_EQ(Instant(-0.5), Instant(0.5));  // both are noon of 30 December 1899
  EXPECT_LT(Instant(-1.25), Instant(-1.5));  // 06:00 before 12:00 of the same day
  EXPECT_LT(Instant(-1.75), Instant(0));
}

// Dates and numbers formatted by a pattern.
const double kJob = At(2024, 1, 5, 14, 30, 5);  // a Friday

struct Row {
  double value;
  const char* pattern;
  const char* expected;
};

void ExpectDates(std::initializer_list<Row> rows) {
  for (const Row& r : rows) EXPECT_EQ(FormatDate(r.value, r.pattern), r.expected) << r.pattern;
}

void ExpectNumbers(std::initializer_list<Row> rows) {
  for (const Row& r : rows) EXPECT_EQ(FormatNumber(r.value, r.pattern), r.expected) << r.value << " " << r.pattern;
}

TEST(FormatDate, EveryTokenAndExportPatternMinutesAfterHoursTheClockWeeksAndLocaleNames) {
  const double d = At(2024, 3, 7, 9, 4, 3);  // a Thursday
  ExpectDates({{d, "hh:mm", "09:04"}, {d, "hh mm", "09 04"}, {d, "hhmm", "0904"}, {d, "mm/dd hh:mm", "03/07 09:04"},
               {d, "hh:nn mm", "09:04 03"},  // a token between: the month
               {d, "hh x mm", "09 x 03"},    // a letter is no separator
               {d, "hh:mmm", "09:Mar"}});    // mmm is always the month
  ExpectDates({{kJob, "h:nn AM/PM", "2:30 PM"}, {kJob, "h:nn am/pm", "2:30 pm"}, {kJob, "hh:nn A/P", "02:30 P"},
               {kJob, "hh:nn a/p", "02:30 p"}, {At(2024, 1, 5, 0, 15), "h:nn AM/PM", "12:15 AM"},
               {At(2024, 1, 5, 12, 0), "h:nn AM/PM", "12:00 PM"}, {kJob, "hh:nn", "14:30"},
               // 2023 began on a Sunday, 2022 on a Saturday.
               {At(2023, 1, 1), "ww", "1"}, {At(2023, 1, 7), "ww", "1"}, {At(2023, 1, 8), "ww", "2"},
               {At(2022, 1, 1), "ww w", "1 7"}, {At(2022, 1, 2), "ww w", "2 1"}, {At(2022, 12, 31), "ww", "53"}});
  ExpectDates({{kJob, "MMM dd, yyyy hh:nn:ss", "Jan 05, 2024 14:30:05"}, {kJob, "mmmddyyyyhhmmss", "Jan052024143005"},
               {kJob, "MMM dd, yyyy hh:mm:ss", "Jan 05, 2024 14:30:05"}, {kJob, "MMM dd, yyyy", "Jan 05, 2024"},
               {d, "d dd ddd dddd", "7 07 Thu Thursday"}, {d, "m mm mmm mmmm", "3 03 Mar March"},
               {d, "yy yyyy", "24 2024"}, {d, "h hh n nn s ss", "9 09 4 04 3 03"}, {d, "q y w", "1 67 5"},
               {d, "ww", "10"}, {At(2024, 12, 31), "q y", "4 366"},
               {d, "DD/MM/YYYY", "07/03/2024"},  // letter case does not matter
               {d, "[x] yyyy", "[x] 2024"},       // other characters as they are
               // Runs longer than a token.
               {kJob, "yyy", "2024"}, {kJob, "yyyyy", "20245"}, {kJob, "ddddd", "Friday5"}, {kJob, "hhh", "1414"},
               {kJob, "", "1/5/2024 2:30:05 PM"},  // plain text
               {45296.5, "0.00", "45296.50"}});    // no date token: the serial
  EXPECT_EQ(ErrorOf([] { FormatDate(1e10, "yyyy"); }), 6);
  LocaleScope de("de_DE");
  ExpectDates({{kJob, "dddd, d. mmmm yyyy", "Freitag, 5. Januar 2024"}, {At(2024, 3, 5), "ddd dd. mmm", "Di 05. Mär"},
               {kJob, "dd/mm/yyyy hh:nn", "05.01.2024 14:30"}, {kJob, "mmmddyyyyhhmmss", "Jan052024143005"}});
  Locale::SetUser("fr_FR");
  ExpectDates({{At(2024, 2, 5), "d mmmm yyyy (mmm)", "5 février 2024 (févr.)"}, {kJob, "dddd", "vendredi"}});
  // A job's calendar day is its "MMM dd, yyyy" text read back, also where the
  // month abbreviations are not English.
  double day = 0;
  EXPECT_TRUE(Convert::ParseDate(FormatDate(At(2024, 2, 5, 9, 0, 0), "MMM dd, yyyy"), day) && day == At(2024, 2, 5));
}

TEST(FormatNumber, DecimalsRoundingSeparatorLiteralsPatternReuseAndDirectWrites) {
  Format::DatePattern date("MMM dd, yyyy hh:nn:ss");
  Format::NumberPattern number("0.00");
  std::string out;
  date.AppendTo(kJob, out);
  number.AppendTo(2.675, out);
  {
    LocaleScope de("de_DE");  // the locale is read when the pattern is applied
    number.AppendTo(2.5, out);
  }
  Format::DatePattern moved = std::move(date);
  moved.AppendTo(At(2023, 12, 31, 23, 59, 59), out);
  EXPECT_EQ(out, "Jan 05, 2024 14:30:052.682,50Dec 31, 2023 23:59:59");
  // Writing to a caller's buffer gives what appending gives, or declines (a value or pattern for the general path, a
  // buffer too small, a date out of range) and leaves the text and the error to AppendTo.
  // How many of the values the pattern writes directly.
  auto written = [](const auto& pattern, const char* label, const auto& values) {
    int count = 0;
    for (double value : values) {
      SCOPED_TRACE(std::string(label) + " " + std::to_string(value));
      std::string appended;
      const int error = ErrorOf([&] { pattern.AppendTo(value, appended); });
      char buffer[64];
      char* end = pattern.TryWrite(value, buffer, sizeof buffer);
      if (!end) continue;
      ++count;
      EXPECT_EQ(error, 0);
      EXPECT_EQ(std::string(buffer, end), appended);
      EXPECT_EQ(pattern.TryWrite(value, buffer, appended.size() - 1), nullptr);
      char* exact = pattern.TryWrite(value, buffer, appended.size());
      EXPECT_EQ(exact ? std::string(buffer, exact) : "(declined)", appended);
    }
    return count;
  };
  const double numbers[] = {0, -0.0, 2.5, -2.5, 2.675, 1.005, -0.125, 0.004, -0.001, 9.995, 0.05, 12.34,
                            999.9999, 1e14, -123456789.987, 1e15, 1e20, 0.1 + 0.2, 7.00000001, 1e-20};
  const char* numberPatterns[] = {"0.00", "0", "000.0", "0.", ".00", "0.000", "0.000000000000000",
                                  "0.0000000000000000"};
  for (const char* locale : {"en_US", "de_DE"}) {
    LocaleScope scope(locale);
    for (const char* text : numberPatterns) EXPECT_GT(written(Format::NumberPattern(text), text, numbers), 10) << text;
  }
  Format::NumberPattern withLiteral("0.00 kg");
  char buffer[64];
  EXPECT_EQ(withLiteral.TryWrite(2.5, buffer, sizeof buffer), nullptr);
  EXPECT_EQ(Format::NumberPattern("0.00").TryWrite(std::nan(""), buffer, sizeof buffer), nullptr);

  const double dates[] = {kJob, At(2023, 12, 31, 23, 59, 59), At(100, 1, 1), At(9999, 12, 31, 12, 0, 0),
                          At(1899, 12, 30, 0, 0, 1), -1.5, 1e10, -1e10};
  const char* datePatterns[] = {"MMM dd, yyyy hh:nn:ss", "dddd d mmmm yy h:n:s AM/PM", "dd/mm/yyyy am/pm a/p",
                                "y w ww q ddd", "mmmddyyyyhhmmss"};
  for (const char* locale : {"en_US", "de_DE", "fr_FR"}) {  // all but the two dates out of range are written
    LocaleScope scope(locale);
    for (const char* text : datePatterns) EXPECT_EQ(written(Format::DatePattern(text), text, dates), 6) << text;
  }
  EXPECT_EQ(Format::DatePattern("0.00").TryWrite(kJob, buffer, sizeof buffer), nullptr);  // no date token
  // Halves away from zero, as the user reads the decimal text.
  ExpectNumbers({{2.5, "0.00", "2.50"}, {2.675, "0.00", "2.68"}, {1.005, "0.00", "1.01"}, {0.125, "0.00", "0.13"},
                 {-0.125, "0.00", "-0.13"}, {2.5, "0", "3"}, {-2.5, "0", "-3"}, {9.995, "0.00", "10.00"},
                 {0.005, "0.00", "0.01"}, {0.004, "0.00", "0.00"},
                 {-0.001, "0.00", "0.00"},  // no minus on a zero
                 {1234567.891, "0.000", "1234567.891"}, {0.5, ".00", ".50"}, {12.5, ".0", "12.5"},
                 {5, "000", "005"}, {1e20, "0", "100000000000000000000"},
                 {123456789012.345, "0.00", "123456789012.35"},
                 {0.1 + 0.2, "0.0000000000000000", "0.3000000000000000"}});
  ExpectNumbers({{12.4, "0.", "12."}, {12, "0.", "12."}, {2.5, "0.00 kg", "2.50 kg"}, {-2.5, "[0.0]", "-[2.5]"},
                 {1234, "0-0", "123-4"},
                 {3.14159, "0.0.0", "3.1.4"},  // only the first "." separates
                 {3.5, "", "3.5"}, {45296.5, "yyyy-mm-dd", "2024-01-05"}});  // a date pattern
  LocaleScope de("de_DE");
  ExpectNumbers({{12.4, "0.", "12,"}, {2.5, "0.00", "2,50"}, {1234.5, "0.00", "1234,50"}});
}

}  // namespace
}  // namespace qx6
