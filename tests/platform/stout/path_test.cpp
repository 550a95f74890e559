#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <stout/path.hpp>

namespace {

TEST(PathTest, Join)
{
  const struct
  {
    std::string a;
    std::string b;
    std::string joined;
  } cases[] = {
      {"/api", "secret/default", "/api/secret/default"},
      {"/api/", "/secret", "/api/secret"},
      {"/api//", "//secret", "/api///secret"},
      {"", "x", "/x"},
      {"/", "x", "/x"},
      {"a", "", "a/"},
      {"", "", "/"},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(c.joined, path::join(c.a, c.b))
        << "join('" << c.a << "', '" << c.b << "')";
  }

  EXPECT_EQ("a/b/c", path::join("a", "b/", "/c"));
  EXPECT_EQ("a/b/c", path::join(std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ("", path::join(std::vector<std::string>{}));
  EXPECT_EQ("a:b", path::join("a", "b", ':'));
  EXPECT_TRUE(path::absolute("/x"));
  EXPECT_FALSE(path::absolute("x"));
}


TEST(PathTest, BasenameAndDirname)
{
  const struct
  {
    std::string path;
    std::string basename;
    std::string dirname;
  } cases[] = {
      {"/usr/lib", "lib", "/usr"},
      {"/usr/", "usr", "/"},
      {"usr", "usr", "."},
      {"/", "/", "/"},
      {"//", "/", "/"},
      {"", ".", "."},
      {".", ".", "."},
      {"..", "..", "."},
      {"a//b//", "b", "a"},
      {"//a", "a", "/"},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(c.basename, Path(c.path).basename()) << "'" << c.path << "'";
    EXPECT_EQ(c.dirname, Path(c.path).dirname()) << "'" << c.path << "'";
  }
}


TEST(PathTest, DropsFileScheme)
{
  EXPECT_EQ("/etc/ovra.json", Path("file:///etc/ovra.json").string());
  EXPECT_EQ("/etc/x", std::string(Path("/etc/x")));
  EXPECT_TRUE(Path("file:///x").absolute());
}


} // namespace
