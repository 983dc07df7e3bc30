#include "runtime/Strings.h"

#include <gtest/gtest.h>

#include <vector>

#include "runtime/Collection.h"
#include "tests/runtime/RuntimeTesting.h"

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

// Collections find their keys as the texts compare: without regard to case.
TEST(Collection, IsOneBasedKeysIgnoreLetterCaseAndChangesKeepTheOrder) {
  Collection<std::string> c;
  c.Add("first", "Alpha");
  c.Add("second");
  c.Add("third", "Ärger");
  EXPECT_EQ(c.Count(), 3);
  EXPECT_EQ(c.Item(1), "first");
  EXPECT_EQ(c.Item("ALPHA"), "first");
  EXPECT_EQ(c.Item("ärger"), "third");
  EXPECT_EQ(test::ErrorOf([&] { c.Add("again", "alpha"); }), 457);
  EXPECT_EQ(c.Count(), 3);
  EXPECT_EQ(test::ErrorOf([&] { c.Item(0); }), 9);
  EXPECT_EQ(test::ErrorOf([&] { c.Item(4); }), 9);
  EXPECT_EQ(test::ErrorOf([&] { c.Item("missing"); }), 9);
  // The empty text is a key like any other; an item added without a key has none.
  EXPECT_FALSE(c.Contains(""));
  c.Add("fourth", "");
  EXPECT_EQ(c.Item(""), "fourth");
  EXPECT_EQ(test::ErrorOf([&] { c.Add("fifth", ""); }), 457);
  c.Add("sixth");
  EXPECT_EQ(c.Count(), 5);
  EXPECT_EQ(c.IndexOfKey(""), 4);

  // Removing and inserting keep the order and the keys.
  c.Remove("ALPHA");
  EXPECT_EQ(c.Item(1), "second");
  EXPECT_FALSE(c.Contains("alpha"));
  c.Add("first", "alpha");
  c.Insert(1, "zeroth", "zero");
  EXPECT_EQ((std::vector<std::string>(c.begin(), c.end())),
            (std::vector<std::string>{"zeroth", "second", "third", "fourth", "sixth", "first"}));
  EXPECT_EQ(c.IndexOfKey("Ärger"), 3);
  c.Remove(1);
  EXPECT_EQ(c.Item("alpha"), "first");
  EXPECT_EQ(test::ErrorOf([&] { c.Remove(9); }), 9);
}

}  // namespace
}  // namespace qx6::Strings
