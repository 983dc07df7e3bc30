#include "runtime/DateTime.h"

#include <cmath>
#include <ctime>

#include "runtime/RuntimeError.h"

namespace qx6::DateTime {
namespace {

// Civil calendar <-> day count (proleptic Gregorian), after H. Hinnant's
// public-domain algorithms; days counted from 1 January 1970.
int64_t DaysFromCivil(int64_t y, int m, int d) noexcept {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) noexcept {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

constexpr int64_t kEpoch = -25569;  // 30 December 1899 counted from 1970

// The calendar day (days from 30 December 1899) and the second of that day.
void SplitDay(double serial, int64_t& day, int& second) noexcept {
  if (std::isnan(serial)) serial = 0;
  if (serial < MinSerial) serial = MinSerial;
  if (serial > MaxSerial) serial = MaxSerial;
  double whole = std::trunc(serial);
  double fraction = std::fabs(serial - whole);
  // To the nearest second, halves up (the value is not negative): as
  // llround, without the call.
  const double exact = fraction * 86400.0;
  auto seconds = static_cast<int64_t>(exact);
  if (exact - static_cast<double>(seconds) >= 0.5) ++seconds;
  day = static_cast<int64_t>(whole);
  if (seconds >= 86400) {
    seconds -= 86400;
    ++day;
  }
  second = static_cast<int>(seconds);
}

}  // namespace

double DateSerial(int year, int month, int day) {
  int64_t y = year;
  int64_t m = month - 1;
  y += m >= 0 ? m / 12 : -((11 - m) / 12);
  m = ((m % 12) + 12) % 12;
  int64_t serial = DaysFromCivil(y, static_cast<int>(m + 1), 1) - kEpoch + (static_cast<int64_t>(day) - 1);
  if (serial < -657434 || serial > 2958465) Raise(RuntimeErrorNumber::InvalidProcedureCall);
  return static_cast<double>(serial);
}

double TimeSerial(int hour, int minute, int second) {
  int64_t total = static_cast<int64_t>(hour) * 3600 + static_cast<int64_t>(minute) * 60 + second;
  int64_t days = total >= 0 ? total / 86400 : -((86399 - total) / 86400);
  int64_t rest = total - days * 86400;
  return Combine(static_cast<double>(days), static_cast<double>(rest) / 86400.0);
}

double Combine(double dateSerial, double timeOfDay) noexcept {
  return dateSerial < 0 ? dateSerial - timeOfDay : dateSerial + timeOfDay;
}

bool IsValid(double serial) noexcept { return serial >= MinSerial && serial <= MaxSerial; }

Parts Split(double serial) noexcept {
  int64_t day;
  int second;
  SplitDay(serial, day, second);
  Parts p;
  CivilFromDays(day + kEpoch, p.year, p.month, p.day);
  p.hour = second / 3600;
  p.minute = second / 60 % 60;
  p.second = second % 60;
  p.weekday = static_cast<int>(((day % 7) + 13) % 7) + 1;
  p.dayOfYear = static_cast<int>(day + kEpoch - DaysFromCivil(p.year, 1, 1)) + 1;
  return p;
}

double Instant(double serial) noexcept {
  double whole = std::trunc(serial);
  return (whole + std::fabs(serial - whole)) * 86400.0;
}

namespace {
std::optional<double> fixedNow;
}

void SetNowForTesting(std::optional<double> serial) { fixedNow = serial; }

double Now() {
  if (fixedNow) return *fixedNow;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return Combine(DateSerial(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                 (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) / 86400.0);
}

double DateOnly(double serial) noexcept {
  int64_t day;
  int second;
  SplitDay(serial, day, second);
  return static_cast<double>(day);
}

bool HasTime(double serial) noexcept {
  int64_t day;
  int second;
  SplitDay(serial, day, second);
  return second != 0;
}

}  // namespace qx6::DateTime
