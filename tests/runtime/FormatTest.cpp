#include "runtime/Format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "runtime/Conversion.h"
#include "tests/runtime/RuntimeTesting.h"

namespace qx6 {
namespace {

using Format::FormatDate;
using Format::FormatNumber;
using test::At;
using test::ErrorOf;
using test::LocaleScope;

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

TEST(FormatDate, ExportPatternsAndEveryToken) {
  const double d = At(2024, 3, 7, 9, 4, 3);  // a Thursday
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
}

TEST(FormatDate, MinutesOnlyAfterAnHourTwelveHourClockAndWeekOfYear) {
  const double d = At(2024, 3, 7, 9, 4, 3);
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
}

TEST(FormatDate, LocaleNamesAndSeparators) {
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

TEST(FormatNumber, DecimalsRoundingSeparatorAndLiterals) {
  // Halves away from zero, as the user reads the decimal text.
  ExpectNumbers({{2.5, "0.00", "2.50"}, {2.675, "0.00", "2.68"}, {1.005, "0.00", "1.01"}, {0.125, "0.00", "0.13"},
                 {-0.125, "0.00", "-0.13"}, {2.5, "0", "3"}, {-2.5, "0", "-3"}, {9.995, "0.00", "10.00"},
                 {0.005, "0.00", "0.01"}, {0.004, "0.00", "0.00"},
                 {-0.001, "0.00", "0.00"},  // no minus on a zero
                 {1234567.891, "0.000", "1234567.891"}, {0.5, ".00", ".50"}, {12.5, ".0", "12.5"},
                 {5, "000", "005"}, {1e20, "0", "100000000000000000000"},
                 {123456789012.345, "0.00", "123456789012.35"}, {0.1 + 0.2, "0.0000000000000000", "0.3000000000000000"}});
  ExpectNumbers({{12.4, "0.", "12."}, {12, "0.", "12."}, {2.5, "0.00 kg", "2.50 kg"}, {-2.5, "[0.0]", "-[2.5]"},
                 {1234, "0-0", "123-4"},
                 {3.14159, "0.0.0", "3.1.4"},  // only the first "." separates
                 {3.5, "", "3.5"}, {45296.5, "yyyy-mm-dd", "2024-01-05"}});  // a date pattern
  LocaleScope de("de_DE");
  ExpectNumbers({{12.4, "0.", "12,"}, {2.5, "0.00", "2,50"}, {1234.5, "0.00", "1234,50"}});
}

TEST(FormatPatterns, CompiledOnceAppliedOftenAndDirectWritesAgreeWithAppend) {
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
  const char* numberPatterns[] = {"0.00", "0", "000.0", "0.", ".00", "0.000", "0.000000000000000", "0.0000000000000000"};
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
}

}  // namespace
}  // namespace qx6
