#include <stdint.h>

#include <limits>
#include <string>

#include <gtest/gtest.h>

#include <stout/json.hpp>
#include <stout/jsonify.hpp>
#include <stout/stringify.hpp>

namespace {

TEST(JsonTest, PrintsNumbers)
{
  const struct
  {
    JSON::Value value;
    const char* text;
  } cases[] = {
      {1.0, "1.0"},
      {0.0, "0.0"},
      {0.5, "0.5"},
      {-2.25, "-2.25"},
      {100.0, "100.0"},
      {1700000000.0, "1700000000.0"},
      {1700000000.123, "1700000000.123"},
      {1700000300.123456789, "1700000300.12346"},
      {0.1, "0.1"},
      {1e20, "1.00000000000000e+2"},
      {1e-7, "1.00000000000000e-07"},
      {1.5f, "1.5"},
      {0, "0"},
      {-42, "-42"},
      {std::numeric_limits<int64_t>::min(), "-9223372036854775808"},
      {std::numeric_limits<uint64_t>::max(), "18446744073709551615"},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(c.text, stringify(c.value)) << c.text;
  }
}


TEST(JsonTest, PrintsEscapedStrings)
{
  const struct
  {
    std::string value;
    std::string text;
  } cases[] = {
      {"", "\"\""},
      {"plain", "\"plain\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"/api/v1", "\"\\/api\\/v1\""},
      {"\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\""},
      {std::string("\x00\x01\x1f\x7f", 4), "\"\\u0000\\u0001\\u001f\\u007f\""},
      {"caf\xc3\xa9", "\"caf\xc3\xa9\""},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(c.text, stringify(JSON::String(c.value))) << c.text;
    EXPECT_EQ(c.text, std::string(jsonify(c.value))) << c.text;
  }
}


TEST(JsonTest, PrintsCompactWithSortedKeys)
{
  JSON::Object nested;
  nested.values["z"] = JSON::Null();

  JSON::Object object;
  object.values["b"] = true;
  object.values["a"] = "x";
  object.values["B"] = JSON::Array{{1, false, nested}};
  object.values["c"] = JSON::Object();

  const std::string text =
      "{\"B\":[1,false,{\"z\":null}],\"a\":\"x\",\"b\":true,\"c\":{}}";
  EXPECT_EQ(text, stringify(object));
  EXPECT_EQ(text, stringify(JSON::Value(object)));
  EXPECT_EQ(text, std::string(jsonify(object)));
  EXPECT_EQ("[]", stringify(JSON::Array()));
}


TEST(JsonTest, Parse)
{
  const struct
  {
    const char* text;
    const char* printed;
  } cases[] = {
      {"{}", "{}"},
      {" { \"b\" : [1, 2.5, \"s\", true, null] , \"a\":{} } \n",
       "{\"a\":{},\"b\":[1,2.5,\"s\",true,null]}"},
      {"{\"a\":1,\"a\":2}", "{\"a\":2}"},
      {"\"\\u00e9\\/\"", "\"\xc3\xa9\\/\""},
      {"9223372036854775807", "9223372036854775807"},
      {"9223372036854775808", "9.22337203685478e+18"},
      {"1e2", "100.0"},
      {"false", "false"},
  };

  for (const auto& c : cases) {
    Try<JSON::Value> value = JSON::parse(c.text);
    ASSERT_TRUE(value.isSome()) << c.text << ": " << value.error();
    EXPECT_EQ(c.printed, stringify(value.get())) << c.text;
  }

  Try<JSON::Value> integer = JSON::parse("12");
  EXPECT_EQ(JSON::Number::SIGNED_INTEGER, integer->as<JSON::Number>().type);
  Try<JSON::Value> floating = JSON::parse("12.0");
  EXPECT_EQ(JSON::Number::FLOATING, floating->as<JSON::Number>().type);
}


TEST(JsonTest, ParseErrors)
{
  const struct
  {
    std::string text;
    std::string error;
  } cases[] = {
      {"", "syntax error at line 1 near: "},
      {"   ", "syntax error at line 1 near: "},
      {"abc", "syntax error at line 1 near: abc"},
      {"not json", "syntax error at line 1 near: ot json"},
      {"{\"a\":}", "syntax error at line 1 near: }"},
      {"{\n\"a\": x\ty\nz}", "syntax error at line 2 near: xy"},
      {"{} x", "Parsed JSON included non-whitespace trailing characters:  x"},
      {"[1]]\n", "Parsed JSON included non-whitespace trailing characters: ]"},
      {"1e999", "Failed to parse JSON: number out of range"},
  };

  for (const auto& c : cases) {
    Try<JSON::Value> value = JSON::parse(c.text);
    ASSERT_TRUE(value.isError()) << c.text;
    EXPECT_EQ(c.error, value.error()) << c.text;
  }
}


// `depth` levels of `open` ... `close` around a number.
std::string nested(
    size_t depth,
    const std::string& open,
    const std::string& close)
{
  std::string text;
  text.reserve(depth * (open.size() + close.size()) + 1);
  for (size_t i = 0; i < depth; ++i) {
    text += open;
  }
  text += "1";
  for (size_t i = 0; i < depth; ++i) {
    text += close;
  }
  return text;
}


// Objects and arrays count alike towards one bound, and a document nested
// far beyond it is refused at once: neither the stack nor the time it
// takes grows with the depth of the input.
TEST(JsonTest, NestingIsBoundedForObjectsAndArraysAlike)
{
  const std::string refused =
      "Failed to parse JSON: nesting deeper than 100 levels";

  const struct
  {
    std::string text;
    bool accepted;
  } cases[] = {
      {nested(100, "{\"a\":", "}"), true},
      {nested(100, "[", "]"), true},
      {nested(50, "{\"a\":[", "]}"), true},
      {nested(101, "{\"a\":", "}"), false},
      {nested(101, "[", "]"), false},
      {nested(50, "[{\"a\":", "}]") + "", true},
      {"[" + nested(50, "{\"a\":[", "]}") + "]", false},
      {nested(10000, "{\"a\":", "}"), false},
      {nested(15000, "{\"a\":", "}"), false},
      {nested(50000, "{\"a\":", "}"), false},
      {nested(100000, "[", "]"), false},
      // Unclosed: refused for its depth all the same.
      {std::string(100000, '['), false},
      {nested(60000, "{\"a\":", ""), false},
  };

  for (const auto& c : cases) {
    Try<JSON::Value> value = JSON::parse(c.text);
    if (c.accepted) {
      EXPECT_TRUE(value.isSome())
          << c.text.substr(0, 40) << ": " << value.error();
    } else {
      ASSERT_TRUE(value.isError()) << c.text.substr(0, 40);
      EXPECT_EQ(refused, value.error()) << c.text.substr(0, 40);
    }
  }

  // At the bound, a document reads, prints and compares as any other.
  Try<JSON::Object> deepest =
      JSON::parse<JSON::Object>(nested(100, "{\"a\":", "}"));
  ASSERT_TRUE(deepest.isSome());
  EXPECT_EQ(nested(100, "{\"a\":", "}"), stringify(deepest.get()));
}


// A parse error quotes the input it stopped at, but never much of it.
TEST(JsonTest, ParseErrorsQuoteABoundedPieceOfTheInput)
{
  const std::string garbage(1024 * 1024, 'x');

  const std::string texts[] = {
      "{\"a\":" + garbage,
      "{} " + garbage,
      "[1, 2] ]" + garbage,
  };

  for (const std::string& text : texts) {
    Try<JSON::Value> value = JSON::parse(text);
    ASSERT_TRUE(value.isError());
    EXPECT_GT(1100u, value.error().size()) << value.error().substr(0, 80);
    EXPECT_EQ("...", value.error().substr(value.error().size() - 3));
  }
}


// A document wide rather than deep, of a hundred thousand members,
// converts in one pass.
TEST(JsonTest, WideDocumentsParseWhole)
{
  std::string text = "[";
  for (int i = 0; i < 100000; ++i) {
    text += (i == 0 ? "" : ",");
    text += "{\"k\":" + std::to_string(i) + "}";
  }
  text += "]";

  Try<JSON::Array> array = JSON::parse<JSON::Array>(text);
  ASSERT_TRUE(array.isSome()) << array.error();
  ASSERT_EQ(100000u, array->values.size());
  EXPECT_EQ(
      99999,
      array->values.back()
          .as<JSON::Object>()
          .values.at("k")
          .as<JSON::Number>()
          .as<int>());
}


TEST(JsonTest, ParseAs)
{
  EXPECT_TRUE(JSON::parse<JSON::Object>("{}").isSome());
  EXPECT_TRUE(JSON::parse<JSON::Array>("[]").isSome());
  EXPECT_TRUE(JSON::parse<JSON::Value>("null").isSome());
  EXPECT_EQ(
      "Unexpected JSON type parsed", JSON::parse<JSON::Object>("[]").error());
  EXPECT_EQ(
      "Unexpected JSON type parsed", JSON::parse<JSON::Array>("null").error());
  EXPECT_EQ(
      "syntax error at line 1 near: ", JSON::parse<JSON::Object>("{").error());
}


class JsonFindTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    object = JSON::parse<JSON::Object>(
                 "{\"a\": {\"b\": \"x\", \"n\": null, \"i\": 7},"
                 " \"list\": [{\"k\": \"v\"}, null, 3],"
                 " \"nil\": null, \"s\": \"str\", \"a.b\": 1}")
                 .get();
  }

  JSON::Object object;
};


