#include "runtime/Conversion.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include <unicode/dtfmtsym.h>

#include "runtime/DateTime.h"
#include "runtime/Format.h"
#include "runtime/Locale.h"
#include "runtime/RuntimeError.h"
#include "runtime/Strings.h"

namespace qx6::Convert {
namespace {

constexpr double kDecades[] = {1e-4, 1e-3, 1e-2, 1e-1, 1e0,  1e1,  1e2,  1e3,  1e4,  1e5,
                               1e6,  1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};  // 10^(i-4)
// Exact in long double's 64-bit mantissa up to 10^27.
constexpr long double kLongPowersOfTen[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,
                                            1e10L, 1e11L, 1e12L, 1e13L, 1e14L, 1e15L, 1e16L, 1e17L, 1e18L};

// ---------------------------------------------------------------- text

void AppendDouble(double value, std::string& out) {
  const std::string& decimal = Locale::User().decimalSeparator;
  if (value == 0) {
    out += '0';  // -0 as well
    return;
  }
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-Infinity" : "Infinity";
    return;
  }
  char buf[40];
  double magnitude = std::fabs(value);
  if (magnitude < 1e15 && magnitude == std::floor(magnitude)) {
    if (value < 0) out += '-';
    auto r = std::to_chars(buf, buf + sizeof buf, static_cast<int64_t>(magnitude));
    out.append(buf, r.ptr);
    return;
  }
  if (magnitude >= 1e-4 && magnitude < 1e15) {
    // The 15 significant digits of the value, as "%.15G" rounds them: in
    // long double the scaling is exact to far better than the distance to
    // a rounding half, which is left to the exact path below.
    int exponent = -4;  // 10^exponent <= magnitude
    while (exponent < 14 && magnitude >= kDecades[exponent + 5]) ++exponent;
    long double scaled = static_cast<long double>(magnitude) * kLongPowersOfTen[14 - exponent];
    if (scaled < 1e14L) scaled *= 10, --exponent;
    else if (scaled >= 1e15L) scaled /= 10, ++exponent;
    long double whole = floorl(scaled);
    long double rest = scaled - whole;
    if (exponent >= -4 && fabsl(rest - 0.5L) > 1e-3L) {
      auto digits = static_cast<int64_t>(whole) + (rest > 0.5L ? 1 : 0);
      if (digits >= 1000000000000000) digits /= 10, ++exponent;  // 9.99...95 became 10
      if (exponent <= 14) {
        char* d = buf;
        std::to_chars(d, d + 16, digits);  // 15 digits, the first at 10^exponent
        int significant = 15;
        while (significant > 1 && d[significant - 1] == '0') --significant;
        if (value < 0) out += '-';
        if (exponent >= 0) {
          out.append(d, static_cast<size_t>(exponent + 1));
          if (significant > exponent + 1) {
            out += decimal;
            out.append(d + exponent + 1, static_cast<size_t>(significant - exponent - 1));
          }
        } else {
          out += '0';
          out += decimal;
          out.append(static_cast<size_t>(-exponent - 1), '0');
          out.append(d, static_cast<size_t>(significant));
        }
        return;
      }
    }
  }
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  for (const char* p = buf; p < r.ptr; ++p) {
    if (*p == '.') out += decimal;
    else if (*p == 'e') out += 'E';
    else out += *p;
  }
}

// The general date forms of the user's locale, compiled once per thread and
// locale.
struct DateForms {
  const LocaleInfo* locale = nullptr;
  std::optional<Format::DatePattern> date, dateTime, time;
};

const DateForms& CurrentDateForms() {
  thread_local DateForms forms;
  const LocaleInfo* locale = &Locale::User();
  if (forms.locale != locale) {
    forms.date.emplace(locale->shortDatePattern);
    forms.dateTime.emplace(locale->shortDatePattern + " " + locale->timePattern);
    forms.time.emplace(locale->timePattern);
    forms.locale = locale;
  }
  return forms;
}

void AppendDate(double serial, std::string& out) {
  const DateForms& forms = CurrentDateForms();
  DateTime::Parts p = DateTime::Split(serial);
  if (p.year == 1899 && p.month == 12 && p.day == 30) forms.time->AppendTo(serial, out);
  else if (p.hour != 0 || p.minute != 0 || p.second != 0) forms.dateTime->AppendTo(serial, out);
  else forms.date->AppendTo(serial, out);
}

void AppendInteger(int64_t value, std::string& out) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, r.ptr);
}

