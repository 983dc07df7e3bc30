// The format notation for date-time and number patterns ("MMM dd, yyyy
// hh:nn:ss", "mmmddyyyyhhmmss", "0.00"). Letters match without regard to
// case; "m"/"mm" after an hour token (with only separators between) are
// minutes; "/" and ":" are the user's separators; AM/PM, am/pm, A/P, a/p
// switch to the 12-hour clock; "0" is a digit placeholder and "." the
// decimal separator, halves rounded away from zero.
//
// Details the notation leaves open, decided here:
// - A pattern with a date token formats the value as a date, one without as a
//   number, whichever function is called (so "0.00" shows a date's serial).
//   An empty pattern gives the value's plain text.
// - "AM/PM" writes the user's designators as they are, "am/pm" in lower
//   case; "A/P" and "a/p" write the single letters.
// - A run of one letter longer than its longest token reads as that token
//   followed by the rest of the run ("ddddd" is "dddd" then "d"); three or
//   four "y" are the four-digit year, so "yyyyy" is that year and "y".
// - A number pattern writes every integer digit (placeholders only set the
//   least number of them); a minus sign goes before the whole text, and not
//   at all when the rounded value is zero. Only the first "." is the decimal
//   separator; further ones are copied.
// - A date outside years 100 to 9999 is error 6.
#pragma once

#include <string>
#include <string_view>

namespace qx6::Format {

std::string FormatDate(double serial, std::string_view pattern);
std::string FormatNumber(double value, std::string_view pattern);
// True when the pattern holds a date token (d m y h n s w q, AM/PM forms).
bool IsDatePattern(std::string_view pattern);

// A pattern compiled once and applied to many values (the export's per-job
// path formats with the same pattern millions of times).
class DatePattern {
 public:
  explicit DatePattern(std::string_view pattern);
  ~DatePattern();
  DatePattern(DatePattern&&) noexcept;
  DatePattern& operator=(DatePattern&&) noexcept;
  void AppendTo(double serial, std::string& out) const;
  // Writes what AppendTo appends straight to `to` when it takes at most
  // `room` bytes and the value is a valid date; returns its end, or nullptr
  // (nothing usable written) for AppendTo to give the text or the error.
  char* TryWrite(double serial, char* to, size_t room) const;

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
  // As DatePattern::TryWrite, for finite values and patterns of digit
  // placeholders and the decimal point alone ("0.00").
  char* TryWrite(double value, char* to, size_t room) const;

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace qx6::Format
