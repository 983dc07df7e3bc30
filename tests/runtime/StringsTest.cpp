#include "runtime/Strings.h"

#include <gtest/gtest.h>

namespace qx6::Strings {
namespace {

TEST(Strings, TrimRemovesOnlySpaces) {
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(Trim("\ta\t"), "\ta\t");
  EXPECT_EQ(LTrim("  x "), "x ");
  EXPECT_EQ(RTrim("  x "), "  x");
  EXPECT_EQ(Trim("   "), "");
}

TEST(Strings, CaseAndComparisonCoverNonAscii) {
  EXPECT_EQ(UCase("straße abc"), "STRASSE ABC");
  EXPECT_EQ(LCase("ÄÖÜ Config"), "äöü config");
  EXPECT_TRUE(EqualsText("<DEFAULT>", "<default>"));
  EXPECT_TRUE(EqualsText("Größe", "GRÖSSE"));
  EXPECT_FALSE(EqualsText("a", "ab"));
}

TEST(Strings, CutsAndPositionsCountCharacters) {
  std::string_view s = "héllo wörld";
  EXPECT_EQ(Len(s), 11);
  EXPECT_EQ(Left(s, 2), "hé");
  EXPECT_EQ(Right(s, 5), "wörld");
  EXPECT_EQ(Mid(s, 2, 4), "éllo");
  EXPECT_EQ(Mid(s, 8), "örld");
  EXPECT_EQ(InStr(s, "ö"), 8);
  EXPECT_EQ(InStr(s, "l", 5), 10);
  EXPECT_EQ(InStr(s, "z"), 0);
  EXPECT_EQ(InStrRev("a.b.c", "."), 4);
  EXPECT_EQ(InStrRev("abc", "."), 0);
  EXPECT_EQ(Left(s, 50), s);
  EXPECT_EQ(Right(s, 0), "");
}

TEST(Strings, ReplaceNeverRescansInsertedText) {
  EXPECT_EQ(Replace("a&b&c", "&", "&amp"), "a&ampb&ampc");
  EXPECT_EQ(Replace("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(Replace("abc", "", "x"), "abc");
  std::string t = "1||2||3";
  RemoveAll(t, "||");
  EXPECT_EQ(t, "123");
  std::string u = "a-b/c-d";
  RemoveAll(u, "-");
  EXPECT_EQ(u, "ab/cd");
}

}  // namespace
}  // namespace qx6::Strings