// ---------------------------------------------------------------- numbers

enum class NumberRead { Ok, NotNumber, OutOfRange };

bool IsSpaceLike(std::string_view s) { return s == " " || s == "\xC2\xA0" || s == "\xE2\x80\xAF"; }

// The length of a group separator at `at`, 0 when there is none.
size_t GroupAt(std::string_view text, size_t at, const LocaleInfo& locale) {
  std::string_view rest = text.substr(at);
  const std::string& group = locale.groupSeparator;
  if (!group.empty() && rest.substr(0, group.size()) == group) return group.size();
  if (IsSpaceLike(group)) {
    // Users type a plain space where CLDR has a no-break one.
    for (std::string_view alternative : {" ", "\xC2\xA0", "\xE2\x80\xAF"})
      if (rest.substr(0, alternative.size()) == alternative) return alternative.size();
  }
  return 0;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

NumberRead ReadNumber(std::string_view text, double& out) {
  const LocaleInfo& locale = Locale::User();
  text = Strings::Trim(text);
  if (text.empty()) return NumberRead::NotNumber;
  char small[128];
  std::string large;
  char* clean = small;
  if (text.size() + 2 > sizeof small) {
    large.resize(text.size() + 2);
    clean = large.data();
  }
  size_t n = 0, i = 0;
  if (text[i] == '+' || text[i] == '-') {
    if (text[i] == '-') clean[n++] = '-';
    ++i;
  }
  int integerDigits = 0, fractionDigits = 0, significantIntegerDigits = 0;
  const std::string& decimal = locale.decimalSeparator;
  while (i < text.size()) {
    if (IsDigit(text[i])) {
      if (text[i] != '0' || significantIntegerDigits > 0) ++significantIntegerDigits;
      clean[n++] = text[i++];
      ++integerDigits;
      continue;
    }
    if (text.substr(i, decimal.size()) == decimal) break;
    size_t group = GroupAt(text, i, locale);
    if (group && integerDigits > 0 && i + group < text.size() && IsDigit(text[i + group])) {
      i += group;
      continue;
    }
    break;
  }
  if (i < text.size() && text.substr(i, decimal.size()) == decimal) {
    i += decimal.size();
    clean[n++] = '.';
    while (i < text.size() && IsDigit(text[i])) {
      clean[n++] = text[i++];
      ++fractionDigits;
    }
  }
  if (integerDigits + fractionDigits == 0) return NumberRead::NotNumber;
  int exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    bool negative = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) negative = text[j++] == '-';
    if (j >= text.size() || !IsDigit(text[j])) return NumberRead::NotNumber;
    clean[n++] = 'e';
    if (negative) clean[n++] = '-';
    while (j < text.size() && IsDigit(text[j])) {
      if (exponent < 100000) exponent = exponent * 10 + (text[j] - '0');
      clean[n++] = text[j++];
    }
    if (negative) exponent = -exponent;
    i = j;
  }
  if (i != text.size()) return NumberRead::NotNumber;
  auto [end, error] = std::from_chars(clean, clean + n, out, std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    if (significantIntegerDigits + exponent <= 0) {  // too small: it is 0
      out = 0;
      return NumberRead::Ok;
    }
    return NumberRead::OutOfRange;
  }
  if (error != std::errc() || end != clean + n) return NumberRead::NotNumber;
  return NumberRead::Ok;
}

