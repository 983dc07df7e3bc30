#include "runtime/Locale.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/CodePage.h"
#include "tests/runtime/RuntimeTesting.h"
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

// The override variable for one test; the variable and the locale are put back after.
class AnsiScope {
 public:
  ~AnsiScope() {
    env_.reset();
    Locale::SetUser("en_US");
    CodePage::Reset();
  }
  void Override(const char* value) {
    env_.reset();
    if (value) env_.emplace("QX6_ANSI_CODEPAGE", value);
    else env_.emplace("QX6_ANSI_CODEPAGE", nullptr);
    CodePage::Reset();
  }

 private:
  std::optional<test::ScopedEnv> env_;
};

struct Row {
  uint32_t codePage;
  const char* text;   // UTF-8
  const char* bytes;  // in the code page
};

TEST(Locale, InfoNamesFallbacksEnvironmentAndTheAnsiCodePageAndConverters) {
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
  AnsiScope scope;
  scope.Override(nullptr);
  EXPECT_EQ(CodePage::Ansi(), 1252u);
  Locale::SetUser("ru_RU");  // the converter follows the locale without a Reset
  EXPECT_EQ(CodePage::Ansi(), 1251u);
  EXPECT_EQ(CodePage::ToAnsi("\u041F"), "\xCF");
  scope.Override("1250");
  EXPECT_EQ(CodePage::Ansi(), 1250u);
  EXPECT_EQ(CodePage::AnsiConverter().CodePage(), 1250u);
  scope.Override("65001");
  EXPECT_EQ(CodePage::ToAnsi("\u20AC"), "\u20AC");
  for (const char* ignored : {"not a number", "99999"}) {  // the locale's again
    scope.Override(ignored);
    EXPECT_EQ(CodePage::Ansi(), 1251u) << ignored;
  }
  scope.Override("1252");
  EXPECT_EQ(CodePage::ThroughAnsi("caf\u00E9 \u0100"), "caf\u00E9 ?");
  EXPECT_EQ(CodePage::FromAnsi("caf\xE9"), "caf\u00E9");
  for (const Row& r : {Row{1252, "Gr\u00FC\u00DFe \u20AC", "Gr\xFC\xDF" "e \x80"},
                       Row{1252, "plain ASCII, 100%", "plain ASCII, 100%"},
                       Row{1251, "\u041F\u0440\u0438", "\xCF\xF0\xE8"},
                       Row{1250, "\u0141\u00F3d\u017A", "\xA3\xF3" "d\x9F"},
                       Row{932, "\u65E5\u672C x", "\x93\xFA\x96\x7B x"}, Row{65001, "\u20AC\u65E5", "\u20AC\u65E5"}}) {
    CodePageConverter cp(r.codePage);
    EXPECT_EQ(cp.Encode(r.text), r.bytes) << r.codePage << " " << r.text;
    EXPECT_EQ(cp.Decode(r.bytes), r.text) << r.codePage << " " << r.text;
  }
  EXPECT_TRUE(CodePageConverter(1252).IsSingleByte());
  EXPECT_FALSE(CodePageConverter(932).IsSingleByte());
  EXPECT_EQ(test::ErrorOf([] { CodePageConverter bad(12345); }), 5);
  // Characters outside the page: one "?" per character, and per byte of malformed UTF-8.
  for (const Row& r : {Row{1252, "A\u0100B", "A?B"}, Row{1252, "x\U0001F600y", "x?y"}, Row{1252, "\u65E5\u672C", "??"},
                       Row{1252, "bad \xC3 byte", "bad ? byte"}, Row{1252, "over\xC0\xAFlong", "over??long"},
                       Row{1251, "\u00E9", "?"}, Row{932, "\u20AC", "?"}})
    EXPECT_EQ(CodePageConverter(r.codePage).Encode(r.text), r.bytes) << r.codePage << " " << r.bytes;
}

}  // namespace
}  // namespace qx6
