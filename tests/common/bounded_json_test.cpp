// The nesting bound in front of every parse of JSON from outside: what it
// counts, what it skips, and that a document nested far past it fails at
// once on any platform (stout's own parser has no bound in Mesos 1.2.0).

#include <string>

#include <gtest/gtest.h>

#include <stout/json.hpp>
#include <stout/try.hpp>

#include "common/sentrel/bounded_json.hpp"

using mesos::sentrel::checkJsonNesting;
using mesos::sentrel::parseJson;

namespace {

const std::string TOO_DEEP = "JSON nests deeper than 100 levels";


// `depth` arrays or objects around a number.
std::string nested(size_t depth, bool objects)
{
  std::string open;
  std::string close;
  for (size_t i = 0; i < depth; ++i) {
    open += objects ? "{\"a\":" : "[";
    close += objects ? "}" : "]";
  }
  return open + "1" + close;
}

} // namespace {


TEST(BoundedJsonTest, NestingUpToTheBoundParsesBeyondItFails)
{
  for (bool objects : {false, true}) {
    const std::string deepest = nested(100, objects);
    EXPECT_TRUE(checkJsonNesting(deepest).isNone()) << objects;
    EXPECT_TRUE(parseJson<JSON::Value>(deepest).isSome()) << objects;

    const Try<JSON::Value> deeper =
        parseJson<JSON::Value>(nested(101, objects));
    ASSERT_TRUE(deeper.isError()) << objects;
    EXPECT_EQ(TOO_DEEP, deeper.error());
  }

  // Arrays and objects count together; siblings do not add up.
  EXPECT_EQ(
      TOO_DEEP,
      parseJson<JSON::Value>("{\"a\":" + nested(100, false) + "}").error());
  EXPECT_TRUE(checkJsonNesting("[" + std::string(5000, '[') + "]").isSome());
  std::string siblings = "[";
  for (int i = 0; i < 1000; ++i) {
    siblings += nested(99, i % 2 == 0) + ",";
  }
  siblings += "1]";
  EXPECT_TRUE(parseJson<JSON::Array>(siblings).isSome());
  EXPECT_TRUE(checkJsonNesting(nested(3, false), 3).isNone());
  EXPECT_EQ(
      "JSON nests deeper than 2 levels",
      checkJsonNesting(nested(3, false), 2)->message);
}


TEST(BoundedJsonTest, BracketsInStringsDoNotCount)
{
  const std::string brackets(5000, '[');
  const struct
  {
    std::string text;
    bool bounded;
  } cases[] = {
      {"[\"" + brackets + "\"]", true},
      {"{\"" + brackets + "\":\"" + std::string(5000, '{') + "\"}", true},
      // An escaped quote does not end the string; an escaped backslash
      // before the quote does.
      {"[\"\\\"" + brackets + "\"]", true},
      {"[\"\\\\\"" + brackets + "]", false},
      {"[\"\\\\\\\"" + brackets + "\"]", true},
      // An unterminated string ends the text; the parser rejects it.
      {"[\"" + brackets, true},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(c.bounded, checkJsonNesting(c.text).isNone())
        << c.text.substr(0, 12);
  }
}


TEST(BoundedJsonTest, HostileDocumentsFailAtOnceAndParseErrorsPassThrough)
{
  // Far past the depth at which a parse would overflow the stack.
  for (const std::string& text :
       {std::string(1 << 20, '['),
        std::string(100000, '{'),
        "{\"keys\":" + nested(100000, true) + "}"}) {
    const Try<JSON::Object> parsed = parseJson<JSON::Object>(text);
    ASSERT_TRUE(parsed.isError());
    EXPECT_EQ(TOO_DEEP, parsed.error());
  }

  // Within the bound, stout judges the text, with its own words.
  for (const char* text : {"", "{", "[1,", "{\"a\":}", "]]]]"}) {
    EXPECT_TRUE(checkJsonNesting(text).isNone()) << text;
    const Try<JSON::Value> parsed = parseJson<JSON::Value>(text);
    ASSERT_TRUE(parsed.isError()) << text;
    EXPECT_EQ(JSON::parse(text).error(), parsed.error()) << text;
  }

  EXPECT_EQ(
      "Unexpected JSON type parsed", parseJson<JSON::Object>("[]").error());
}