TEST_F(JsonFindTest, Found)
{
  EXPECT_EQ("x", object.find<JSON::String>("a.b")->value);
  EXPECT_EQ(7, object.find<JSON::Number>("a.i")->as<int>());
  EXPECT_EQ("v", object.find<JSON::String>("list[0].k")->value);
  EXPECT_EQ(3, object.find<JSON::Number>("list[2]")->as<int>());
  EXPECT_TRUE(object.find<JSON::Object>("a").isSome());
  EXPECT_TRUE(object.find<JSON::Null>("nil").isSome());
  EXPECT_TRUE(object.find<JSON::Value>("nil").isSome());
  EXPECT_TRUE(object.find<JSON::Value>("s").isSome());
}


TEST_F(JsonFindTest, NotFound)
{
  for (const char* path :
       {"missing",
        "a.missing",
        "a.n",
        "nil",
        "list[1]",
        "list[9]",
        "nil[0]",
        "missing.x",
        "missing[0]"}) {
    Result<JSON::String> result = object.find<JSON::String>(path);
    EXPECT_TRUE(result.isNone())
        << "'" << path
        << "': " << (result.isError() ? result.error() : result->value);
  }
}


TEST_F(JsonFindTest, Errors)
{
  const struct
  {
    const char* path;
    const char* error;
  } cases[] = {
      {"s", nullptr},
      {"a.i", "Found JSON value of wrong type"},
      {"a", "Found JSON value of wrong type"},
      {"s.x", "Intermediate JSON value not an object"},
      {"nil.x", "Intermediate JSON value not an object"},
      {"a.n.x", "Intermediate JSON value not an object"},
      {"list[2].x", "Intermediate JSON value not an object"},
      {"list[1].k", "Intermediate JSON value not an object"},
      {"s[0]", "Intermediate JSON value not an array"},
      {"list[0", "Malformed array subscript, expecting ']'"},
      {"list[]", "Failed to numify array subscript ''"},
      {"list[x]", "Failed to numify array subscript 'x'"},
      {"list[-1]", "Array subscript '-1' must be >= 0"},
  };

  for (const auto& c : cases) {
    Result<JSON::String> result = object.find<JSON::String>(c.path);
    if (c.error == nullptr) {
      EXPECT_TRUE(result.isSome()) << c.path;
      continue;
    }
    ASSERT_TRUE(result.isError()) << c.path;
    EXPECT_EQ(c.error, result.error()) << c.path;
  }

  // A dotted key is not reachable: the path splits at the first dot.
  EXPECT_EQ(
      "Found JSON value of wrong type",
      object.find<JSON::Number>("a.b").error());
}


