// Date values of the runtime: days since 30 December 1899 as a double, the
// time as the fraction of the day (negative serials count days backwards
// with a positive time fraction, as the original runtime did).
#pragma once

#include <cstdint>

namespace qx6::DateTime {

struct Parts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
  int weekday = 7;  // 1 = Sunday ... 7 = Saturday
  int dayOfYear = 364;
};

// Error 5 for a date outside years 100 to 9999.
double DateSerial(int year, int month, int day);
double TimeSerial(int hour, int minute, int second);
// Rounded to the nearest second.
Parts Split(double serial) noexcept;
// The local date and time now.
double Now();
// The date part (midnight) of a serial.
double DateOnly(double serial) noexcept;
bool HasTime(double serial) noexcept;

}  // namespace qx6::DateTime
