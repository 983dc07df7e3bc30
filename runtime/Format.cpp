#include "runtime/Format.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "runtime/Conversion.h"
#include "runtime/DateTime.h"
#include "runtime/Locale.h"
#include "runtime/RuntimeError.h"
#include "runtime/Strings.h"
#include "runtime/Variant.h"

namespace qx6::Format {
namespace {

enum class Token : uint8_t {
  Literal,
  Day, Day2, DayAbbreviation, DayName,
  Month, Month2, MonthAbbreviation, MonthName,
  Minute, Minute2, Hour, Hour2, Second, Second2,
  Year2, Year4, DayOfYear, Weekday, WeekOfYear, Quarter,
  AmPmUpper, AmPmLower, APUpper, APLower,
  DateSeparator, TimeSeparator,
  // number patterns
  IntegerDigit, DecimalPoint, FractionDigit,
};

struct Op {
  Token token;
  uint32_t start = 0, length = 0;  // the literal's bytes in Compiled::literals
};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDateLetter(char c) {
  switch (Lower(c)) {
    case 'd': case 'm': case 'y': case 'h': case 'n': case 's': case 'w': case 'q': return true;
    default: return false;
  }
}

// The AM/PM token at `i`, 0 when there is none; sets `upper` by the case of
// its first letter ("AM/PM" upper, "am/pm" lower).
size_t AmPmLength(std::string_view p, size_t i, bool& upper) {
  auto matches = [&](std::string_view form) {
    if (p.size() - i < form.size()) return false;
    for (size_t k = 0; k < form.size(); ++k)
      if (Lower(p[i + k]) != form[k]) return false;
    return true;
  };
  upper = p[i] == 'A';
  if (matches("am/pm")) return 5;
  if (matches("a/p")) return 3;
  return 0;
}

bool HasDateTokens(std::string_view p) {
  bool upper;
  for (size_t i = 0; i < p.size(); ++i)
    if (IsDateLetter(p[i]) || ((p[i] == 'a' || p[i] == 'A') && AmPmLength(p, i, upper))) return true;
  return false;
}

struct Compiled {
  enum class Kind { General, Date, Number } kind = Kind::General;
  std::string literals;
  std::vector<Op> ops;
  bool twelveHour = false;
  int integerDigits = 0, fractionDigits = 0;
  bool decimalPoint = false;
  bool digitsOnly = false;  // a number pattern of placeholders and the point alone ("0.00")