double TextToDouble(std::string_view text) {
  double value;
  switch (ReadNumber(text, value)) {
    case NumberRead::Ok: return value;
    case NumberRead::OutOfRange: Raise(RuntimeErrorNumber::Overflow);
    default: Raise(RuntimeErrorNumber::TypeMismatch);
  }
}

// Every numeric type, dates as their serial; Null 94, the rest 13.
double NumberOf(const Variant& value) {
  switch (value.Type()) {
    case VarType::Empty: return 0;
    case VarType::Null: Raise(RuntimeErrorNumber::InvalidUseOfNull);
    case VarType::Integer: return value.IntegerValue();
    case VarType::Long: return value.LongValue();
    case VarType::Double: return value.DoubleValue();
    case VarType::Date: return value.DateValue();
    case VarType::Boolean: return value.BooleanValue() ? -1 : 0;
    case VarType::Byte: return value.ByteValue();
    case VarType::String: return TextToDouble(value.StringValue());
    default: Raise(RuntimeErrorNumber::TypeMismatch);
  }
}

template <class T>
T ToWhole(const Variant& value) {
  switch (value.Type()) {
    case VarType::Integer: return static_cast<T>(value.IntegerValue());
    case VarType::Byte: return static_cast<T>(value.ByteValue());
    case VarType::Boolean: return static_cast<T>(value.BooleanValue() ? -1 : 0);
    default: break;
  }
  // nearbyint rounds halves to the even neighbour in the default mode.
  double rounded = std::nearbyint(NumberOf(value));
  if (!(rounded >= static_cast<double>(std::numeric_limits<T>::min()) &&
        rounded <= static_cast<double>(std::numeric_limits<T>::max())))
    Raise(RuntimeErrorNumber::Overflow);
  return static_cast<T>(rounded);
}

// ---------------------------------------------------------------- dates

enum class Kind : uint8_t { Number, Word, Punct, Space };

struct Token {
  Kind kind;
  std::string_view text;
  int value = 0;   // numbers
  int digits = 0;  // numbers
};

constexpr size_t kMaxTokens = 40;

bool Tokenize(std::string_view text, Token* tokens, size_t& count) {
  count = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (count == kMaxTokens) return false;
    auto c = static_cast<unsigned char>(text[i]);
    size_t start = i;
    if (c == ' ' || c == '\t' || text.substr(i, 2) == "\xC2\xA0" || text.substr(i, 3) == "\xE2\x80\xAF") {
      while (i < text.size()) {
        if (text[i] == ' ' || text[i] == '\t') ++i;
        else if (text.substr(i, 2) == "\xC2\xA0") i += 2;
        else if (text.substr(i, 3) == "\xE2\x80\xAF") i += 3;
        else break;
      }
      if (count == 0 || tokens[count - 1].kind != Kind::Space) tokens[count++] = {Kind::Space, text.substr(start, i - start)};
      continue;
    }
    if (IsDigit(text[i])) {
      int value = 0, digits = 0;
      while (i < text.size() && IsDigit(text[i])) {
        if (++digits > 9) return false;
        value = value * 10 + (text[i++] - '0');
      }
      tokens[count++] = {Kind::Number, text.substr(start, i - start), value, digits};
      continue;
    }
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 0x80) {
      while (i < text.size()) {
        auto d = static_cast<unsigned char>(text[i]);
        if (!((d >= 'a' && d <= 'z') || (d >= 'A' && d <= 'Z') || d >= 0x80)) break;
        if (text.substr(i, 2) == "\xC2\xA0" || text.substr(i, 3) == "\xE2\x80\xAF") break;
        ++i;
      }
      tokens[count++] = {Kind::Word, text.substr(start, i - start)};
      continue;
    }
    tokens[count++] = {Kind::Punct, text.substr(i, 1)};
    ++i;
  }
  return true;
}

std::string Folded(std::string_view word) {
  std::string out = Strings::FoldCase(word);
  while (!out.empty() && out.back() == '.') out.pop_back();
  return out;
}

