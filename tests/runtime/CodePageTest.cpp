#include "runtime/CodePage.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "runtime/Locale.h"
#include "runtime/RuntimeError.h"

namespace qx6 {
namespace {

// The override variable and the locale for one test, both put back after.
class AnsiScope {
 public:
  AnsiScope() {
    if (const char* old = std::getenv("QX6_ANSI_CODEPAGE")) old_ = old, had_ = true;
  }
  ~AnsiScope() {
    if (had_) setenv("QX6_ANSI_CODEPAGE", old_.c_str(), 1);
    else unsetenv("QX6_ANSI_CODEPAGE");
    Locale::SetUser("en_US");
    CodePage::Reset();
  }
  void Override(const char* value) {
    if (value) setenv("QX6_ANSI_CODEPAGE", value, 1);
    else unsetenv("QX6_ANSI_CODEPAGE");
    CodePage::Reset();
  }

 private:
  std::string old_;
  bool had_ = false;
};

TEST(CodePageConverter, Windows1252) {
  CodePageConverter cp(1252);
  EXPECT_TRUE(cp.IsSingleByte());
  EXPECT_EQ(cp.Encode("Gr\u00FC\u00DFe \u20AC"), "Gr\xFC\xDF" "e \x80");
  EXPECT_EQ(cp.Decode("Gr\xFC\xDF" "e \x80"), "Gr\u00FC\u00DFe \u20AC");
  EXPECT_EQ(cp.Encode("plain ASCII, 100%"), "plain ASCII, 100%");
}

TEST(CodePageConverter, CharactersOutsideBecomeQuestionMarks) {
  CodePageConverter cp(1252);
  EXPECT_EQ(cp.Encode("A\u0100B"), "A?B");          // Latin A with macron
  EXPECT_EQ(cp.Encode("x\U0001F600y"), "x?y");      // one character, one "?"
  EXPECT_EQ(cp.Encode("\u65E5\u672C"), "??");
  EXPECT_EQ(cp.Encode("bad \xC3 byte"), "bad ? byte");  // malformed UTF-8
  EXPECT_EQ(cp.Encode("over\xC0\xAFlong"), "over??long");
}

TEST(CodePageConverter, OtherSingleBytePages) {
  CodePageConverter cyrillic(1251);
  EXPECT_EQ(cyrillic.Encode("\u041F\u0440\u0438"), "\xCF\xF0\xE8");
  EXPECT_EQ(cyrillic.Decode("\xCF\xF0\xE8"), "\u041F\u0440\u0438");
  EXPECT_EQ(cyrillic.Encode("\u00E9"), "?");
  CodePageConverter central(1250);
  EXPECT_EQ(central.Encode("\u0141\u00F3d\u017A"), "\xA3\xF3" "d\x9F");
}

TEST(CodePageConverter, MultiByteAndUtf8) {
  CodePageConverter japanese(932);
  EXPECT_FALSE(japanese.IsSingleByte());
  EXPECT_EQ(japanese.Encode("\u65E5\u672C x"), "\x93\xFA\x96\x7B x");
  EXPECT_EQ(japanese.Decode("\x93\xFA\x96\x7B x"), "\u65E5\u672C x");
  EXPECT_EQ(japanese.Encode("\u20AC"), "?");
  CodePageConverter utf8(65001);
  EXPECT_EQ(utf8.Encode("\u20AC\u65E5"), "\u20AC\u65E5");
  EXPECT_EQ(utf8.Decode("\u20AC"), "\u20AC");
}

TEST(CodePageConverter, UnknownCodePage) {
  try {
    CodePageConverter bad(12345);
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), 5);
  }
}

TEST(CodePageAnsi, LocaleDefaultAndOverride) {
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
  scope.Override("not a number");  // ignored
  EXPECT_EQ(CodePage::Ansi(), 1251u);
  scope.Override("99999");  // no such code page: ignored
  EXPECT_EQ(CodePage::Ansi(), 1251u);
}

TEST(CodePageAnsi, ThroughAnsi) {
  AnsiScope scope;
  scope.Override("1252");
  EXPECT_EQ(CodePage::ThroughAnsi("caf\u00E9 \u0100"), "caf\u00E9 ?");
  EXPECT_EQ(CodePage::FromAnsi("caf\xE9"), "caf\u00E9");
}

}  // namespace
}  // namespace qx6
