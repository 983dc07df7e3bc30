#include "runtime/DateTime.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "tests/runtime/RuntimeTesting.h"

namespace qx6 {
namespace {

using namespace DateTime;
using test::ErrorOf;

TEST(DateSerial, KnownDaysRangeCarryOverValidityAndClamping) {
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
}

void ExpectParts(double serial, int year, int month, int day, int hour, int minute, int second) {
  const Parts p = Split(serial);
  EXPECT_EQ((std::vector<int>{p.year, p.month, p.day, p.hour, p.minute, p.second}),
            (std::vector<int>{year, month, day, hour, minute, second}))
      << "serial " << serial;
}

TEST(DateSplit, FieldsRoundedToTheSecondAcrossMidnightAndNegativeDaysCountedBackwards) {
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

}  // namespace
}  // namespace qx6
