#include "runtime/Locale.h"

#include <atomic>
#include <cstdlib>
#include <list>
#include <memory>
#include <mutex>

#include <unicode/datefmt.h>
#include <unicode/dcfmtsym.h>
#include <unicode/dtfmtsym.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/uloc.h>

namespace qx6::Locale {
namespace {

std::string ToUtf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

// "de-DE.UTF-8@euro" -> "de_DE"; "C", "POSIX" and "" -> "en_US".
std::string Normalize(std::string_view raw) {
  size_t cut = raw.find_first_of(".@");
  if (cut != std::string_view::npos) raw = raw.substr(0, cut);
  if (raw.empty() || raw == "C" || raw == "POSIX") return "en_US";
  std::string name(raw);
  for (char& c : name)
    if (c == '-') c = '_';
  return name;
}

bool IsAsciiLetter(UChar c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Thin spaces and no-break spaces in CLDR patterns become plain spaces: users
// type and expect "2:30:05 PM".
void AppendLiteral(UChar c, std::string& out) {
  if (c == 0x202F || c == 0x00A0 || c == 0x2009) {
    out += ' ';
    return;
  }
  icu::UnicodeString one(c);
  out += ToUtf8(one);
}

std::string CollapseSpaces(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

struct PatternRun {
  UChar letter;
  int count;
};

// Walks a CLDR pattern, handing each letter run and each literal character
// (quoted text included) to the callbacks.
template <class OnRun, class OnLiteral>
void WalkPattern(const icu::UnicodeString& pattern, OnRun onRun, OnLiteral onLiteral) {
  int32_t i = 0, n = pattern.length();
  while (i < n) {
    UChar c = pattern[i];
    if (c == '\'') {
      int32_t j = i + 1;
      if (j < n && pattern[j] == '\'') {
        onLiteral(UChar('\''), false);
        i += 2;
        continue;
      }
      while (j < n && pattern[j] != '\'') onLiteral(pattern[j++], true);
      i = j + 1;
      continue;
    }
    if (IsAsciiLetter(c)) {
      int32_t j = i;
      while (j < n && pattern[j] == c) ++j;
      onRun(PatternRun{c, j - i});
      i = j;
      continue;
    }
    onLiteral(c, false);
    ++i;
  }
}

// The CLDR short date pattern in the format notation, the year always with
// four digits; fills the separator and the order of the fields.
std::string ConvertDatePattern(const icu::UnicodeString& pattern, std::string& separator, DateOrder& order) {
  std::string out, pendingSeparator;
  std::string fields;
  bool sawField = false;
  WalkPattern(
      pattern,
      [&](PatternRun run) {
        if (sawField && separator.empty() && !pendingSeparator.empty()) separator = pendingSeparator;
        pendingSeparator.clear();
        switch (run.letter) {
          case 'y':
          case 'Y':
          case 'u':
          case 'U':
          case 'r':
            out += "yyyy";
            fields += 'y';
            break;
          case 'M':
          case 'L':
            out += run.count == 1 ? "m" : run.count == 2 ? "mm" : run.count == 3 ? "mmm" : "mmmm";
            fields += 'm';
            break;
          case 'd':
            out += run.count == 1 ? "d" : "dd";
            fields += 'd';
            break;
          case 'E':
          case 'c':
          case 'e':
            out += run.count >= 4 ? "dddd" : "ddd";
            break;
          default:  // eras and anything else have no place in the notation
            return;
        }
        sawField = true;
      },
      [&](UChar c, bool quoted) {
        if (quoted && IsAsciiLetter(c)) return;  // would read as a token
        std::string piece;
        AppendLiteral(c, piece);
        out += piece;
        if (piece != " ") pendingSeparator += piece;
      });
  auto y = fields.find('y'), m = fields.find('m'), d = fields.find('d');
  if (y != std::string::npos && m != std::string::npos && d != std::string::npos) {
    if (y < m && m < d) order = DateOrder::YearMonthDay;
    else if (d < m) order = DateOrder::DayMonthYear;
    else order = DateOrder::MonthDayYear;
  }
  if (separator.empty()) separator = "/";
  return CollapseSpaces(out);
}

// The CLDR medium time pattern (with seconds) in the format notation.
std::string ConvertTimePattern(const icu::UnicodeString& pattern, std::string& separator) {
  std::string out, pendingSeparator;
  bool afterHour = false;
  WalkPattern(
      pattern,
      [&](PatternRun run) {
        switch (run.letter) {
          case 'h':
          case 'H':
          case 'k':
          case 'K':
            out += run.count == 1 ? "h" : "hh";
            afterHour = true;
            pendingSeparator.clear();
            return;
          case 'm':
            if (afterHour && separator.empty() && !pendingSeparator.empty()) separator = pendingSeparator;
            out += run.count == 1 ? "n" : "nn";
            break;
          case 's':
            out += run.count == 1 ? "s" : "ss";
            break;
          case 'a':
          case 'b':
          case 'B':
            out += "AM/PM";
            break;
          default:  // fractions of seconds, time zones
            break;
        }
        afterHour = false;
      },
      [&](UChar c, bool quoted) {
        if (quoted && IsAsciiLetter(c)) return;
        std::string piece;
        AppendLiteral(c, piece);
        out += piece;
        if (afterHour && piece != " ") pendingSeparator += piece;
      });
  if (separator.empty()) separator = ":";
  return CollapseSpaces(out);
}

template <size_t N>
void CopyNames(const icu::UnicodeString* names, int32_t count, int32_t first, std::array<std::string, N>& to) {
  for (size_t i = 0; i < N; ++i) {
    int32_t k = first + static_cast<int32_t>(i);
    to[i] = k < count ? ToUtf8(names[k]) : std::string();
  }
}

bool HasData(const icu::Locale& wanted, const icu::Locale& got) {
  return std::string_view(got.getLanguage()) == wanted.getLanguage();
}

LocaleInfo Build(const icu::Locale& loc) {
  UErrorCode status = U_ZERO_ERROR;
  LocaleInfo info;
  info.name = loc.getName();
  info.lcid = uloc_getLCID(loc.getName());
  if (info.lcid == 0) info.lcid = uloc_getLCID(loc.getLanguage());
  if (info.lcid == 0) info.lcid = 1033;

  icu::DecimalFormatSymbols numbers(loc, status);
  info.decimalSeparator = ToUtf8(numbers.getSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol));
  info.groupSeparator = ToUtf8(numbers.getSymbol(icu::DecimalFormatSymbols::kGroupingSeparatorSymbol));
  if (info.decimalSeparator.empty()) info.decimalSeparator = ".";

  status = U_ZERO_ERROR;
  icu::DateFormatSymbols symbols(loc, status);
  int32_t count = 0;
  // Stand-alone forms: they are the plain names ("Mär", not "März" cut to "Mär."),
  // which is what a month or weekday column alone should show.
  const auto* months = symbols.getMonths(count, icu::DateFormatSymbols::STANDALONE, icu::DateFormatSymbols::WIDE);
  CopyNames(months, count, 0, info.monthNames);
  months = symbols.getMonths(count, icu::DateFormatSymbols::STANDALONE, icu::DateFormatSymbols::ABBREVIATED);
  CopyNames(months, count, 0, info.monthAbbreviations);
  const auto* days = symbols.getWeekdays(count, icu::DateFormatSymbols::STANDALONE, icu::DateFormatSymbols::WIDE);
  CopyNames(days, count, 1, info.dayNames);  // ICU's index 0 is unused
  days = symbols.getWeekdays(count, icu::DateFormatSymbols::STANDALONE, icu::DateFormatSymbols::ABBREVIATED);
  CopyNames(days, count, 1, info.dayAbbreviations);
  const auto* ampm = symbols.getAmPmStrings(count);
  info.amDesignator = count > 0 ? ToUtf8(ampm[0]) : "AM";
  info.pmDesignator = count > 1 ? ToUtf8(ampm[1]) : "PM";

  icu::UnicodeString pattern;
  std::unique_ptr<icu::DateFormat> date(icu::DateFormat::createDateInstance(icu::DateFormat::kShort, loc));
  if (auto* simple = dynamic_cast<icu::SimpleDateFormat*>(date.get())) simple->toPattern(pattern);
  else pattern = u"M/d/yy";
  info.shortDatePattern = ConvertDatePattern(pattern, info.dateSeparator, info.dateOrder);

  pattern.remove();
  std::unique_ptr<icu::DateFormat> time(icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, loc));
  if (auto* simple = dynamic_cast<icu::SimpleDateFormat*>(time.get())) simple->toPattern(pattern);
  else pattern = u"h:mm:ss a";
  info.timePattern = ConvertTimePattern(pattern, info.timeSeparator);

  info.ansiCodePage = DefaultAnsiCodePage(info.name);
  return info;
}

// Every LocaleInfo handed out stays alive, so a reference from User() never
// dangles when another thread calls SetUser.
std::mutex gMutex;
std::list<LocaleInfo> gKept;
std::atomic<const LocaleInfo*> gUser{nullptr};

const LocaleInfo* Keep(LocaleInfo info) {
  gKept.push_back(std::move(info));
  return &gKept.back();
}

}  // namespace

std::string NameFromEnvironment() {
  for (const char* variable : {"LC_ALL", "LC_TIME", "LC_NUMERIC", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return Normalize(value);
  }
  return "en_US";
}

LocaleInfo ForName(std::string_view name) {
  std::string normalized = Normalize(name);
  icu::Locale loc = icu::Locale::createCanonical(normalized.c_str());
  if (loc.isBogus() || *loc.getLanguage() == '\0') loc = icu::Locale("en", "US");
  if (*loc.getCountry() == '\0') {
    // A bare language ("de") stands for its main country, as on Windows.
    icu::Locale full(loc);
    UErrorCode status = U_ZERO_ERROR;
    full.addLikelySubtags(status);
    if (U_SUCCESS(status) && *full.getCountry() != '\0') {
      std::string withCountry = loc.getLanguage();
      if (*loc.getScript() != '\0') withCountry += std::string("_") + loc.getScript();
      withCountry += std::string("_") + full.getCountry();
      loc = icu::Locale(withCountry.c_str());
    }
  }
  UErrorCode status = U_ZERO_ERROR;
  icu::DecimalFormatSymbols probe(loc, status);
  // A language ICU holds no data for would show ICU's root names ("M01"):
  // such a user gets en-US rather than nonsense.
  if (U_FAILURE(status) || !HasData(loc, probe.getLocale(ULOC_VALID_LOCALE, status))) loc = icu::Locale("en", "US");
  return Build(loc);
}

const LocaleInfo& User() {
  const LocaleInfo* user = gUser.load(std::memory_order_acquire);
  if (user) return *user;
  std::lock_guard lock(gMutex);
  user = gUser.load(std::memory_order_relaxed);
  if (!user) {
    user = Keep(ForName(NameFromEnvironment()));
    gUser.store(user, std::memory_order_release);
  }
  return *user;
}

void SetUser(std::string_view name) {
  LocaleInfo info = ForName(name);
  std::lock_guard lock(gMutex);
  gUser.store(Keep(std::move(info)), std::memory_order_release);
}

uint32_t DefaultAnsiCodePage(std::string_view localeName) {
  icu::Locale loc = icu::Locale::createCanonical(Normalize(localeName).c_str());
  std::string_view language = loc.getLanguage();
  std::string_view script = loc.getScript();
  std::string_view country = loc.getCountry();
  auto in = [&](std::initializer_list<std::string_view> list) {
    for (auto l : list)
      if (l == language) return true;
    return false;
  };
  if (language == "zh")
    return (script == "Hant" || country == "TW" || country == "HK" || country == "MO") ? 950 : 936;
  if (language == "sr") return script == "Latn" ? 1250 : 1251;
  if (language == "az" || language == "uz") return script == "Cyrl" ? 1251 : 1254;
  if (in({"cs", "pl", "hu", "sk", "sl", "hr", "ro", "sq", "bs", "tk"})) return 1250;
  if (in({"ru", "uk", "be", "bg", "mk", "kk", "ky", "tt", "mn", "ba", "sah", "tg"})) return 1251;
  if (language == "el") return 1253;
  if (language == "tr") return 1254;
  if (language == "he" || language == "iw" || language == "yi") return 1255;
  if (in({"ar", "fa", "ur", "ps", "ug", "ckb", "sd"})) return 1256;
  if (in({"et", "lv", "lt"})) return 1257;
  if (language == "vi") return 1258;
  if (language == "th") return 874;
  if (language == "ja") return 932;
  if (language == "ko") return 949;
  return 1252;
}

}  // namespace qx6::Locale
