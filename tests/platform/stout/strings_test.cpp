#include <list>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <stout/option.hpp>
#include <stout/strings.hpp>

namespace {

typedef std::vector<std::string> Tokens;


TEST(StringsTest, Split)
{
  const struct
  {
    std::string s;
    std::string delims;
    Option<size_t> max;
    Tokens tokens;
  } cases[] = {
      {"", ".", None(), {""}},
      {"a", ".", None(), {"a"}},
      {"a.b.c", ".", None(), {"a", "b", "c"}},
      {"a::b", ":", None(), {"a", "", "b"}},
      {".a.", ".", None(), {"", "a", ""}},
      {"a,b;c", ",;", None(), {"a", "b", "c"}},
      {"token=a=b", "=", 2, {"token", "a=b"}},
      {"a.b.c", ".", 1, {"a.b.c"}},
      {"a.b.c", ".", 5, {"a", "b", "c"}},
      {"a.b", ".", 0, {}},
      {"Bearer  x", " ", 2, {"Bearer", " x"}},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(c.tokens, strings::split(c.s, c.delims, c.max))
        << "split('" << c.s << "', '" << c.delims << "')";
  }
}


TEST(StringsTest, Tokenize)
{
  const struct
  {
    std::string s;
    std::string delims;
    Option<size_t> max;
    Tokens tokens;
  } cases[] = {
      {"", "/", None(), {}},
      {"///", "/", None(), {}},
      {"/a//b/", "/", None(), {"a", "b"}},
      {"a b\tc", " \t", None(), {"a", "b", "c"}},
      {"  a  b  c", " ", 2, {"a", "b  c"}},
      {"a b", " ", 0, {}},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(c.tokens, strings::tokenize(c.s, c.delims, c.max))
        << "tokenize('" << c.s << "', '" << c.delims << "')";
  }
}


TEST(StringsTest, Trim)
{
  const struct
  {
    std::string s;
    strings::Mode mode;
    std::string result;
  } cases[] = {
      {"  a b \n", strings::ANY, "a b"},
      {"  a b \n", strings::PREFIX, "a b \n"},
      {"  a b \n", strings::SUFFIX, "  a b"},
      {"", strings::ANY, ""},
      {" \t\r\n", strings::ANY, ""},
      {" \t\r\n", strings::PREFIX, ""},
      {" \t\r\n", strings::SUFFIX, ""},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(c.result, strings::trim(c.s, c.mode))
        << "trim('" << c.s << "', " << c.mode << ")";
  }

  EXPECT_EQ("abc", strings::trim("xxabcx", "x"));
}


TEST(StringsTest, Remove)
{
  const struct
  {
    std::string s;
    std::string sub;
    strings::Mode mode;
    std::string result;
  } cases[] = {
      {"file:///etc/x", "file://", strings::PREFIX, "/etc/x"},
      {"/etc/x", "file://", strings::PREFIX, "/etc/x"},
      {"a/b/", "/", strings::SUFFIX, "a/b"},
      {"a//", "/", strings::SUFFIX, "a/"},
      {"a", "abc", strings::SUFFIX, "a"},
      {"a-b-c", "-", strings::ANY, "abc"},
      {"aaa", "aa", strings::ANY, "a"},
      {"abc", "", strings::ANY, "abc"},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(c.result, strings::remove(c.s, c.sub, c.mode))
        << "remove('" << c.s << "', '" << c.sub << "', " << c.mode << ")";
  }
}


TEST(StringsTest, Replace)
{
  const struct
  {
    std::string s;
    std::string from;
    std::string to;
    std::string result;
  } cases[] = {
      {"a.b.c", ".", "/", "a/b/c"},
      {"aaa", "a", "aa", "aaaaaa"},
      {"abc", "", "x", "abc"},
      {"abab", "ab", "", ""},
      {"", "a", "b", ""},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(c.result, strings::replace(c.s, c.from, c.to))
        << "replace('" << c.s << "', '" << c.from << "', '" << c.to << "')";
  }
}


TEST(StringsTest, Join)
{
  EXPECT_EQ("a, b, c", strings::join(", ", Tokens{"a", "b", "c"}));
  EXPECT_EQ("", strings::join(", ", Tokens{}));
  EXPECT_EQ("1-2", strings::join("-", std::list<int>{1, 2}));
  EXPECT_EQ("1 a true", strings::join(" ", 1, "a", true));
  EXPECT_EQ("x", strings::join("/", std::string("x")));
}


TEST(StringsTest, CaseAndAffixes)
{
  EXPECT_EQ("ABC-1\xe9", strings::upper("aBc-1\xe9"));
  EXPECT_EQ("abc-1\xc9", strings::lower("aBc-1\xc9"));

  EXPECT_TRUE(strings::startsWith("Bearer x", "Bearer "));
  EXPECT_FALSE(strings::startsWith("Bear", "Bearer"));
  EXPECT_TRUE(strings::startsWith("/x", '/'));
  EXPECT_FALSE(strings::startsWith("", '/'));
  EXPECT_TRUE(strings::endsWith("a.json", ".json"));
  EXPECT_FALSE(strings::endsWith("json", ".json"));
  EXPECT_FALSE(strings::endsWith("", '/'));
  EXPECT_TRUE(strings::contains("abc", "b"));
  EXPECT_TRUE(strings::contains("abc", ""));
}


} // namespace