// Month and weekday names and designators of a locale, folded for matching.
struct DateWords {
  const LocaleInfo* locale = nullptr;
  std::vector<std::pair<std::string, int>> months;  // name, 1..12
  std::vector<std::string> weekdays;
  std::vector<std::string> am, pm;
};

const DateWords& CurrentDateWords() {
  thread_local DateWords words;
  const LocaleInfo* locale = &Locale::User();
  if (words.locale == locale) return words;
  words = DateWords{};
  static constexpr const char* kEnglishMonths[] = {"january", "february", "march",     "april",   "may",      "june",
                                                   "july",    "august",   "september", "october", "november", "december"};
  static constexpr const char* kEnglishDays[] = {"sunday", "monday", "tuesday", "wednesday", "thursday", "friday", "saturday"};
  for (int m = 0; m < 12; ++m) {
    words.months.emplace_back(Folded(locale->monthNames[m]), m + 1);
    words.months.emplace_back(Folded(locale->monthAbbreviations[m]), m + 1);
    words.months.emplace_back(kEnglishMonths[m], m + 1);
    words.months.emplace_back(std::string(kEnglishMonths[m], 3), m + 1);
  }
  words.months.emplace_back("sept", 9);
  // The forms used inside a date ("5. März", "5 января") may differ from the
  // stand-alone names the locale shows.
  UErrorCode status = U_ZERO_ERROR;
  icu::DateFormatSymbols symbols(icu::Locale(locale->name.c_str()), status);
  if (U_SUCCESS(status)) {
    for (auto width : {icu::DateFormatSymbols::WIDE, icu::DateFormatSymbols::ABBREVIATED}) {
      int32_t count = 0;
      const icu::UnicodeString* names = symbols.getMonths(count, icu::DateFormatSymbols::FORMAT, width);
      for (int32_t m = 0; m < count && m < 12; ++m) {
        std::string name;
        names[m].toUTF8String(name);
        words.months.emplace_back(Folded(name), m + 1);
      }
    }
  }
  for (int d = 0; d < 7; ++d) {
    words.weekdays.push_back(Folded(locale->dayNames[d]));
    words.weekdays.push_back(Folded(locale->dayAbbreviations[d]));
    words.weekdays.emplace_back(kEnglishDays[d]);
    words.weekdays.emplace_back(kEnglishDays[d], 3);
  }
  words.am = {Folded(locale->amDesignator), "am", "a"};
  words.pm = {Folded(locale->pmDesignator), "pm", "p"};
  words.locale = locale;
  return words;
}

int MonthOf(std::string_view word, const DateWords& words) {
  std::string folded = Folded(word);
  if (folded.empty()) return 0;
  for (const auto& [name, month] : words.months)
    if (name == folded) return month;
  return 0;
}

bool IsWeekday(std::string_view word, const DateWords& words) {
  std::string folded = Folded(word);
  for (const auto& name : words.weekdays)
    if (!name.empty() && name == folded) return true;
  return false;
}

// 0 none, 1 AM, 2 PM.
int MeridiemOf(std::string_view word, const DateWords& words) {
  std::string folded = Folded(word);
  for (const auto& name : words.am)
    if (!name.empty() && name == folded) return 1;
  for (const auto& name : words.pm)
    if (!name.empty() && name == folded) return 2;
  return 0;
}

struct DateReader {
  const Token* t;
  size_t n;
  const LocaleInfo& locale;
  const DateWords& words;

  bool IsPunct(size_t i, char c) const { return i < n && t[i].kind == Kind::Punct && t[i].text[0] == c; }
  bool IsSpace(size_t i) const { return i < n && t[i].kind == Kind::Space; }
  bool IsNumber(size_t i) const { return i < n && t[i].kind == Kind::Number; }
  size_t SkipSpace(size_t i) const { return IsSpace(i) ? i + 1 : i; }

