#include "host/IsoDate.h"

#include <gtest/gtest.h>

#include "runtime/DateTime.h"
#include "tests/runtime/RuntimeTesting.h"

namespace qx6::host {
namespace {

TEST(IsoDate, ParsesTheStoredFormAndTheTypedForms) {
  const std::pair<const char*, double> cases[] = {
      {"2024-01-05 14:30:05", test::At(2024, 1, 5, 14, 30, 5)}, {"2024-01-05T14:30:05", test::At(2024, 1, 5, 14, 30, 5)},
      {"2024-01-05 14:30", test::At(2024, 1, 5, 14, 30)},       {"2024-02-29", test::At(2024, 2, 29)},
      {"0100-01-01 00:00:00", test::At(100, 1, 1)},
      // Before the epoch the time still counts forwards: 29 December 1899 06:00 is -1.25.
      {"1899-12-29 06:00:00", -1.25},
  };
  for (const auto& [text, expected] : cases) {
    double serial = 0;
    ASSERT_TRUE(IsoDate::Parse(text, serial)) << text;
    EXPECT_EQ(serial, expected) << text;
  }
}

TEST(IsoDate, RefusesImpossibleOrMisshapenDates) {
  double serial = 0;
  for (const char* text : {"2023-02-29", "2024-13-01", "2024-04-31", "2024-01-00", "2024-01-05 24:00:00",
                           "2024-01-05 12:60:00", "2024-01-05 12:00:60", "2024-1-5", "2024/01/05",
                           "2024-01-05 14:30:05Z", "2024-01-05x14:30:05", "0099-12-31", "", "yesterday",
                           "2024-01-05 14:3a:05"})
    EXPECT_FALSE(IsoDate::Parse(text, serial)) << text;
}

TEST(IsoDate, FormatAndParseAgreeWithTheRuntimeOverCenturies) {
  // Every 997th day from 1800 to 2200, at a time that walks through the day.
  const double first = DateTime::DateSerial(1800, 1, 1), last = DateTime::DateSerial(2200, 12, 31);
  int second = 0;
  for (double day = first; day <= last; day += 997, second = (second + 7919) % 86400) {
    const double serial = DateTime::Combine(day, second / 86400.0);
    const std::string text = IsoDate::Format(serial);
    const DateTime::Parts p = DateTime::Split(serial);
    char expected[20];
    std::snprintf(expected, sizeof expected, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                  p.minute, p.second);
    ASSERT_EQ(text, expected);
    double back = 0;
    ASSERT_TRUE(IsoDate::Parse(text, back)) << text;
    EXPECT_EQ(back, serial) << text;
  }
  char out[20];
  EXPECT_FALSE(IsoDate::Format(DateTime::MaxSerial + 1, out));
}

}  // namespace
}  // namespace qx6::host
