#include "sim/bounded_registry.h"

#include <gtest/gtest.h>

#include <string>

TEST(SimBoundedRegistry, ForgetsTheOldestLiveRecordAtTheCap) {
  BoundedRegistry<int> registry(3);
  registry.Insert("a", 1);
  registry.Insert("b", 2);
  registry.Insert("c", 3);
  registry.Insert("a", 99);
  EXPECT_EQ(*registry.Find("a"), 1) << "an id that is there keeps its record";

  // "b" was erased and made again: it is now the newest, so "c" goes first.
  EXPECT_TRUE(registry.Erase("b"));
  EXPECT_FALSE(registry.Erase("b"));
  registry.Insert("b", 4);
  registry.Insert("d", 5);
  EXPECT_EQ(registry.Find("a"), nullptr);
  ASSERT_NE(registry.Find("b"), nullptr);
  EXPECT_EQ(*registry.Find("b"), 4);
  ASSERT_NE(registry.Find("c"), nullptr);
  registry.Insert("e", 6);
  EXPECT_EQ(registry.Find("c"), nullptr);
  EXPECT_NE(registry.Find("b"), nullptr);
  EXPECT_EQ(registry.size(), 3u);
}

TEST(SimBoundedRegistry, EraseIfRemovesMatchesAndChurnStaysAtTheCap) {
  BoundedRegistry<int> registry(100);
  for (int i = 0; i < 100000; ++i) {
    registry.Insert("id" + std::to_string(i), i);
    if (i % 2 == 0) registry.Erase("id" + std::to_string(i));
  }
  EXPECT_EQ(registry.size(), 100u);
  EXPECT_NE(registry.Find("id99999"), nullptr);
  EXPECT_EQ(registry.Find("id99799"), nullptr) << "older than the newest 100";
  EXPECT_EQ(registry.EraseIf([](int value) { return value % 4 == 1; }), 50u);
  EXPECT_EQ(registry.size(), 50u);
  EXPECT_EQ(registry.Find("id99997"), nullptr);
  EXPECT_NE(registry.Find("id99999"), nullptr);
}