  bool IsDateSeparator(size_t i) const {
    if (i >= n || t[i].kind != Kind::Punct) return false;
    char c = t[i].text[0];
    return c == '/' || c == '-' || c == '.' || t[i].text == locale.dateSeparator;
  }
  bool IsTimeSeparator(size_t i) const {
    return i < n && t[i].kind == Kind::Punct && (t[i].text[0] == ':' || t[i].text == locale.timeSeparator);
  }

  static int FullYear(const Token& year) {
    if (year.digits <= 2) return year.value < 30 ? 2000 + year.value : 1900 + year.value;
    return year.value;
  }
  static bool YearLike(const Token& number) { return number.digits >= 3 || number.value > 31; }

  // Three numbers with one separator: 05.01.2024, 1/5/2024, 2024-01-05.
  bool NumericDate(size_t& i, int& y, int& m, int& d, bool& iso) const {
    size_t k = i;
    if (!IsNumber(k) || !IsDateSeparator(k + 1)) return false;
    char separator = t[k + 1].text[0];
    size_t second = SkipSpace(k + 2);
    if (!IsNumber(second) || !IsPunct(second + 1, separator)) return false;
    size_t third = SkipSpace(second + 2);
    if (!IsNumber(third)) return false;
    const Token &a = t[k], &b = t[second], &c = t[third];
    size_t end = third + 1;
    if (separator == '.' && IsPunct(end, '.')) ++end;  // "2024. 1. 5."
    iso = a.digits == 4 && separator == '-';
    if (a.digits >= 3 || locale.dateOrder == DateOrder::YearMonthDay) {
      y = FullYear(a), m = b.value, d = c.value;
    } else if (locale.dateOrder == DateOrder::DayMonthYear) {
      d = a.value, m = b.value, y = FullYear(c);
    } else {
      m = a.value, d = b.value, y = FullYear(c);
    }
    i = end;
    return true;
  }

  bool FollowedByMeridiem(size_t j) const {
    size_t w = SkipSpace(j + 1);
    return w < n && t[w].kind == Kind::Word && MeridiemOf(t[w].text, words) != 0;
  }

  // A month name with one or two numbers: Jan 05, 2024; 5. Januar 2024.
  bool NamedDate(size_t& i, int& y, int& m, int& d) const {
    const Token* numbers[2];
    int count = 0, numberCount = 0, monthAt = -1;
    size_t k = i, end = i;
    while (count < 3) {
      size_t j = k;
      if (count > 0)
        while (j < n && (IsSpace(j) || IsPunct(j, ',') || IsPunct(j, '.') || IsPunct(j, '-') || IsPunct(j, '/'))) ++j;
      if (IsNumber(j) && numberCount < 2) {
        if (IsTimeSeparator(j + 1)) break;                   // the time begins here
        if (monthAt >= 0 && FollowedByMeridiem(j)) break;  // an hour: "Jan 5 2 PM"
        numbers[numberCount++] = &t[j];
        k = end = j + 1;
      } else if (j < n && t[j].kind == Kind::Word && monthAt < 0) {
        m = MonthOf(t[j].text, words);
        if (!m) break;
        monthAt = count;
        k = end = j + 1;
        if (IsPunct(k, '.')) k = end = k + 1;  // abbreviation dot
      } else {
        break;
      }
      ++count;
    }
    if (monthAt < 0 || numberCount == 0) return false;
    if (numberCount == 1) {
      if (YearLike(*numbers[0])) {  // "January 2024": its first day
        y = FullYear(*numbers[0]);
        d = 1;
      } else {  // "Jan 5": this year
        y = DateTime::Split(DateTime::Now()).year;
        d = numbers[0]->value;
      }
    } else {
      const Token& first = *numbers[0];
      const Token& second = *numbers[1];
      if (YearLike(first) && !YearLike(second)) {
        y = FullYear(first);
        d = second.value;
      } else {
        if (monthAt == 2 && !YearLike(second)) return false;  // "5 24 Jan" says nothing clear
        d = first.value;
        y = FullYear(second);
      }
    }
    i = end;
    return true;
  }

