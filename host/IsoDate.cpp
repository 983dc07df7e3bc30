#include "host/IsoDate.h"

#include <cstdint>

#include "runtime/DateTime.h"
#include "runtime/RuntimeError.h"

namespace qx6::host::IsoDate {
namespace {

// Days from 30 December 1899 (proleptic Gregorian, H. Hinnant's algorithm).
int64_t SerialDay(int y, int m, int d) noexcept {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<int64_t>(era) * 146097 + doe - 719468 + 25569;
}

bool IsLeap(int y) noexcept { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) noexcept {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// The `count` digits at `p`, or -1 when one is no digit.
inline int Digits(const char* p, int count) noexcept {
  int value = 0;
  for (int i = 0; i < count; ++i) {
    unsigned digit = static_cast<unsigned char>(p[i]) - unsigned('0');
    if (digit > 9) return -1;
    value = value * 10 + static_cast<int>(digit);
  }
  return value;
}

void PutDigits(char* p, int value, int count) noexcept {
  for (int i = count - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

}  // namespace

bool Parse(std::string_view text, double& serial) noexcept {
  const size_t n = text.size();
  if (n != 10 && n != 16 && n != 19) return false;
  const char* p = text.data();
  if (p[4] != '-' || p[7] != '-') return false;
  const int year = Digits(p, 4), month = Digits(p + 5, 2), day = Digits(p + 8, 2);
  if (year < 100 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  int hour = 0, minute = 0, second = 0;
  if (n > 10) {
    if ((p[10] != ' ' && p[10] != 'T') || p[13] != ':') return false;
    hour = Digits(p + 11, 2);
    minute = Digits(p + 14, 2);
    if (n == 19) {
      if (p[16] != ':') return false;
      second = Digits(p + 17, 2);
    }
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return false;
  }
  const double days = static_cast<double>(SerialDay(year, month, day));
  const double time = (hour * 3600 + minute * 60 + second) / 86400.0;
  // Before 30 December 1899 the time still counts forwards from midnight.
  serial = days < 0 ? days - time : days + time;
  return true;
}

bool Format(double serial, char* out) noexcept {
  if (!DateTime::IsValid(serial)) return false;
  const DateTime::Parts t = DateTime::Split(serial);
  PutDigits(out, t.year, 4);
  out[4] = '-';
  PutDigits(out + 5, t.month, 2);
  out[7] = '-';
  PutDigits(out + 8, t.day, 2);
  out[10] = ' ';
  PutDigits(out + 11, t.hour, 2);
  out[13] = ':';
  PutDigits(out + 14, t.minute, 2);
  out[16] = ':';
  PutDigits(out + 17, t.second, 2);
  out[19] = '\0';
  return true;
}

std::string Format(double serial) {
  char text[20];
  if (!Format(serial, text)) Raise(RuntimeErrorNumber::InvalidProcedureCall, "The date is outside the range of dates");
  return std::string(text, 19);
}

}  // namespace qx6::host::IsoDate
