#include "runtime/Collection.h"

#include <gtest/gtest.h>

#include "tests/runtime/RuntimeTesting.h"

namespace qx6 {
namespace {

using test::ErrorOf;

TEST(Collection, IsOneBasedAndKeysIgnoreLetterCase) {
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
}

TEST(Collection, RemoveAndInsertKeepOrderAndKeys) {
  Collection<int> c;
  c.Add(1, "one");
  c.Add(2, "two");
  c.Add(3, "three");
  c.Remove("TWO");
  EXPECT_EQ(c.Count(), 2);
  EXPECT_EQ(c.Item(2), 3);
  EXPECT_FALSE(c.Contains("two"));
  c.Add(2, "two");
  c.Insert(1, 0, "zero");
  std::vector<int> order(c.begin(), c.end());
  EXPECT_EQ(order, (std::vector<int>{0, 1, 3, 2}));
  EXPECT_EQ(c.IndexOfKey("Three"), 3);
  c.Remove(1);
  EXPECT_EQ(c.Item("one"), 1);
  EXPECT_EQ(ErrorOf([&] { c.Remove(9); }), 9);
}

}  // namespace
}  // namespace qx6
