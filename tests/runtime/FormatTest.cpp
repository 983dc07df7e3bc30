#include "runtime/Format.h"

#include <functional>

#include <gtest/gtest.h>

#include "runtime/Conversion.h"
#include "runtime/DateTime.h"
#include "runtime/Locale.h"
#include "runtime/RuntimeError.h"

namespace qx6 {
namespace {

using Format::FormatDate;
using Format::FormatNumber;

class LocaleScope {
 public:
  explicit LocaleScope(const char* name) { Locale::SetUser(name); }
  ~LocaleScope() { Locale::SetUser("en_US"); }
};

double At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return DateTime::Combine(DateTime::DateSerial(y, mo, d), DateTime::TimeSerial(h, mi, s));
}

const double kJob = At(2024, 1, 5, 14, 30, 5);  // a Friday

TEST(FormatDate, ExportPatterns) {
  EXPECT_EQ(FormatDate(kJob, "MMM dd, yyyy hh:nn:ss"), "Jan 05, 2024 14:30:05");
  EXPECT_EQ(FormatDate(kJob, "mmmddyyyyhhmmss"), "Jan052024143005");
  EXPECT_EQ(FormatDate(kJob, "MMM dd, yyyy hh:mm:ss"), "Jan 05, 2024 14:30:05");
  EXPECT_EQ(FormatDate(kJob, "MMM dd, yyyy"), "Jan 05, 2024");
}

TEST(FormatDate, EveryToken) {
  double d = At(2024, 3, 7, 9, 4, 3);  // Thursday
  EXPECT_EQ(FormatDate(d, "d dd ddd dddd"), "7 07 Thu Thursday");
  EXPECT_EQ(FormatDate(d, "m mm mmm mmmm"), "3 03 Mar March");
  EXPECT_EQ(FormatDate(d, "yy yyyy"), "24 2024");
  EXPECT_EQ(FormatDate(d, "h hh n nn s ss"), "9 09 4 04 3 03");
  EXPECT_EQ(FormatDate(d, "q y w"), "1 67 5");
  EXPECT_EQ(FormatDate(d, "ww"), "10");
  EXPECT_EQ(FormatDate(d, "DD/MM/YYYY"), "07/03/2024");  // letter case does not matter
  EXPECT_EQ(FormatDate(d, "[x] yyyy"), "[x] 2024");       // other characters as they are
  EXPECT_EQ(FormatDate(At(2024, 12, 31), "q y"), "4 366");
}

TEST(FormatDate, MinutesOnlyAfterAnHour) {
  double d = At(2024, 3, 7, 9, 4, 3);
  EXPECT_EQ(FormatDate(d, "hh:mm"), "09:04");
  EXPECT_EQ(FormatDate(d, "hh mm"), "09 04");
  EXPECT_EQ(FormatDate(d, "hhmm"), "0904");
  EXPECT_EQ(FormatDate(d, "mm/dd hh:mm"), "03/07 09:04");
  EXPECT_EQ(FormatDate(d, "hh:nn mm"), "09:04 03");   // a token between: the month
  EXPECT_EQ(FormatDate(d, "hh x mm"), "09 x 03");     // a letter is no separator
  EXPECT_EQ(FormatDate(d, "hh:mmm"), "09:Mar");       // mmm is always the month
}

TEST(FormatDate, TwelveHourClock) {
  double afternoon = At(2024, 1, 5, 14, 30, 5);
  double midnight = At(2024, 1, 5, 0, 15, 0);
  double noon = At(2024, 1, 5, 12, 0, 0);
  EXPECT_EQ(FormatDate(afternoon, "h:nn AM/PM"), "2:30 PM");
  EXPECT_EQ(FormatDate(afternoon, "h:nn am/pm"), "2:30 pm");
  EXPECT_EQ(FormatDate(afternoon, "hh:nn A/P"), "02:30 P");
  EXPECT_EQ(FormatDate(afternoon, "hh:nn a/p"), "02:30 p");
  EXPECT_EQ(FormatDate(midnight, "h:nn AM/PM"), "12:15 AM");
  EXPECT_EQ(FormatDate(noon, "h:nn AM/PM"), "12:00 PM");
  EXPECT_EQ(FormatDate(afternoon, "hh:nn"), "14:30");
}

TEST(FormatDate, WeekOfYear) {
  // 2023 began on a Sunday, 2022 on a Saturday.
  EXPECT_EQ(FormatDate(At(2023, 1, 1), "ww"), "1");
  EXPECT_EQ(FormatDate(At(2023, 1, 7), "ww"), "1");
  EXPECT_EQ(FormatDate(At(2023, 1, 8), "ww"), "2");
  EXPECT_EQ(FormatDate(At(2022, 1, 1), "ww w"), "1 7");
  EXPECT_EQ(FormatDate(At(2022, 1, 2), "ww w"), "2 1");
  EXPECT_EQ(FormatDate(At(2022, 12, 31), "ww"), "53");
}

TEST(FormatDate, LongRuns) {
  EXPECT_EQ(FormatDate(kJob, "yyy"), "2024");
  EXPECT_EQ(FormatDate(kJob, "yyyyy"), "20245");  // the year, then the day of the year
  EXPECT_EQ(FormatDate(kJob, "ddddd"), "Friday5");
  EXPECT_EQ(FormatDate(kJob, "hhh"), "1414");
}

TEST(FormatDate, LocaleNamesAndSeparators) {
  LocaleScope de("de_DE");
  EXPECT_EQ(FormatDate(kJob, "dddd, d. mmmm yyyy"), "Freitag, 5. Januar 2024");
  EXPECT_EQ(FormatDate(At(2024, 3, 5), "ddd dd. mmm"), "Di 05. Mär");
  EXPECT_EQ(FormatDate(kJob, "dd/mm/yyyy hh:nn"), "05.01.2024 14:30");
  EXPECT_EQ(FormatDate(kJob, "mmmddyyyyhhmmss"), "Jan052024143005");
  Locale::SetUser("fr_FR");
  EXPECT_EQ(FormatDate(At(2024, 2, 5), "d mmmm yyyy (mmm)"), "5 février 2024 (févr.)");
  EXPECT_EQ(FormatDate(kJob, "dddd"), "vendredi");
}

TEST(FormatDate, OtherPatternKinds) {
  EXPECT_EQ(FormatDate(kJob, ""), "1/5/2024 2:30:05 PM");  // plain text
  EXPECT_EQ(FormatDate(45296.5, "0.00"), "45296.50");     // no date token: the serial
  try {
    FormatDate(1e10, "yyyy");
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), 6);
  }
}