TEST_F(JsonFindTest, At)
{
  EXPECT_EQ("str", object.at<JSON::String>("s")->value);
  EXPECT_EQ(1, object.at<JSON::Number>("a.b")->as<int>());
  EXPECT_TRUE(object.at<JSON::String>("missing").isNone());
  EXPECT_TRUE(object.at<JSON::String>("").isNone());
  EXPECT_EQ(
      "Found JSON value of wrong type", object.at<JSON::String>("nil").error());
  EXPECT_EQ(
      "Found JSON value of wrong type", object.at<JSON::String>("a").error());
}


TEST(JsonTest, Equality)
{
  EXPECT_EQ(JSON::Value(1), JSON::Value(1.0));
  EXPECT_EQ(JSON::Value(1u), JSON::Value(int64_t(1)));
  EXPECT_NE(JSON::Value(-1), JSON::Value(uint64_t(-1)));
  EXPECT_NE(JSON::Value(1), JSON::Value("1"));
  EXPECT_EQ(JSON::Value("a"), JSON::Value(std::string("a")));
  EXPECT_EQ(
      JSON::parse("{\"a\":[1,null]}").get(),
      JSON::parse("{\"a\": [1.0, null]}").get());
  EXPECT_NE(
      JSON::parse("{\"a\":[1]}").get(), JSON::parse("{\"a\":[1,2]}").get());
  EXPECT_EQ(JSON::Value(JSON::True()), JSON::Value(true));
  EXPECT_EQ(JSON::Value(), JSON::Value(JSON::Null()));
}


TEST(JsonTest, NumberConversionsSaturate)
{
  EXPECT_EQ(3, JSON::Number(3.9).as<int>());
  EXPECT_EQ(-3, JSON::Number(-3.9).as<int>());
  EXPECT_EQ(
      std::numeric_limits<int32_t>::max(), JSON::Number(1e30).as<int32_t>());
  EXPECT_EQ(
      std::numeric_limits<int64_t>::min(), JSON::Number(-1e30).as<int64_t>());
  EXPECT_EQ(0u, JSON::Number(-5.0).as<uint32_t>());
  EXPECT_EQ(
      0, JSON::Number(std::numeric_limits<double>::quiet_NaN()).as<int>());
}

} // namespace
