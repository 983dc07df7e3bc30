#include "runtime/CodePage.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "tests/runtime/RuntimeTesting.h"
#include "tests/support/TestEnvironment.h"

namespace qx6 {
namespace {

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

TEST(CodePage, AnsiFollowsTheLocaleOrTheOverrideAndConvertersRoundTripAndMarkWhatIsOutside) {
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
                       Row{1252, "plain ASCII, 100%", "plain ASCII, 100%"}, Row{1251, "\u041F\u0440\u0438", "\xCF\xF0\xE8"},
                       Row{1250, "\u0141\u00F3d\u017A", "\xA3\xF3" "d\x9F"}, Row{932, "\u65E5\u672C x", "\x93\xFA\x96\x7B x"},
                       Row{65001, "\u20AC\u65E5", "\u20AC\u65E5"}}) {
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