  void AddLiteral(std::string_view text) {
    if (!ops.empty() && ops.back().token == Token::Literal &&
        ops.back().start + ops.back().length == literals.size()) {
      ops.back().length += static_cast<uint32_t>(text.size());
    } else {
      ops.push_back({Token::Literal, static_cast<uint32_t>(literals.size()), static_cast<uint32_t>(text.size())});
    }
    literals.append(text);
  }
  void Add(Token t) { ops.push_back({t}); }
};

// A run of one letter longer than its longest token reads as that token
// followed by the rest of the run; three or four y are the four-digit year.
void CompileDate(std::string_view p, Compiled& c) {
  c.kind = Compiled::Kind::Date;
  bool afterHour = false;  // only separators since the last hour token
  size_t i = 0;
  while (i < p.size()) {
    char ch = p[i];
    bool upper;
    if (size_t n = (ch == 'a' || ch == 'A') ? AmPmLength(p, i, upper) : 0) {
      c.Add(n == 5 ? (upper ? Token::AmPmUpper : Token::AmPmLower) : (upper ? Token::APUpper : Token::APLower));
      c.twelveHour = true;
      afterHour = false;
      i += n;
      continue;
    }
    if (!IsDateLetter(ch)) {
      if (ch == '/') c.Add(Token::DateSeparator);
      else if (ch == ':') c.Add(Token::TimeSeparator);
      else c.AddLiteral(p.substr(i, 1));
      if (IsLetter(ch)) afterHour = false;
      ++i;
      continue;
    }
    char letter = Lower(ch);
    size_t run = 1;
    while (i + run < p.size() && Lower(p[i + run]) == letter) ++run;
    i += run;
    while (run > 0) {
      size_t take = 0;
      bool hour = false;
      switch (letter) {
        case 'd': {
          take = run < 4 ? run : 4;
          static constexpr Token kDay[] = {Token::Day, Token::Day2, Token::DayAbbreviation, Token::DayName};
          c.Add(kDay[take - 1]);
          break;
        }
        case 'm': {
          take = run < 4 ? run : 4;
          if (take <= 2 && afterHour) {
            c.Add(take == 1 ? Token::Minute : Token::Minute2);
          } else {
            static constexpr Token kMonth[] = {Token::Month, Token::Month2, Token::MonthAbbreviation,
                                               Token::MonthName};
            c.Add(kMonth[take - 1]);
          }
          break;
        }
        case 'y':
          take = run < 4 ? run : 4;
          c.Add(take == 1 ? Token::DayOfYear : take == 2 ? Token::Year2 : Token::Year4);
          break;
        case 'h':
          take = run < 2 ? run : 2;
          c.Add(take == 1 ? Token::Hour : Token::Hour2);
          hour = true;
          break;
        case 'n':
          take = run < 2 ? run : 2;
          c.Add(take == 1 ? Token::Minute : Token::Minute2);
          break;
        case 's':
          take = run < 2 ? run : 2;
          c.Add(take == 1 ? Token::Second : Token::Second2);
          break;
        case 'w':
          take = run < 2 ? run : 2;
          c.Add(take == 1 ? Token::Weekday : Token::WeekOfYear);
          break;
        default:  // 'q'
          take = 1;
          c.Add(Token::Quarter);
          break;
      }
      afterHour = hour;
      run -= take;
    }
  }
}

void CompileNumber(std::string_view p, Compiled& c) {
  c.kind = Compiled::Kind::Number;
  for (char ch : p) {
    if (ch == '0') {
      c.Add(c.decimalPoint ? Token::FractionDigit : Token::IntegerDigit);
      ++(c.decimalPoint ? c.fractionDigits : c.integerDigits);
    } else if (ch == '.' && !c.decimalPoint) {
      c.Add(Token::DecimalPoint);
      c.decimalPoint = true;
    } else {
      c.AddLiteral(std::string_view(&ch, 1));
    }
  }
  c.digitsOnly = c.literals.empty();
}

Compiled Compile(std::string_view pattern, bool dateByDefault) {
  Compiled c;
  if (pattern.empty()) return c;
  if (HasDateTokens(pattern)) CompileDate(pattern, c);
  else if (!dateByDefault || pattern.find_first_of("0") != std::string_view::npos) CompileNumber(pattern, c);
  else CompileDate(pattern, c);
  return c;
}

// "00" to "99", two characters each.
constexpr char kTwoDigits[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Collects output in a stack buffer and hands it to the string in few
// appends: the per-value paths write many pieces of one or two characters.
class Sink {
 public:
  explicit Sink(std::string& out) : out_(out) {}
  ~Sink() { Flush(); }
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;
  void Put(char c) {
    if (n_ == sizeof buf_) Flush();
    buf_[n_++] = c;
  }
  void Put(std::string_view text) {
    if (text.size() > sizeof buf_ - n_) {
      Flush();
      if (text.size() > sizeof buf_) {
        out_.append(text);
        return;
      }
    }
    std::memcpy(buf_ + n_, text.data(), text.size());
    n_ += text.size();
  }
  void Repeat(char c, size_t count) {
    while (count-- > 0) Put(c);
  }
  void Number(int value) {
    char digits[12];
    auto r = std::to_chars(digits, digits + sizeof digits, value);
    Put(std::string_view(digits, static_cast<size_t>(r.ptr - digits)));
  }
  void TwoDigits(int value) {
    if (sizeof buf_ - n_ < 2) Flush();
    std::memcpy(buf_ + n_, kTwoDigits + 2 * (value % 100), 2);
    n_ += 2;
  }
  void LowerCase(const std::string& text) {
    if (!Strings::IsAscii(text)) {
      Put(Strings::LCase(text));
      return;
    }
    for (char ch : text) Put(Lower(ch));
  }
  void Flush() {
    out_.append(buf_, n_);
    n_ = 0;
  }

 private:
  std::string& out_;
  char buf_[256];
  size_t n_ = 0;
};

// Writes into a caller's buffer of fixed size; notes when the text does not
// fit (the caller then takes the general path) and writes nothing further.
class BoundedSink {
 public:
  BoundedSink(char* to, size_t room) : to_(to), end_(to + room) {}
  bool Fits() const { return to_ != nullptr; }
  char* End() const { return to_; }
  void Put(char c) {
    if (Room(1)) *to_++ = c;
  }
  void Put(std::string_view text) {
    if (!Room(text.size())) return;
    to_ = Strings::CopyShort(to_, text.data(), text.size());
  }
  void Number(int value) {
    if (value >= 0 && value < 10) {
      Put(static_cast<char>('0' + value));
      return;
    }
    if (value >= 1000 && value < 10000) {  // a year
      if (!Room(4)) return;
      std::memcpy(to_, kTwoDigits + 2 * (value / 100), 2);
      std::memcpy(to_ + 2, kTwoDigits + 2 * (value % 100), 2);
      to_ += 4;
      return;
    }
    char digits[12];
    const auto size = static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
    if (!Room(size)) return;
    std::memcpy(to_, digits, size);
    to_ += size;
  }
  void TwoDigits(int value) {
    if (!Room(2)) return;
    std::memcpy(to_, kTwoDigits + 2 * (value % 100), 2);
    to_ += 2;
  }
  void LowerCase(const std::string& text) {
    if (!Strings::IsAscii(text)) {
      Put(Strings::LCase(text));
      return;
    }
    if (!Room(text.size())) return;
    for (char ch : text) *to_++ = Lower(ch);
  }

 private:
  bool Room(size_t count) {
    if (to_ && static_cast<size_t>(end_ - to_) >= count) return true;
    to_ = nullptr;
    return false;
  }
  char* to_;
  char* const end_;
};

// Writes the parts of a date by the compiled pattern.
template <class Out>
[[gnu::always_inline]] inline void WriteDate(const Compiled& c, const DateTime::Parts& d, Out& sink) {
  const LocaleInfo& locale = Locale::User();
  int hour = d.hour;
  if (c.twelveHour) {
    hour %= 12;
    if (hour == 0) hour = 12;
  }
  for (const Op& op : c.ops) {
    switch (op.token) {
      case Token::Literal: sink.Put(std::string_view(c.literals).substr(op.start, op.length)); break;
      case Token::Day: sink.Number(d.day); break;
      case Token::Day2: sink.TwoDigits(d.day); break;
      case Token::DayAbbreviation: sink.Put(locale.dayAbbreviations[d.weekday - 1]); break;
      case Token::DayName: sink.Put(locale.dayNames[d.weekday - 1]); break;
      case Token::Month: sink.Number(d.month); break;
      case Token::Month2: sink.TwoDigits(d.month); break;
      case Token::MonthAbbreviation: sink.Put(locale.monthAbbreviations[d.month - 1]); break;
      case Token::MonthName: sink.Put(locale.monthNames[d.month - 1]); break;
      case Token::Minute: sink.Number(d.minute); break;
      case Token::Minute2: sink.TwoDigits(d.minute); break;
      case Token::Hour: sink.Number(hour); break;
      case Token::Hour2: sink.TwoDigits(hour); break;
      case Token::Second: sink.Number(d.second); break;
      case Token::Second2: sink.TwoDigits(d.second); break;
      case Token::Year2: sink.TwoDigits(d.year % 100); break;
      case Token::Year4: sink.Number(d.year); break;
      case Token::DayOfYear: sink.Number(d.dayOfYear); break;
      case Token::Weekday: sink.Number(d.weekday); break;
      case Token::WeekOfYear: {
        // Week 1 holds 1 January; weeks begin on Sunday.
        int weekdayOfFirst = ((d.weekday - 1 - (d.dayOfYear - 1)) % 7 + 7) % 7;  // 0 = Sunday
        sink.Number((d.dayOfYear - 1 + weekdayOfFirst) / 7 + 1);
        break;
      }
      case Token::Quarter: sink.Number((d.month - 1) / 3 + 1); break;
      case Token::AmPmUpper: sink.Put(d.hour < 12 ? locale.amDesignator : locale.pmDesignator); break;
      case Token::AmPmLower: sink.LowerCase(d.hour < 12 ? locale.amDesignator : locale.pmDesignator); break;
      case Token::APUpper: sink.Put(d.hour < 12 ? 'A' : 'P'); break;
      case Token::APLower: sink.Put(d.hour < 12 ? 'a' : 'p'); break;
      case Token::DateSeparator: sink.Put(locale.dateSeparator); break;
      case Token::TimeSeparator: sink.Put(locale.timeSeparator); break;
      default: break;
    }
  }
}

void RenderDate(const Compiled& c, double serial, std::string& out) {
  if (!DateTime::IsValid(serial)) Raise(RuntimeErrorNumber::Overflow);
  const DateTime::Parts parts = DateTime::Split(serial);
  char text[64];
  BoundedSink bounded(text, sizeof text);
  WriteDate(c, parts, bounded);
  if (bounded.Fits()) {
    out.append(text, static_cast<size_t>(bounded.End() - text));
    return;
  }
  Sink sink(out);
  WriteDate(c, parts, sink);
}

constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8,
                                   1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// A rounded number as decimal digits: `digits` (no leading zeros) whose
// last `decimals` stand after the decimal separator, zeros understood on
// the left where there are fewer.
struct Rounded {
  char small[64];
  std::unique_ptr<char[]> large;
  char* digits = small;
  int length = 0;

  char* Reserve(size_t size) {
    if (size > sizeof small) {
      large = std::make_unique<char[]>(size);
      digits = large.get();
    }
    return digits;
  }
};

// |value| rounded to `decimals` places, halves away from zero, as a count
// of 10^-decimals, where the binary value decides it: a finite value
// whose scaled form is under 10^15 and not close to a half (there the
// binary value rounds as its decimal form does). False otherwise.
inline bool RoundQuickly(double value, int decimals, uint64_t& count) {
  if (decimals > 15) return false;
  const double scaled = std::fabs(value) * kPowersOfTen[decimals];
  if (!(scaled < 1e15)) return false;
  const auto whole = static_cast<uint64_t>(scaled);  // the floor: scaled is not negative
  const double rest = scaled - static_cast<double>(whole);
  if (!(std::fabs(rest - 0.5) > scaled * 1e-14 + 1e-12)) return false;
  count = whole + (rest > 0.5 ? 1 : 0);
  return true;
}

// |value| rounded to `decimals` places, halves away from zero, on the
// number's 15-significant-digit decimal form, so that 2.675 gives 2.68 as
// the user sees it and not 2.67 as its binary value has it.
void RoundDecimal(double value, int decimals, Rounded& r) {
  value = std::fabs(value);
  if (uint64_t n; RoundQuickly(value, decimals, n)) {
    char* to = r.Reserve(24);
    r.length = n == 0 ? 0 : static_cast<int>(std::to_chars(to, to + 24, n).ptr - to);
    return;
  }
  char buf[32];
  auto end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14).ptr;
  // buf: d.dddddddddddddde[+-]XX
  char mantissa[16];
  mantissa[0] = buf[0];
  std::memcpy(mantissa + 1, buf + 2, 14);
  const char* e = static_cast<const char*>(std::memchr(buf, 'e', static_cast<size_t>(end - buf)));
  int exponent = 0;
  std::from_chars(e + (e[1] == '+' ? 2 : 1), end, exponent);
  int keep = exponent + decimals + 1;  // digits with a place value of at least 10^-decimals
  int count = keep < 15 ? keep : 15;
  if (keep < 15) {
    bool up = keep >= 0 && mantissa[keep] >= '5';
    if (keep <= 0) {
      count = 0;
      if (keep == 0 && up) {
        mantissa[0] = '1';
        count = 1;
        ++exponent;
      }
    } else if (up) {
      int k = keep - 1;
      while (k >= 0 && mantissa[k] == '9') mantissa[k--] = '0';
      if (k >= 0) {
        ++mantissa[k];
      } else {
        std::memmove(mantissa + 1, mantissa, static_cast<size_t>(keep));
        mantissa[0] = '1';
        ++exponent;
        if (++count > 15) count = 15;
      }
    }
  }
  // mantissa[j] has the place value 10^(exponent - j); write every place from
  // the highest down to 10^-decimals.
  int highest = exponent > 0 ? exponent : 0;
  char* to = r.Reserve(static_cast<size_t>(highest + decimals + 2));
  int n = 0;
  for (int place = highest; place >= -decimals; --place) {
    int j = exponent - place;
    char ch = (j >= 0 && j < count) ? mantissa[j] : '0';
    if (n == 0 && ch == '0') continue;
    to[n++] = ch;
  }
  r.length = n;
}

// The size of a number's text by a pattern of placeholders and the point
// alone: the sign, the integer digits padded with zeros to the
// placeholders, then the separator and the fraction digits.
size_t DigitsOnlySize(const Compiled& c, double value, const Rounded& r, const std::string& decimal) {
  const int integerLength = r.length > c.fractionDigits ? r.length - c.fractionDigits : 0;
  const int zeros = c.integerDigits > integerLength ? c.integerDigits - integerLength : 0;
  const bool minus = value < 0 && r.length > 0;
  return (minus ? 1 : 0) + static_cast<size_t>(zeros + integerLength) +
         (c.decimalPoint ? decimal.size() + static_cast<size_t>(c.fractionDigits) : 0);
}

// Writes that text (DigitsOnlySize bytes) and returns its end.
char* WriteDigitsOnly(const Compiled& c, double value, const Rounded& r, const std::string& decimal, char* to) {
  const int fractionLength = c.fractionDigits;
  const int integerLength = r.length > fractionLength ? r.length - fractionLength : 0;
  const int zeros = c.integerDigits > integerLength ? c.integerDigits - integerLength : 0;
  if (value < 0 && r.length > 0) *to++ = '-';  // a rounded zero has no sign
  for (int k = 0; k < zeros; ++k) *to++ = '0';
  for (int k = 0; k < integerLength; ++k) *to++ = r.digits[k];
  if (c.decimalPoint) {
    for (char ch : decimal) *to++ = ch;
    for (int k = 0; k < fractionLength; ++k) {
      const int j = r.length - fractionLength + k;
      *to++ = j >= 0 ? r.digits[j] : '0';
    }
  }
  return to;
}

constexpr uint64_t kWholePowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000,
                                          1000000000, 10000000000, 100000000000, 1000000000000,
                                          10000000000000, 100000000000000, 1000000000000000};

// What WriteDigitsOnly writes, from a count of 10^-fractionDigits given by
// RoundQuickly; nullptr when it takes more than `room` bytes.
[[gnu::always_inline]] inline char* WriteDigitsOnlyQuickly(const Compiled& c, bool negative, uint64_t count,
                                                          const std::string& decimal, char* to, size_t room) {
  const int fractionLength = c.fractionDigits;
  const uint64_t whole = count / kWholePowersOfTen[fractionLength];
  uint64_t fraction = count % kWholePowersOfTen[fractionLength];
  int integerLength = 0;
  while (integerLength < 16 && whole >= kWholePowersOfTen[integerLength]) ++integerLength;
  const int zeros = c.integerDigits > integerLength ? c.integerDigits - integerLength : 0;
  const bool minus = negative && count > 0;  // a rounded zero has no sign
  const size_t size = (minus ? 1 : 0) + static_cast<size_t>(zeros + integerLength) +
                      (c.decimalPoint ? decimal.size() + static_cast<size_t>(fractionLength) : 0);
  if (size > room) return nullptr;
  if (minus) *to++ = '-';
  for (int k = 0; k < zeros; ++k) *to++ = '0';
  if (integerLength > 0) to = std::to_chars(to, to + integerLength, whole).ptr;
  if (c.decimalPoint) {
    if (decimal.size() == 1) *to++ = decimal.front();
    else for (char ch : decimal) *to++ = ch;
    char* digit = to + fractionLength;
    for (; digit - to >= 2; fraction /= 100) {
      digit -= 2;
      std::memcpy(digit, kTwoDigits + 2 * (fraction % 100), 2);
    }
    if (digit != to) *to = static_cast<char>('0' + fraction % 10);
    to += fractionLength;
  }
  return to;
}

// A finite value's text by a pattern of placeholders and the point alone,
// written to `to` when it takes at most `room` bytes; its end, or nullptr.
char* TryWriteDigitsOnly(const Compiled& c, double value, char* to, size_t room) {
  const std::string& decimal = Locale::User().decimalSeparator;
  if (uint64_t count; RoundQuickly(value, c.fractionDigits, count))
    return WriteDigitsOnlyQuickly(c, value < 0, count, decimal, to, room);
  Rounded r;
  RoundDecimal(value, c.fractionDigits, r);
  if (DigitsOnlySize(c, value, r, decimal) > room) return nullptr;
  return WriteDigitsOnly(c, value, r, decimal, to);
}

void RenderNumber(const Compiled& c, double value, std::string& out) {
  if (!std::isfinite(value)) {
    out += Convert::NumberText(value);
    return;
  }
  if (c.digitsOnly) {
    char text[64];
    if (const char* end = TryWriteDigitsOnly(c, value, text, sizeof text)) {
      out.append(text, static_cast<size_t>(end - text));
      return;
    }
  }
  Rounded r;
  RoundDecimal(value, c.fractionDigits, r);
  const int fractionLength = c.fractionDigits;
  int integerLength = r.length > fractionLength ? r.length - fractionLength : 0;
  if (c.digitsOnly) {
    const std::string& decimal = Locale::User().decimalSeparator;
    const size_t at = out.size();
    out.resize(at + DigitsOnlySize(c, value, r, decimal));
    WriteDigitsOnly(c, value, r, decimal, out.data() + at);
    return;
  }
  // Digit k of the integer part (k from 0) and of the fraction.
  auto integerDigit = [&](int k) { return r.digits[k]; };
  auto fractionDigit = [&](int k) {
    int j = r.length - fractionLength + k;
    return j >= 0 ? r.digits[j] : '0';
  };
  Sink sink(out);
  if (value < 0 && r.length > 0) sink.Put('-');  // a rounded zero has no sign
  const std::string& decimal = Locale::User().decimalSeparator;
  int padded = integerLength > c.integerDigits ? integerLength : c.integerDigits;
  int leadingZeros = padded - integerLength;
  int nextInteger = 0, nextFraction = 0;
  bool integerWritten = false;
  auto paddedDigit = [&](int position) { return position < leadingZeros ? '0' : integerDigit(position - leadingZeros); };
  for (const Op& op : c.ops) {
    switch (op.token) {
      case Token::Literal: sink.Put(std::string_view(c.literals).substr(op.start, op.length)); break;
      case Token::IntegerDigit:
        if (!integerWritten) {
          // Digits beyond the placeholders go before the first of them.
          for (; nextInteger < padded - c.integerDigits; ++nextInteger) sink.Put(paddedDigit(nextInteger));
          integerWritten = true;
        }
        sink.Put(paddedDigit(nextInteger++));
        break;
      case Token::DecimalPoint:
        if (!integerWritten) {
          sink.Put(std::string_view(r.digits, static_cast<size_t>(integerLength)));  // ".00": the integer part still shows
          integerWritten = true;
        }
        sink.Put(decimal);
        break;
      case Token::FractionDigit: sink.Put(fractionDigit(nextFraction++)); break;
      default: break;
    }
  }
}

void Render(const Compiled& c, double value, bool asDate, std::string& out) {
  switch (c.kind) {
    case Compiled::Kind::General:
      Convert::AppendText(asDate ? Variant::Date(value) : Variant::Double(value), out);
      return;
    case Compiled::Kind::Date: RenderDate(c, value, out); return;
    case Compiled::Kind::Number: RenderNumber(c, value, out); return;
  }
}

// One-entry cache per thread for the free functions, which callers tend to
// use with one pattern many times in a row.
const Compiled& Cached(std::string_view pattern, bool asDate) {
  thread_local std::string lastPattern[2];
  thread_local Compiled last[2];
  thread_local bool filled[2] = {false, false};
  int k = asDate ? 1 : 0;
  if (!filled[k] || lastPattern[k] != pattern) {
    last[k] = Compile(pattern, asDate);
    lastPattern[k].assign(pattern);
    filled[k] = true;
  }
  return last[k];
}

}  // namespace

