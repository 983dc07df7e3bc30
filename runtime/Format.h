// The format notation for date-time and number patterns ("MMM dd, yyyy
// hh:nn:ss", "mmmddyyyyhhmmss", "0.00"). Letters match without regard to
// case; "m"/"mm" after an hour token (with only separators between) are
// minutes; "/" and ":" are the user's separators; AM/PM, am/pm, A/P, a/p
// switch to the 12-hour clock; "0" is a digit placeholder and "." the
// decimal separator, halves rounded away from zero.
#pragma once

#include <string>
#include <string_view>

namespace qx6::Format {

std::string FormatDate(double serial, std::string_view pattern);
std::string FormatNumber(double value, std::string_view pattern);

// A pattern compiled once and applied to many values (the export's per-job
// path formats with the same pattern millions of times).
class DatePattern {
 public:
  explicit DatePattern(std::string_view pattern);
  ~DatePattern();
  DatePattern(DatePattern&&) noexcept;
  DatePattern& operator=(DatePattern&&) noexcept;
  void AppendTo(double serial, std::string& out) const;

 private:
  struct Impl;
  Impl* impl_;
};

class NumberPattern {
 public:
  explicit NumberPattern(std::string_view pattern);
  ~NumberPattern();
  NumberPattern(NumberPattern&&) noexcept;
  NumberPattern& operator=(NumberPattern&&) noexcept;
  void AppendTo(double value, std::string& out) const;

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace qx6::Format
