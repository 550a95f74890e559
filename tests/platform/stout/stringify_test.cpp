#include <stdint.h>

#include <list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <stout/hashmap.hpp>
#include <stout/hashset.hpp>
#include <stout/numify.hpp>
#include <stout/stringify.hpp>

namespace {

TEST(StringifyTest, Values)
{
  EXPECT_EQ("true", stringify(true));
  EXPECT_EQ("false", stringify(false));
  EXPECT_EQ("42", stringify(42));
  EXPECT_EQ("-1", stringify(int64_t(-1)));
  EXPECT_EQ("abc", stringify("abc"));
  EXPECT_EQ("1.5", stringify(1.5));
}


TEST(StringifyTest, Containers)
{
  EXPECT_EQ("[  ]", stringify(std::vector<int>{}));
  EXPECT_EQ("[ 1, 2 ]", stringify(std::vector<int>{1, 2}));
  EXPECT_EQ("[ a ]", stringify(std::list<std::string>{"a"}));
  EXPECT_EQ("{ a, b }", stringify(std::set<std::string>{"b", "a"}));
  EXPECT_EQ("{ x }", stringify(hashset<std::string>{"x"}));
  EXPECT_EQ(
      "{ a: 1, b: 2 }",
      stringify(std::map<std::string, int>{{"b", 2}, {"a", 1}}));
  EXPECT_EQ(
      "{ k: v }", stringify(hashmap<std::string, std::string>{{"k", "v"}}));
  EXPECT_EQ(
      "{ a: [ true, false ] }",
      stringify(
          std::map<std::string, std::vector<bool>>{{"a", {true, false}}}));
}


TEST(NumifyTest, Accepts)
{
  EXPECT_EQ(42, numify<int>("42").get());
  EXPECT_EQ(-7, numify<int>("-7").get());
  EXPECT_EQ(255, numify<int>("0xff").get());
  EXPECT_EQ(255, numify<int>("0XFF").get());
  EXPECT_EQ(-16, numify<int>("-0x10").get());
  EXPECT_EQ(
      std::numeric_limits<uint32_t>::max(), numify<uint32_t>("-0x1").get());
  EXPECT_DOUBLE_EQ(1.5, numify<double>("1.5").get());
  EXPECT_DOUBLE_EQ(1e3, numify<double>("1e3").get());
}


TEST(NumifyTest, Rejects)
{
  const struct
  {
    const char* text;
  } ints[] = {
      {""},
      {" 1"},
      {"1 "},
      {"1.5"},
      {"abc"},
      {"0x"},
      {"0xZZ"},
      {"99999999999"},
      {"0x1p3"}};

  for (const auto& c : ints) {
    Try<int> value = numify<int>(c.text);
    ASSERT_TRUE(value.isError()) << "'" << c.text << "'";
    EXPECT_EQ(
        "Failed to convert '" + std::string(c.text) + "' to number",
        value.error());
  }

  EXPECT_TRUE(numify<double>("0x1.8").isError());
  EXPECT_TRUE(numify<double>("").isError());
}


// Ports are uint16_t: a long digit string once overflowed inside Boost's
// conversion (undefined behaviour under UBSan, found by fuzzing the
// modules file's "iam" URL).
TEST(NumifyTest, NarrowUnsignedTypes)
{
  EXPECT_EQ(65535u, numify<uint16_t>("65535").get());
  EXPECT_EQ(0u, numify<uint16_t>("0").get());
  EXPECT_EQ(0x1fu, numify<uint16_t>("0x1f").get());
  EXPECT_EQ(65535u, numify<uint16_t>("-1").get());
  EXPECT_EQ(200u, numify<uint8_t>("200").get());

  for (const char* text :
       {"65536",
        "-65536",
        "99999999999",
        "6553665534",
        "655346553465534",
        "+-1",
        "1x"}) {
    Try<uint16_t> value = numify<uint16_t>(text);
    ASSERT_TRUE(value.isError()) << "'" << text << "'";
    EXPECT_EQ(
        "Failed to convert '" + std::string(text) + "' to number",
        value.error());
  }
  EXPECT_TRUE(numify<uint8_t>("256").isError());
}


TEST(NumifyTest, Option)
{
  EXPECT_TRUE(numify<int>(Option<std::string>::none()).isNone());
  EXPECT_EQ(3, numify<int>(Option<std::string>("3")).get());
  EXPECT_TRUE(numify<int>(Option<std::string>("x")).isError());
}

} // namespace
