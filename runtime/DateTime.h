// Date values of the runtime: days since 30 December 1899 as a double, the
// time as the fraction of the day (negative serials count days backwards
// with a positive time fraction, as the original runtime did).
#pragma once

#include <cstdint>
#include <optional>

namespace qx6::DateTime {

struct Parts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
  int weekday = 7;  // 1 = Sunday ... 7 = Saturday
  int dayOfYear = 364;
};

// The range of dates: 1 January 100 to 31 December 9999, each with any time.
inline constexpr double MinSerial = -657434.99999;
inline constexpr double MaxSerial = 2958465.99999;

// Months and days outside their range carry over (month 13 is January of the
// next year, day 0 the last day of the month before). Error 5 for a date
// outside years 100 to 9999.
double DateSerial(int year, int month, int day);
// Hours, minutes and seconds carry over the same way: 25:00 is 1:00 of the
// next day, and a negative total counts back from midnight of 30 December 1899.
double TimeSerial(int hour, int minute, int second);
// The serial of a date plus a time of day, minding the backwards count of
// negative serials.
double Combine(double dateSerial, double timeOfDay) noexcept;
// Within MinSerial..MaxSerial and not NaN.
bool IsValid(double serial) noexcept;
// Rounded to the nearest second. A serial outside the range is clamped to it.
Parts Split(double serial) noexcept;
// Seconds since 30 December 1899 on one straight time line, so that two
// serials of the same instant compare equal (-0.5 and 0.5 are both noon).
double Instant(double serial) noexcept;
// The local date and time now.
double Now();
// Makes Now() answer `serial` until it is called with none (tests only).
void SetNowForTesting(std::optional<double> serial);
// The date part (midnight) of a serial.
double DateOnly(double serial) noexcept;
bool HasTime(double serial) noexcept;

}  // namespace qx6::DateTime
