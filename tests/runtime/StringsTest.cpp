#include "runtime/Strings.h"

#include <gtest/gtest.h>

#include <vector>

namespace qx6::Strings {
namespace {

TEST(Strings, TrimCaseCutsPositionsAndReplaceCoverNonAsciiAndNeverRescan) {
  EXPECT_EQ((std::vector<std::string_view>{Trim("  a b  "), Trim("\ta\t"), LTrim("  x "), RTrim("  x "), Trim("   ")}),
            (std::vector<std::string_view>{"a b", "\ta\t", "x ", "  x", ""}));
  EXPECT_EQ(UCase("straße abc"), "STRASSE ABC");
  EXPECT_EQ(LCase("ÄÖÜ Config"), "äöü config");
  EXPECT_TRUE(EqualsText("<DEFAULT>", "<default>"));
  EXPECT_TRUE(EqualsText("Größe", "GRÖSSE"));
  EXPECT_FALSE(EqualsText("a", "ab"));
  std::string_view s = "héllo wörld";
  EXPECT_EQ(Len(s), 11);
  EXPECT_EQ((std::vector<std::string_view>{Left(s, 2), Right(s, 5), Mid(s, 2, 4), Mid(s, 8), Left(s, 50), Right(s, 0)}),
            (std::vector<std::string_view>{"hé", "wörld", "éllo", "örld", s, ""}));
  EXPECT_EQ((std::vector<int32_t>{InStr(s, "ö"), InStr(s, "l", 5), InStr(s, "z"), InStrRev("a.b.c", "."),
                               InStrRev("abc", ".")}),
            (std::vector<int32_t>{8, 10, 0, 4, 0}));
  EXPECT_EQ((std::vector<std::string>{Replace("a&b&c", "&", "&amp"), Replace("aaa", "a", "aa"),
                                      Replace("abc", "", "x")}),
            (std::vector<std::string>{"a&ampb&ampc", "aaaaaa", "abc"}));
  std::string t = "1||2||3";
  RemoveAll(t, "||");
  EXPECT_EQ(t, "123");
  std::string u = "a-b/c-d";
  RemoveAll(u, "-");
  EXPECT_EQ(u, "ab/cd");
}

}  // namespace
}  // namespace qx6::Strings
