#include "runtime/Collection.h"

#include <gtest/gtest.h>

#include "tests/runtime/RuntimeTesting.h"

namespace qx6 {
namespace {

using test::ErrorOf;

TEST(Collection, IsOneBasedKeysIgnoreLetterCaseAndChangesKeepTheOrder) {
  Collection<std::string> c;
  c.Add("first", "Alpha");
  c.Add("second");
  c.Add("third", "Ärger");
  EXPECT_EQ(c.Count(), 3);
  EXPECT_EQ(c.Item(1), "first");
  EXPECT_EQ(c.Item("ALPHA"), "first");
  EXPECT_EQ(c.Item("ärger"), "third");
  EXPECT_EQ(ErrorOf([&] { c.Add("again", "alpha"); }), 457);
  EXPECT_EQ(c.Count(), 3);
  EXPECT_EQ(ErrorOf([&] { c.Item(0); }), 9);
  EXPECT_EQ(ErrorOf([&] { c.Item(4); }), 9);
  EXPECT_EQ(ErrorOf([&] { c.Item("missing"); }), 9);
  // The empty text is a key like any other; an item added without a key has none.
  EXPECT_FALSE(c.Contains(""));
  c.Add("fourth", "");
  EXPECT_EQ(c.Item(""), "fourth");
  EXPECT_EQ(ErrorOf([&] { c.Add("fifth", ""); }), 457);
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
  EXPECT_EQ(ErrorOf([&] { c.Remove(9); }), 9);
}

}  // namespace
}  // namespace qx6
