#include "runtime/Locale.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"

namespace qx6 {
namespace {

TEST(LocaleInfo, EnglishUnitedStates) {
  LocaleInfo en = Locale::ForName("en_US");
  EXPECT_EQ(en.name, "en_US");
  EXPECT_EQ(en.lcid, 1033u);
  EXPECT_EQ(en.decimalSeparator + "|" + en.groupSeparator + "|" + en.dateSeparator + "|" + en.timeSeparator, ".|,|/|:");
  EXPECT_EQ(en.dateOrder, DateOrder::MonthDayYear);
  EXPECT_EQ(en.shortDatePattern, "m/d/yyyy");
  // CLDR has a narrow no-break space before the designator; users expect a space.
  EXPECT_EQ(en.timePattern, "h:nn:ss AM/PM");
  EXPECT_EQ(en.amDesignator + "|" + en.pmDesignator, "AM|PM");
  EXPECT_EQ(en.monthNames[0] + "|" + en.monthAbbreviations[11] + "|" + en.dayNames[0] + "|" + en.dayAbbreviations[6],
            "January|Dec|Sunday|Sat");
  EXPECT_EQ(en.ansiCodePage, 1252u);
}

TEST(LocaleInfo, OtherOrdersAndSeparators) {
  LocaleInfo de = Locale::ForName("de_DE");
  EXPECT_EQ(de.lcid, 1031u);
  EXPECT_EQ(de.decimalSeparator + "|" + de.groupSeparator + "|" + de.dateSeparator, ",|.|.");
  EXPECT_EQ(de.dateOrder, DateOrder::DayMonthYear);
  EXPECT_EQ(de.shortDatePattern, "dd.mm.yyyy");
  EXPECT_EQ(de.timePattern, "hh:nn:ss");
  EXPECT_EQ(de.monthNames[2] + "|" + de.monthAbbreviations[0] + "|" + de.dayNames[5], "März|Jan|Freitag");

  LocaleInfo fr = Locale::ForName("fr_FR");
  EXPECT_EQ(fr.lcid, 1036u);
  EXPECT_EQ(fr.decimalSeparator, ",");
  EXPECT_EQ(fr.shortDatePattern, "dd/mm/yyyy");
  EXPECT_EQ(fr.monthNames[1] + "|" + fr.monthAbbreviations[1], "février|févr.");

  LocaleInfo ja = Locale::ForName("ja_JP");
  EXPECT_EQ(ja.dateOrder, DateOrder::YearMonthDay);
  EXPECT_EQ(ja.shortDatePattern, "yyyy/mm/dd");
  EXPECT_EQ(ja.timePattern, "h:nn:ss");  // 24-hour clock: no designator
  EXPECT_EQ(ja.ansiCodePage, 932u);
  EXPECT_EQ(ja.lcid, 1041u);
}

TEST(LocaleNames, SuffixesSpellingsAndFallbacks) {
  const std::pair<const char*, const char*> cases[] = {
      {"de-DE", "de_DE"}, {"de_DE.UTF-8", "de_DE"}, {"de_DE@euro", "de_DE"}, {"de", "de_DE"}, {"C", "en_US"},
      {"C.UTF-8", "en_US"}, {"POSIX", "en_US"}, {"", "en_US"}, {"xx_YY", "en_US"}};
  for (const auto& [name, expected] : cases) EXPECT_EQ(Locale::ForName(name).name, expected) << name;
  EXPECT_EQ(Locale::ForName("de").lcid, 1031u);
  // A language without locale data would show ICU's placeholder names.
  EXPECT_EQ(Locale::ForName("xx_YY").monthNames[0], "January");
}

TEST(LocaleNames, EnvironmentOrder) {
  std::vector<std::unique_ptr<test::ScopedEnv>> env;
  for (const char* name : {"LC_ALL", "LC_TIME", "LC_NUMERIC", "LANG"})
    env.push_back(std::make_unique<test::ScopedEnv>(name, nullptr));
  EXPECT_EQ(Locale::NameFromEnvironment(), "en_US");
  // Each variable outranks the ones set before it; an empty one counts as unset.
  struct Step {
    const char *name, *value, *expected;
  };
  for (const Step& step : {Step{"LANG", "fr_FR.UTF-8", "fr_FR"}, Step{"LC_NUMERIC", "pl_PL.UTF-8", "pl_PL"},
                           Step{"LC_TIME", "de_DE.UTF-8", "de_DE"}, Step{"LC_ALL", "C", "en_US"},
                           Step{"LC_ALL", "", "de_DE"}}) {
    env.push_back(std::make_unique<test::ScopedEnv>(step.name, step.value));
    EXPECT_EQ(Locale::NameFromEnvironment(), step.expected) << step.name << "=" << step.value;
  }
}

TEST(LocaleCodePages, WindowsDefaults) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"en_US", 1252}, {"pl_PL", 1250}, {"cs-CZ", 1250}, {"ru_RU.UTF-8", 1251}, {"el_GR", 1253}, {"tr_TR", 1254},
      {"he_IL", 1255}, {"ar_SA", 1256}, {"lt_LT", 1257}, {"vi_VN", 1258}, {"th_TH", 874}, {"ja_JP", 932},
      {"zh_CN", 936}, {"zh_TW", 950}, {"ko_KR", 949}, {"sr_Latn_RS", 1250}, {"sr_RS", 1251}};
  for (const auto& [name, codePage] : cases) EXPECT_EQ(Locale::DefaultAnsiCodePage(name), codePage) << name;
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
