#include "runtime/DateTime.h"

#include <cmath>
#include <ctime>

#include <gtest/gtest.h>

#include "runtime/RuntimeError.h"

namespace qx6 {
namespace {

using namespace DateTime;

int ErrorOf(void (*f)()) {
  try {
    f();
  } catch (const RuntimeError& e) {
    return e.Number();
  }
  return 0;
}

TEST(DateSerial, KnownDaysAndRange) {
  EXPECT_EQ(DateSerial(1899, 12, 30), 0);
  EXPECT_EQ(DateSerial(1900, 3, 1), 61);  // no Lotus 29 February 1900
  EXPECT_EQ(DateSerial(2024, 1, 5), 45296);
  EXPECT_EQ(DateSerial(100, 1, 1), -657434);
  EXPECT_EQ(DateSerial(9999, 12, 31), 2958465);
  EXPECT_EQ(ErrorOf([] { DateSerial(99, 12, 31); }), 5);
  EXPECT_EQ(ErrorOf([] { DateSerial(10000, 1, 1); }), 5);
}

TEST(DateSerial, MonthsAndDaysCarryOver) {
  EXPECT_EQ(DateSerial(2024, 13, 1), DateSerial(2025, 1, 1));
  EXPECT_EQ(DateSerial(2024, 0, 1), DateSerial(2023, 12, 1));
  EXPECT_EQ(DateSerial(2024, -11, 1), DateSerial(2023, 1, 1));
  EXPECT_EQ(DateSerial(2024, 3, 0), DateSerial(2024, 2, 29));
  EXPECT_EQ(DateSerial(2023, 2, 29), DateSerial(2023, 3, 1));
}

TEST(DateSplit, FieldsOfADateTime) {
  Parts p = Split(DateSerial(2024, 1, 5) + TimeSerial(14, 30, 5));
  EXPECT_EQ(p.year, 2024);
  EXPECT_EQ(p.month, 1);
  EXPECT_EQ(p.day, 5);
  EXPECT_EQ(p.hour, 14);
  EXPECT_EQ(p.minute, 30);
  EXPECT_EQ(p.second, 5);
  EXPECT_EQ(p.weekday, 6);  // Friday
  EXPECT_EQ(p.dayOfYear, 5);
  EXPECT_EQ(Split(DateSerial(2024, 12, 31)).dayOfYear, 366);
  EXPECT_EQ(Split(DateSerial(2023, 12, 31)).dayOfYear, 365);
  EXPECT_EQ(Split(DateSerial(2024, 1, 7)).weekday, 1);  // Sunday
  Parts first = Split(-657434);
  EXPECT_EQ(first.year, 100);
  EXPECT_EQ(first.weekday, 6);  // 1 January 100 was a Friday
}

TEST(DateSplit, RoundsToTheSecondAcrossMidnight) {
  double almost = DateSerial(2024, 1, 5) + (86400 - 0.4) / 86400.0;
  Parts p = Split(almost);
  EXPECT_EQ(p.day, 6);
  EXPECT_EQ(p.hour, 0);
  EXPECT_FALSE(HasTime(almost));
  EXPECT_EQ(DateOnly(almost), DateSerial(2024, 1, 6));
  EXPECT_TRUE(HasTime(DateSerial(2024, 1, 5) + 1.0 / 86400));
}

TEST(DateSplit, NegativeSerialsCountDaysBackwards) {
  Parts p = Split(-1.25);  // 29 December 1899, 06:00
  EXPECT_EQ(p.year, 1899);
  EXPECT_EQ(p.month, 12);
  EXPECT_EQ(p.day, 29);
  EXPECT_EQ(p.hour, 6);
  EXPECT_EQ(Combine(-1, 0.25), -1.25);
  EXPECT_EQ(Combine(45296, 0.25), 45296.25);
  EXPECT_EQ(DateOnly(-1.25), -1);
  EXPECT_EQ(Instant(-0.5), Instant(0.5));  // both are noon of 30 December 1899
  EXPECT_LT(Instant(-1.25), Instant(-1.5));  // 06:00 before 12:00 of the same day
  EXPECT_LT(Instant(-1.75), Instant(0));
}

TEST(TimeSerial, CarriesOverAndCountsBack) {
  EXPECT_DOUBLE_EQ(TimeSerial(14, 30, 5) * 86400, 52205);
  EXPECT_DOUBLE_EQ(TimeSerial(25, 0, 0), 1 + 1.0 / 24);
  EXPECT_DOUBLE_EQ(TimeSerial(0, 90, 0), 1.5 / 24);
  Parts p = Split(TimeSerial(-1, 0, 0));  // 23:00 the day before
  EXPECT_EQ(p.day, 29);
  EXPECT_EQ(p.hour, 23);
}

TEST(DateRange, ValidityAndClamping) {
  EXPECT_TRUE(IsValid(0));
  EXPECT_TRUE(IsValid(MaxSerial));
  EXPECT_FALSE(IsValid(MaxSerial + 1));
  EXPECT_FALSE(IsValid(std::nan("")));
  EXPECT_EQ(Split(1e12).year, 9999);
  EXPECT_EQ(Split(std::nan("")).year, 1899);
}

TEST(DateNow, MatchesTheClock) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  Parts p = Split(Now());
  EXPECT_EQ(p.year, local.tm_year + 1900);
  EXPECT_EQ(p.month, local.tm_mon + 1);
  EXPECT_NEAR(p.hour * 60 + p.minute, local.tm_hour * 60 + local.tm_min, 1);
}

}  // namespace
}  // namespace qx6
