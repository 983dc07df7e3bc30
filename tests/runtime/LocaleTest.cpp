#include "runtime/Locale.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"

namespace qx6 {
namespace {

// A locale's separators, date order (0 month first, 1 day first, 2 year
// first), short date and time forms, LCID and code page as one line.
std::string Show(const LocaleInfo& i) {
  return i.decimalSeparator + i.dateSeparator + i.timeSeparator + " " + std::to_string(static_cast<int>(i.dateOrder)) +
         " " + i.shortDatePattern + " " + i.timePattern + " " + std::to_string(i.lcid) + " " +
         std::to_string(i.ansiCodePage);
}

TEST(LocaleInfo, NumbersDatesAndCodePagesPerLocaleAndEarlierReferencesStayValid) {
  // Month and day names and the designators show in the format and conversion tests.
  // CLDR has a narrow no-break space before the designator; users expect a space.
  const std::pair<const char*, const char*> rows[] = {{"en_US", "./: 0 m/d/yyyy h:nn:ss AM/PM 1033 1252"},
                                                      {"de_DE", ",.: 1 dd.mm.yyyy hh:nn:ss 1031 1252"},
                                                      {"fr_FR", ",/: 1 dd/mm/yyyy hh:nn:ss 1036 1252"},
                                                      {"ja_JP", "./: 2 yyyy/mm/dd h:nn:ss 1041 932"}};  // no designator
  for (const auto& [name, shown] : rows) EXPECT_EQ(Show(Locale::ForName(name)), shown) << name;
  // French has ICU's choice of a narrow space for the group separator.
  EXPECT_EQ(Locale::ForName("en_US").groupSeparator + Locale::ForName("de_DE").groupSeparator, ",.");
  // Setting the user's locale keeps earlier references valid.
  Locale::SetUser("en_US");
  const LocaleInfo& before = Locale::User();
  EXPECT_EQ(&before, &Locale::User());  // cached, not rebuilt
  Locale::SetUser("de_DE");
  EXPECT_EQ(Locale::User().name, "de_DE");
  EXPECT_EQ(before.name, "en_US");
  Locale::SetUser("en_US");
  EXPECT_EQ(Locale::User().decimalSeparator, ".");
}

TEST(LocaleNames, SuffixesSpellingsFallbacksCodePagesAndTheEnvironmentsOrder) {
  const std::pair<const char*, const char*> cases[] = {
      {"de-DE", "de_DE"}, {"de_DE.UTF-8", "de_DE"}, {"de_DE@euro", "de_DE"}, {"de", "de_DE"}, {"C", "en_US"},
      {"C.UTF-8", "en_US"}, {"POSIX", "en_US"}, {"", "en_US"}, {"xx_YY", "en_US"}};
  for (const auto& [name, expected] : cases) EXPECT_EQ(Locale::ForName(name).name, expected) << name;
  EXPECT_EQ(Locale::ForName("de").lcid, 1031u);
  // A language without locale data would show ICU's placeholder names.
  EXPECT_EQ(Locale::ForName("xx_YY").monthNames[0], "January");
  // The Windows code page of each language.
  const std::pair<const char*, uint32_t> codePages[] = {
      {"en_US", 1252}, {"pl_PL", 1250}, {"cs-CZ", 1250}, {"ru_RU.UTF-8", 1251}, {"el_GR", 1253}, {"tr_TR", 1254},
      {"he_IL", 1255}, {"ar_SA", 1256}, {"lt_LT", 1257}, {"vi_VN", 1258}, {"th_TH", 874}, {"ja_JP", 932},
      {"zh_CN", 936}, {"zh_TW", 950}, {"ko_KR", 949}, {"sr_Latn_RS", 1250}, {"sr_RS", 1251}};
  for (const auto& [name, codePage] : codePages) EXPECT_EQ(Locale::DefaultAnsiCodePage(name), codePage) << name;
  std::vector<std::unique_ptr<test::ScopedEnv>> env;
  for (const char* name : {"LC_ALL", "LC_TIME", "LC_NUMERIC", "LANG"})
    env.push_back(std::make_unique<test::ScopedEnv>(name, nullptr));
  EXPECT_EQ(Locale::NameFromEnvironment(), "en_US");
  // Each variable outranks the ones set before it; an empty one counts as unset.
  const std::array<const char*, 3> steps[] = {{"LANG", "fr_FR.UTF-8", "fr_FR"}, {"LC_NUMERIC", "pl_PL.UTF-8", "pl_PL"},
      {"LC_TIME", "de_DE.UTF-8", "de_DE"}, {"LC_ALL", "C", "en_US"}, {"LC_ALL", "", "de_DE"}};
  for (const auto& [name, value, expected] : steps) {
    env.push_back(std::make_unique<test::ScopedEnv>(name, value));
    EXPECT_EQ(Locale::NameFromEnvironment(), expected) << name << "=" << value;
  }
}

}  // namespace
}  // namespace qx6