  // 14:30, 2:30:05 PM, 2 PM, 14:30:05.123; a designator before the time too.
  bool Time(size_t& i, int& h, int& m, int& s) const {
    size_t k = i;
    int meridiem = 0;
    if (k < n && t[k].kind == Kind::Word && (meridiem = MeridiemOf(t[k].text, words)) != 0) k = SkipSpace(k + 1);
    if (!IsNumber(k) || t[k].digits > 2) return false;
    h = t[k].value, m = 0, s = 0;
    ++k;
    bool minutes = false;
    if (IsTimeSeparator(k) && IsNumber(k + 1) && t[k + 1].digits <= 2) {
      m = t[k + 1].value;
      k += 2;
      minutes = true;
      if (IsTimeSeparator(k) && IsNumber(k + 1) && t[k + 1].digits <= 2) {
        s = t[k + 1].value;
        k += 2;
        if ((IsPunct(k, '.') || IsPunct(k, ',')) && IsNumber(k + 1)) k += 2;  // fractions of a second
      }
    }
    if (!meridiem) {
      size_t j = SkipSpace(k);
      if (j < n && t[j].kind == Kind::Word && (meridiem = MeridiemOf(t[j].text, words)) != 0) k = j + 1;
    }
    if (!minutes && !meridiem) return false;
    if (meridiem) {
      if (h < 1 || h > 12) return false;
      h = h % 12 + (meridiem == 2 ? 12 : 0);
    }
    if (h > 23 || m > 59 || s > 59) return false;
    i = k;
    return true;
  }

  bool Read(double& out) const {
    size_t i = SkipSpace(0);
    if (i < n && t[i].kind == Kind::Word && IsWeekday(t[i].text, words)) {
      i = SkipSpace(i + 1);
      if (IsPunct(i, ',') || IsPunct(i, '.')) i = SkipSpace(i + 1);
    }
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    bool iso = false, haveDate = false, haveTime = false;
    size_t k = i;
    if (NumericDate(k, y, mo, d, iso)) {
      haveDate = true;
    } else {
      k = i;
      haveDate = NamedDate(k, y, mo, d);
    }
    if (haveDate) {
      i = k;
      size_t j = SkipSpace(i);
      if (IsPunct(j, ',')) j = SkipSpace(j + 1);
      if (iso && j == i && j < n && (t[j].text == "T" || t[j].text == "t")) ++j;
      size_t after = j;
      if (j < n && Time(after, h, mi, s)) {
        haveTime = true;
        i = after;
      }
    } else {
      k = i;
      if (!Time(k, h, mi, s)) return false;
      haveTime = true;
      i = k;
    }
    if (iso && (i < n && t[i].kind == Kind::Word && (t[i].text == "Z" || t[i].text == "z"))) ++i;
    i = SkipSpace(i);
    if (i != n) return false;
    double date = 0;
    if (haveDate) {
      if (y < 100 || y > 9999 || mo < 1 || mo > 12 || d < 1) return false;
      static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
      bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
      if (d > kDays[mo - 1] || (mo == 2 && d == 29 && !leap)) return false;
      date = DateTime::DateSerial(y, mo, d);
    }
    out = haveTime ? DateTime::Combine(date, (h * 3600 + mi * 60 + s) / 86400.0) : date;
    return true;
  }
};

}  // namespace

// ---------------------------------------------------------------- public

std::string NumberText(double value) {
  std::string out;
  AppendDouble(value, out);
  return out;
}

void AppendText(const Variant& value, std::string& out) {
  switch (value.Type()) {
    case VarType::Empty: return;
    case VarType::Null: Raise(RuntimeErrorNumber::InvalidUseOfNull);
    case VarType::Integer: AppendInteger(value.IntegerValue(), out); return;
    case VarType::Long: AppendInteger(value.LongValue(), out); return;
    case VarType::Byte: AppendInteger(value.ByteValue(), out); return;
    case VarType::Double: AppendDouble(value.DoubleValue(), out); return;
    case VarType::Boolean: out += value.BooleanValue() ? "True" : "False"; return;
    case VarType::String: out += value.StringValue(); return;
    case VarType::Date:
      if (!DateTime::IsValid(value.DateValue())) Raise(RuntimeErrorNumber::Overflow);
      AppendDate(value.DateValue(), out);
      return;
    default: Raise(RuntimeErrorNumber::TypeMismatch);
  }
}

