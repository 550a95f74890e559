#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <stout/cache.hpp>
#include <stout/foreach.hpp>
#include <stout/stringify.hpp>

namespace {

typedef std::map<std::string, int> Map;


TEST(ForeachTest, PairKeyAndValue)
{
  Map map = {{"a", 1}, {"b", 2}, {"c", 3}};

  std::string seen;
  foreachpair (const std::string& key, int value, map) {
    seen += key + stringify(value);
  }
  EXPECT_EQ("a1b2c3", seen);

  seen.clear();
  foreachkey (const std::string& key, map) {
    seen += key;
  }
  EXPECT_EQ("abc", seen);

  foreachvalue (int& value, map) {
    value *= 10;
  }
  EXPECT_EQ((Map{{"a", 10}, {"b", 20}, {"c", 30}}), map);
}


TEST(ForeachTest, BreakAndContinue)
{
  const Map map = {{"a", 1}, {"b", 2}, {"c", 3}, {"d", 4}};

  std::string seen;
  foreachpair (const std::string& key, int value, map) {
    if (value == 2) {
      continue;
    }
    seen += key;
    if (value == 3) {
      break;
    }
  }
  EXPECT_EQ("ac", seen);

  seen.clear();
  foreachkey (const std::string& key, map) {
    seen += key;
    break;
  }
  EXPECT_EQ("a", seen);
}


TEST(ForeachTest, EraseThenBreakIsSafe)
{
  Map map = {{"a", 1}, {"b", 2}, {"c", 3}};

  foreachpair (const std::string& key, int value, map) {
    if (value == 2) {
      map.erase(key);
      break;
    }
  }
  EXPECT_EQ((Map{{"a", 1}, {"c", 3}}), map);
}


TEST(ForeachTest, Nested)
{
  const std::map<std::string, Map> outer = {
      {"x", {{"a", 1}}}, {"y", {{"b", 2}}}};

  std::string seen;
  foreachpair (const std::string& name, const Map& inner, outer) {
    foreachpair (const std::string& key, int value, inner) {
      seen += name + key + stringify(value);
      break;
    }
  }
  EXPECT_EQ("xa1yb2", seen);

  std::vector<int> values;
  foreach (const auto& entry, outer) {
    values.push_back(static_cast<int>(entry.second.size()));
  }
  EXPECT_EQ((std::vector<int>{1, 1}), values);
}


TEST(CacheTest, EvictsLeastRecentlyUsed)
{
  Cache<std::string, int> cache(2);
  cache.put("a", 1);
  cache.put("b", 2);

  // A hit makes "a" the most recent, so "b" goes first.
  EXPECT_EQ(1, cache.get("a").get());
  cache.put("c", 3);

  EXPECT_EQ(2u, cache.size());
  EXPECT_TRUE(cache.get("b").isNone());
  EXPECT_EQ(1, cache.get("a").get());
  EXPECT_EQ(3, cache.get("c").get());

  // Replacing a value makes the entry the most recent too.
  cache.put("a", 10);
  cache.put("d", 4);
  EXPECT_TRUE(cache.get("c").isNone());
  EXPECT_EQ(10, cache.get("a").get());
  EXPECT_EQ(4, cache.get("d").get());
}


TEST(CacheTest, Erase)
{
  Cache<std::string, int> cache(2);
  cache.put("a", 1);
  cache.put("b", 2);

  EXPECT_EQ(1, cache.erase("a").get());
  EXPECT_TRUE(cache.erase("a").isNone());
  EXPECT_EQ(1u, cache.size());

  // The erased slot is free again: nothing is evicted.
  cache.put("c", 3);
  EXPECT_EQ(2, cache.get("b").get());
  EXPECT_EQ(3, cache.get("c").get());

  std::ostringstream out;
  out << cache;
  EXPECT_EQ("b: 2\nc: 3\n", out.str());
}


TEST(CacheTest, CapacityZeroCachesNothing)
{
  Cache<std::string, int> cache(0);
  cache.put("a", 1);
  EXPECT_EQ(0u, cache.size());
  EXPECT_TRUE(cache.get("a").isNone());
  EXPECT_TRUE(cache.erase("a").isNone());
}

} // namespace
