// The user's locale as the runtime sees it: separators, names, short date
// order and the Windows locale identifier, from ICU (CLDR). The locale comes
// from LC_ALL, then LC_TIME / LC_NUMERIC, then LANG; "C" and "POSIX" mean
// en-US, and so does a language ICU has no data for. Names are the
// stand-alone forms ("Mär", not the "März" of a date inside a sentence).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace qx6 {

enum class DateOrder { MonthDayYear, DayMonthYear, YearMonthDay };

struct LocaleInfo {
  std::string name;              // ICU name, for example "en_US", "de_DE"
  uint32_t lcid = 1033;          // Windows locale identifier
  std::string decimalSeparator;  // "." or ","
  std::string groupSeparator;    // "," "." or a space form
  std::string dateSeparator;     // "/" "." "-"
  std::string timeSeparator;     // ":"
  std::string amDesignator;      // "AM"
  std::string pmDesignator;      // "PM"
  std::array<std::string, 12> monthNames;        // January ...
  std::array<std::string, 12> monthAbbreviations;  // Jan ...
  std::array<std::string, 7> dayNames;           // Sunday first
  std::array<std::string, 7> dayAbbreviations;
  DateOrder dateOrder = DateOrder::MonthDayYear;
  // The short date form with a four-digit year, in the format notation
  // ("m/d/yyyy" for en-US, "dd.mm.yyyy" for de-DE).
  std::string shortDatePattern;
  // The long time form in the format notation ("h:nn:ss AM/PM", "hh:nn:ss").
  std::string timePattern;
  uint32_t ansiCodePage = 1252;  // the Windows default code page of the locale
};

namespace Locale {

// The user's locale; read from the environment on first use and kept. The
// reference stays valid for the life of the process, across SetUser.
const LocaleInfo& User();

// Builds the information for a locale name ("en_US", "de-DE", "fr_FR.UTF-8").
LocaleInfo ForName(std::string_view name);

// Replaces the user's locale for this process (tests, the host's --locale).
void SetUser(std::string_view name);

// The locale name from the environment, by the rule above.
std::string NameFromEnvironment();

// The Windows default ANSI code page of a locale (1252, 1250, 932, ...).
uint32_t DefaultAnsiCodePage(std::string_view localeName);

}  // namespace Locale
}  // namespace qx6
