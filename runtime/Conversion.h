// Conversions between Variant types with the original runtime's rules, and
// the tests and comparison that rest on them. All use the user's locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/Variant.h"

namespace qx6::Convert {

// Text form: a number in its shortest form with up to 15 significant digits
// (as "%.15G" gives it, -0 as 0) with the user's decimal separator; a Boolean as
// True or False; a date in the short date form (four-digit year) followed by
// a space and the time with seconds when it is not midnight; a time alone
// when the date part is 30 December 1899. Empty gives "", Null error 94,
// an object or an array error 13.
std::string ToText(const Variant& value);
// Appends the text form to `out` (the export's hot path).
void AppendText(const Variant& value, std::string& out);
std::string NumberText(double value);

// Halves to the even neighbour; error 6 outside the range, error 13 for a
// text that is no number (or an object), error 94 for Null. Empty is 0.
int16_t ToInteger(const Variant& value);
int32_t ToLong(const Variant& value);
double ToDouble(const Variant& value);
// "True" / "False" in any letter case, or a number (0 is False). Error 13
// otherwise, 94 for Null.
bool ToBoolean(const Variant& value);
// A date value, a number (as a serial) or a text the date test accepts.
// Error 13 otherwise, 94 for Null.
double ToDate(const Variant& value);

// A number, a Boolean (dates are not numeric), or a text that
// reads as a number in the user's locale (surrounding spaces, a sign, digits
// with group separators, the decimal separator, an exponent).
bool IsNumeric(const Variant& value);
// A date value, or a text in ISO form, in the locale's numeric day-month-year
// order with its separators, or with a month name (full or abbreviated, the
// user's language or English), each with an optional time and AM/PM.
// In detail: three numbers with one of "/", "-", "." or the locale's date
// separator between them (a four-digit first number is the year); a month
// name with a day and a year in any order the text makes clear ("Jan 05,
// 2024", "5. Januar 2024", "2024 Jan 5"), or with a year alone (its first
// day) or a day alone (this year); a leading weekday name is allowed. Years
// of one or two digits are 1930 to 2029. The time is h:mm, h:mm:ss (a
// fraction of a second is ignored) or an hour with a designator ("2 PM"); a
// time alone is a time on 30 December 1899. Two numbers ("1/5") are no date.
bool IsDate(const Variant& value);

// Reads a number text by the rules of IsNumeric; false when it is none.
bool ParseNumber(std::string_view text, double& out);
// Reads a date text by the rules of IsDate; false when it is none.
bool ParseDate(std::string_view text, double& out);

// Comparison for grouping: two Nulls are equal, one Null differs from
// anything; numbers, Booleans and dates compare numerically (dates as
// instants), texts character by character with letter case counting; a
// number and a text, or Empty and anything but Empty, differ.
bool ValuesDiffer(const Variant& a, const Variant& b);

}  // namespace qx6::Convert
