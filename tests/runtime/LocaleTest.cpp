#include "runtime/Locale.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace qx6 {
namespace {

// Sets environment variables for one test and puts the old values back.
class EnvironmentScope {
 public:
  ~EnvironmentScope() {
    for (auto& [name, value] : saved_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
  }
  void Set(const std::string& name, const char* value) {
    const char* old = std::getenv(name.c_str());
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value) setenv(name.c_str(), value, 1);
    else unsetenv(name.c_str());
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(LocaleInfo, EnglishUnitedStates) {
  LocaleInfo en = Locale::ForName("en_US");
  EXPECT_EQ(en.name, "en_US");
  EXPECT_EQ(en.lcid, 1033u);
  EXPECT_EQ(en.decimalSeparator, ".");
  EXPECT_EQ(en.groupSeparator, ",");
  EXPECT_EQ(en.dateSeparator, "/");
  EXPECT_EQ(en.timeSeparator, ":");
  EXPECT_EQ(en.dateOrder, DateOrder::MonthDayYear);
  EXPECT_EQ(en.shortDatePattern, "m/d/yyyy");
  // CLDR has a narrow no-break space before the designator; users expect a space.
  EXPECT_EQ(en.timePattern, "h:nn:ss AM/PM");
  EXPECT_EQ(en.amDesignator, "AM");
  EXPECT_EQ(en.pmDesignator, "PM");
  EXPECT_EQ(en.monthNames[0], "January");
  EXPECT_EQ(en.monthAbbreviations[11], "Dec");
  EXPECT_EQ(en.dayNames[0], "Sunday");
  EXPECT_EQ(en.dayAbbreviations[6], "Sat");
  EXPECT_EQ(en.ansiCodePage, 1252u);
}

TEST(LocaleInfo, GermanAndFrench) {
  LocaleInfo de = Locale::ForName("de_DE");
  EXPECT_EQ(de.lcid, 1031u);
  EXPECT_EQ(de.decimalSeparator, ",");
  EXPECT_EQ(de.groupSeparator, ".");
  EXPECT_EQ(de.dateSeparator, ".");
  EXPECT_EQ(de.dateOrder, DateOrder::DayMonthYear);
  EXPECT_EQ(de.shortDatePattern, "dd.mm.yyyy");
  EXPECT_EQ(de.timePattern, "hh:nn:ss");
  EXPECT_EQ(de.monthNames[2], "März");
  EXPECT_EQ(de.monthAbbreviations[0], "Jan");
  EXPECT_EQ(de.dayNames[5], "Freitag");

  LocaleInfo fr = Locale::ForName("fr_FR");
  EXPECT_EQ(fr.lcid, 1036u);
  EXPECT_EQ(fr.decimalSeparator, ",");
  EXPECT_EQ(fr.shortDatePattern, "dd/mm/yyyy");
  EXPECT_EQ(fr.monthNames[1], "février");
  EXPECT_EQ(fr.monthAbbreviations[1], "févr.");
}

TEST(LocaleInfo, YearFirstLocales) {
  LocaleInfo ja = Locale::ForName("ja_JP");
  EXPECT_EQ(ja.dateOrder, DateOrder::YearMonthDay);
  EXPECT_EQ(ja.shortDatePattern, "yyyy/mm/dd");
  EXPECT_EQ(ja.timePattern, "h:nn:ss");  // 24-hour clock: no designator
  EXPECT_EQ(ja.ansiCodePage, 932u);
  EXPECT_EQ(ja.lcid, 1041u);
}

TEST(LocaleNames, SuffixesSpellingsAndFallbacks) {
  EXPECT_EQ(Locale::ForName("de-DE").name, "de_DE");
  EXPECT_EQ(Locale::ForName("de_DE.UTF-8").name, "de_DE");
  EXPECT_EQ(Locale::ForName("de_DE@euro").name, "de_DE");
  EXPECT_EQ(Locale::ForName("de").name, "de_DE");
  EXPECT_EQ(Locale::ForName("de").lcid, 1031u);
  EXPECT_EQ(Locale::ForName("C").name, "en_US");
  EXPECT_EQ(Locale::ForName("C.UTF-8").name, "en_US");
  EXPECT_EQ(Locale::ForName("POSIX").name, "en_US");
  EXPECT_EQ(Locale::ForName("").name, "en_US");
  // A language without locale data would show ICU's placeholder names.
  LocaleInfo unknown = Locale::ForName("xx_YY");
  EXPECT_EQ(unknown.name, "en_US");
  EXPECT_EQ(unknown.monthNames[0], "January");
}

TEST(LocaleNames, EnvironmentOrder) {
  EnvironmentScope env;
  env.Set("LC_ALL", nullptr);
  env.Set("LC_TIME", nullptr);
  env.Set("LC_NUMERIC", nullptr);
  env.Set("LANG", nullptr);
  EXPECT_EQ(Locale::NameFromEnvironment(), "en_US");
  env.Set("LANG", "fr_FR.UTF-8");
  EXPECT_EQ(Locale::NameFromEnvironment(), "fr_FR");
  env.Set("LC_NUMERIC", "pl_PL.UTF-8");
  EXPECT_EQ(Locale::NameFromEnvironment(), "pl_PL");
  env.Set("LC_TIME", "de_DE.UTF-8");
  EXPECT_EQ(Locale::NameFromEnvironment(), "de_DE");
  env.Set("LC_ALL", "C");
  EXPECT_EQ(Locale::NameFromEnvironment(), "en_US");
  env.Set("LC_ALL", "");  // empty counts as unset
  EXPECT_EQ(Locale::NameFromEnvironment(), "de_DE");
}

TEST(LocaleCodePages, WindowsDefaults) {
  EXPECT_EQ(Locale::DefaultAnsiCodePage("en_US"), 1252u);
  EXPECT_EQ(Locale::DefaultAnsiCodePage("pl_PL"), 1250u);
  EXPECT_EQ(Locale::DefaultAnsiCodePage("cs-CZ"), 1250u);
  EXPECT_EQ(Locale::DefaultAnsiCodePage("ru_RU.UTF-8"), 1251u);
  EXPECT_EQ(Locale::DefaultAnsiCodePage("el_GR"), 1253u);
  EXPECT_EQ(Locale::DefaultAnsiCodePage("tr_TR"), 1254u);
  EXPECT_EQ(Locale::DefaultAnsiCodePage("he_IL"), 1255u);
  EXPECT_EQ(Locale::DefaultAnsiCodePage("ar_SA"), 1256u);
  EXPECT_EQ(Locale::DefaultAnsiCodePage("lt_LT"), 1257u);
  EXPECT_EQ(Locale::DefaultAnsiCodePage("vi_VN"), 1258u);
  EXPECT_EQ(Locale::DefaultAnsiCodePage("th_TH"), 874u);
  EXPECT_EQ(Locale::DefaultAnsiCodePage("ja_JP"), 932u);
  EXPECT_EQ(Locale::DefaultAnsiCodePage("zh_CN"), 936u);
  EXPECT_EQ(Locale::DefaultAnsiCodePage("zh_TW"), 950u);
  EXPECT_EQ(Locale::DefaultAnsiCodePage("ko_KR"), 949u);
  EXPECT_EQ(Locale::DefaultAnsiCodePage("sr_Latn_RS"), 1250u);
  EXPECT_EQ(Locale::DefaultAnsiCodePage("sr_RS"), 1251u);
}

TEST(LocaleUser, SetUserKeepsEarlierReferencesValid) {
  Locale::SetUser("en_US");
  const LocaleInfo& before = Locale::User();
  EXPECT_EQ(&before, &Locale::User());  // cached, not rebuilt
  Locale::SetUser("de_DE");
  EXPECT_EQ(Locale::User().name, "de_DE");
  EXPECT_EQ(before.name, "en_US");
  Locale::SetUser("en_US");
  EXPECT_EQ(Locale::User().decimalSeparator, ".");
}

}  // namespace
}  // namespace qx6