std::string ToText(const Variant& value) {
  std::string out;
  AppendText(value, out);
  return out;
}

int16_t ToInteger(const Variant& value) { return ToWhole<int16_t>(value); }
int32_t ToLong(const Variant& value) { return ToWhole<int32_t>(value); }
double ToDouble(const Variant& value) { return NumberOf(value); }

bool ToBoolean(const Variant& value) {
  if (value.IsString()) {
    std::string_view text = Strings::Trim(value.StringValue());
    if (Strings::EqualsText(text, "True")) return true;
    if (Strings::EqualsText(text, "False")) return false;
    return TextToDouble(text) != 0;
  }
  return NumberOf(value) != 0;
}

double ToDate(const Variant& value) {
  switch (value.Type()) {
    case VarType::Date: return value.DateValue();
    case VarType::String: {
      double serial;
      if (!ParseDate(value.StringValue(), serial)) Raise(RuntimeErrorNumber::TypeMismatch);
      return serial;
    }
    default: {
      double serial = NumberOf(value);
      if (!DateTime::IsValid(serial)) Raise(RuntimeErrorNumber::Overflow);
      return serial;
    }
  }
}

bool IsNumeric(const Variant& value) {
  if (value.IsNumber()) return true;
  double ignored;
  return value.IsString() && ParseNumber(value.StringValue(), ignored);
}

bool IsDate(const Variant& value) {
  if (value.Type() == VarType::Date) return true;
  double ignored;
  return value.IsString() && ParseDate(value.StringValue(), ignored);
}

bool ParseNumber(std::string_view text, double& out) {
  double value;
  if (ReadNumber(text, value) != NumberRead::Ok) return false;
  out = value;
  return true;
}

bool ParseDate(std::string_view text, double& out) {
  Token tokens[kMaxTokens];
  size_t count;
  if (!Tokenize(text, tokens, count)) return false;
  DateReader reader{tokens, count, Locale::User(), CurrentDateWords()};
  double serial;
  if (!reader.Read(serial)) return false;
  out = serial;
  return true;
}

bool ValuesDiffer(const Variant& a, const Variant& b) {
  // Two values of one kind (a column's values nearly always are) compare
  // as the general rules below compare them, without the conversions.
  if (a.Type() == b.Type()) {
    switch (a.Type()) {
      case VarType::String: return a.StringValue() != b.StringValue();
      case VarType::Long: return a.LongValue() != b.LongValue();
      case VarType::Integer: return a.IntegerValue() != b.IntegerValue();
      case VarType::Double: return a.DoubleValue() != b.DoubleValue();
      case VarType::Boolean: return a.BooleanValue() != b.BooleanValue();
      default: break;
    }
  }
  if (a.IsNull() || b.IsNull()) return !(a.IsNull() && b.IsNull());
  if (a.IsEmpty() || b.IsEmpty()) return !(a.IsEmpty() && b.IsEmpty());
  bool aDate = a.Type() == VarType::Date, bDate = b.Type() == VarType::Date;
  if ((a.IsNumber() || aDate) && (b.IsNumber() || bDate)) {
    double x = NumberOf(a), y = NumberOf(b);
    if (aDate || bDate) return DateTime::Instant(x) != DateTime::Instant(y);
    return x != y;
  }
  if (a.IsString() && b.IsString()) return a.StringValue() != b.StringValue();
  if (a.IsObject() && b.IsObject()) return a.ObjectValue() != b.ObjectValue();
  return true;
}

}  // namespace qx6::Convert