TEST(FormatNumber, DecimalsAndRounding) {
  EXPECT_EQ(FormatNumber(2.5, "0.00"), "2.50");
  EXPECT_EQ(FormatNumber(2.675, "0.00"), "2.68");  // as the user reads 2.675
  EXPECT_EQ(FormatNumber(1.005, "0.00"), "1.01");
  EXPECT_EQ(FormatNumber(0.125, "0.00"), "0.13");
  EXPECT_EQ(FormatNumber(-0.125, "0.00"), "-0.13");  // halves away from zero
  EXPECT_EQ(FormatNumber(2.5, "0"), "3");
  EXPECT_EQ(FormatNumber(-2.5, "0"), "-3");
  EXPECT_EQ(FormatNumber(9.995, "0.00"), "10.00");
  EXPECT_EQ(FormatNumber(0.005, "0.00"), "0.01");
  EXPECT_EQ(FormatNumber(0.004, "0.00"), "0.00");
  EXPECT_EQ(FormatNumber(-0.001, "0.00"), "0.00");  // no minus on a zero
  EXPECT_EQ(FormatNumber(1234567.891, "0.000"), "1234567.891");
  EXPECT_EQ(FormatNumber(0.5, ".00"), ".50");
  EXPECT_EQ(FormatNumber(12.5, ".0"), "12.5");
  EXPECT_EQ(FormatNumber(5, "000"), "005");
  EXPECT_EQ(FormatNumber(1e20, "0"), "100000000000000000000");
  EXPECT_EQ(FormatNumber(123456789012.345, "0.00"), "123456789012.35");
  EXPECT_EQ(FormatNumber(0.1 + 0.2, "0.0000000000000000"), "0.3000000000000000");
}

TEST(FormatNumber, SeparatorAndLiterals) {
  EXPECT_EQ(FormatNumber(12.4, "0."), "12.");
  EXPECT_EQ(FormatNumber(12, "0."), "12.");
  EXPECT_EQ(FormatNumber(2.5, "0.00 kg"), "2.50 kg");
  EXPECT_EQ(FormatNumber(-2.5, "[0.0]"), "-[2.5]");
  EXPECT_EQ(FormatNumber(1234, "0-0"), "123-4");
  EXPECT_EQ(FormatNumber(3.14159, "0.0.0"), "3.1.4");  // only the first "." separates
  EXPECT_EQ(FormatNumber(3.5, ""), "3.5");
  EXPECT_EQ(FormatNumber(45296.5, "yyyy-mm-dd"), "2024-01-05");  // a date pattern
  LocaleScope de("de_DE");
  EXPECT_EQ(FormatNumber(12.4, "0."), "12,");
  EXPECT_EQ(FormatNumber(2.5, "0.00"), "2,50");
  EXPECT_EQ(FormatNumber(1234.5, "0.00"), "1234,50");
}

TEST(FormatPatterns, CompiledOnceAppliedOften) {
  Format::DatePattern date("MMM dd, yyyy hh:nn:ss");
  Format::NumberPattern number("0.00");
  std::string out;
  date.AppendTo(kJob, out);
  out += '|';
  number.AppendTo(2.675, out);
  EXPECT_EQ(out, "Jan 05, 2024 14:30:05|2.68");
  {
    LocaleScope de("de_DE");  // the locale is read when the pattern is applied
    out.clear();
    number.AppendTo(2.5, out);
    EXPECT_EQ(out, "2,50");
  }
  Format::DatePattern moved = std::move(date);
  out.clear();
  moved.AppendTo(At(2023, 12, 31, 23, 59, 59), out);
  EXPECT_EQ(out, "Dec 31, 2023 23:59:59");
  EXPECT_TRUE(Format::IsDatePattern("hh:nn"));
  EXPECT_TRUE(Format::IsDatePattern("AM/PM"));
  EXPECT_FALSE(Format::IsDatePattern("0.00 kg"));
}

TEST(FormatRoundTrip, CalendarDayGrouping) {
  // A job's calendar day: its date formatted with "MMM dd, yyyy" and read back.
  double day = 0;
  ASSERT_TRUE(Convert::ParseDate(FormatDate(kJob, "MMM dd, yyyy"), day));
  EXPECT_EQ(day, At(2024, 1, 5));
  LocaleScope fr("fr_FR");
  ASSERT_TRUE(Convert::ParseDate(FormatDate(At(2024, 2, 5, 9, 0, 0), "MMM dd, yyyy"), day));
  EXPECT_EQ(day, At(2024, 2, 5));
}

}  // namespace
}  // namespace qx6