std::string FormatDate(double serial, std::string_view pattern) {
  std::string out;
  Render(Cached(pattern, true), serial, true, out);
  return out;
}

std::string FormatNumber(double value, std::string_view pattern) {
  std::string out;
  Render(Cached(pattern, false), value, false, out);
  return out;
}

bool IsDatePattern(std::string_view pattern) { return HasDateTokens(pattern); }

struct DatePattern::Impl {
  Compiled compiled;
};

DatePattern::DatePattern(std::string_view pattern) : impl_(new Impl{Compile(pattern, true)}) {}
DatePattern::~DatePattern() { delete impl_; }
DatePattern::DatePattern(DatePattern&& o) noexcept : impl_(o.impl_) { o.impl_ = nullptr; }
DatePattern& DatePattern::operator=(DatePattern&& o) noexcept {
  if (this != &o) {
    delete impl_;
    impl_ = o.impl_;
    o.impl_ = nullptr;
  }
  return *this;
}
void DatePattern::AppendTo(double serial, std::string& out) const { Render(impl_->compiled, serial, true, out); }
char* DatePattern::TryWrite(double serial, char* to, size_t room) const {
  const Compiled& c = impl_->compiled;
  if (c.kind != Compiled::Kind::Date || !DateTime::IsValid(serial)) return nullptr;
  BoundedSink sink(to, room);
  WriteDate(c, DateTime::Split(serial), sink);
  return sink.End();
}

struct NumberPattern::Impl {
  Compiled compiled;
};

NumberPattern::NumberPattern(std::string_view pattern) : impl_(new Impl{Compile(pattern, false)}) {}
NumberPattern::~NumberPattern() { delete impl_; }
NumberPattern::NumberPattern(NumberPattern&& o) noexcept : impl_(o.impl_) { o.impl_ = nullptr; }
NumberPattern& NumberPattern::operator=(NumberPattern&& o) noexcept {
  if (this != &o) {
    delete impl_;
    impl_ = o.impl_;
    o.impl_ = nullptr;
  }
  return *this;
}
void NumberPattern::AppendTo(double value, std::string& out) const { Render(impl_->compiled, value, false, out); }
char* NumberPattern::TryWrite(double value, char* to, size_t room) const {
  const Compiled& c = impl_->compiled;
  if (c.kind != Compiled::Kind::Number || !c.digitsOnly || !std::isfinite(value)) return nullptr;
  return TryWriteDigitsOnly(c, value, to, room);
}

}  // namespace qx6::Format
