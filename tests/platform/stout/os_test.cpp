#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include <stout/os.hpp>
#include <stout/path.hpp>

#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

using namespace ovra_test;

namespace {

class OsTest : public ::testing::Test
{
protected:
  OsTest() : directory(temporary.path()) {}

  TemporaryDirectory temporary;
  const std::string directory;
};


TEST_F(OsTest, ReadWholeFile)
{
  const std::string file = path::join(directory, "file");
  const std::string content = std::string(3 * BUFSIZ + 7, 'x') + "\n";
  ASSERT_TRUE(os::write(file, content).isSome());
  EXPECT_EQ(content, os::read(file).get());

  ASSERT_TRUE(os::write(file, "").isSome());
  EXPECT_EQ("", os::read(file).get());
}


TEST_F(OsTest, ReadErrors)
{
  Try<std::string> missing = os::read(path::join(directory, "missing"));
  ASSERT_TRUE(missing.isError());
  EXPECT_EQ("Failed to open file: No such file or directory", missing.error());

  // A directory opens but cannot be read.
  Try<std::string> dir = os::read(directory);
  ASSERT_TRUE(dir.isError());
  EXPECT_EQ("Is a directory", dir.error());
}


TEST_F(OsTest, Mkdir)
{
  const std::string nested = path::join(directory, "a/b/c");
  ASSERT_TRUE(os::mkdir(nested).isSome());
  EXPECT_TRUE(os::stat::isdir(nested));
  EXPECT_EQ(0755u, os::stat::mode(nested).get() & 0777);

  // Existing prefixes, the directory itself, even a file, are accepted.
  EXPECT_TRUE(os::mkdir(nested).isSome());
  ASSERT_TRUE(os::write(path::join(directory, "f"), "").isSome());
  EXPECT_TRUE(os::mkdir(path::join(directory, "f")).isSome());

  Try<Nothing> again = os::mkdir(nested, false);
  ASSERT_TRUE(again.isError());
  EXPECT_EQ("File exists", again.error());

  Try<Nothing> below = os::mkdir(path::join(directory, "f/g"));
  ASSERT_TRUE(below.isError());
  EXPECT_EQ("Not a directory", below.error());
}


TEST_F(OsTest, StatAndExists)
{
  const std::string file = path::join(directory, "file");
  const std::string link = path::join(directory, "link");
  ASSERT_TRUE(os::write(file, "x").isSome());
  ASSERT_EQ(0, ::symlink(file.c_str(), link.c_str()));

  EXPECT_TRUE(os::stat::isfile(file));
  EXPECT_FALSE(os::stat::isdir(file));
  EXPECT_TRUE(os::stat::isfile(link));
  EXPECT_TRUE(os::stat::islink(link));
  EXPECT_FALSE(os::stat::islink(file));
  EXPECT_EQ(::getuid(), os::stat::uid(file).get());

  ASSERT_TRUE(os::chmod(file, 0600).isSome());
  EXPECT_EQ(0600u, os::stat::mode(file).get() & 0777);

  const std::string missing = path::join(directory, "missing");
  EXPECT_EQ(
      "Error invoking stat for '" + missing + "': No such file or directory",
      os::stat::mode(missing).error());
  EXPECT_EQ(
      "Error invoking stat for '" + missing + "': No such file or directory",
      os::stat::uid(missing).error());
  EXPECT_EQ("No such file or directory", os::chmod(missing, 0600).error());

  // exists() does not follow links: a dangling link exists.
  ASSERT_TRUE(os::rm(file).isSome());
  EXPECT_TRUE(os::exists(link));
  EXPECT_FALSE(os::exists(file));
  EXPECT_TRUE(os::exists(::getpid()));
}


TEST_F(OsTest, ChownToOurselves)
{
  ASSERT_TRUE(os::mkdir(path::join(directory, "a/b")).isSome());
  EXPECT_TRUE(os::chown(::getuid(), ::getgid(), directory, true).isSome());
  EXPECT_TRUE(os::chown(::getuid(), ::getgid(), directory, false).isSome());

  Try<Nothing> missing =
      os::chown(::getuid(), ::getgid(), path::join(directory, "missing"), true);
  ASSERT_TRUE(missing.isError());
  EXPECT_EQ("No such file or directory", missing.error());
}


TEST_F(OsTest, SystemReturnsTheWaitStatus)
{
  EXPECT_EQ(0, os::system("true"));
  EXPECT_EQ(256, os::system("exit 1"));

  const int status = os::system("exit 127");
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(127, WEXITSTATUS(status));

  const std::string file = path::join(directory, "out");
  EXPECT_EQ(0, os::system("printf hi > '" + file + "'"));
  EXPECT_EQ("hi", os::read(file).get());
}


TEST(OsEnvironmentTest, SetGetUnset)
{
  const std::string key = "STOUT_OS_TEST_VARIABLE";
  ScopedEnvironment restore;
  restore.unset(key);
  EXPECT_TRUE(os::getenv(key).isNone());
  EXPECT_EQ(0u, os::environment().count(key));

  os::setenv(key, "a=b");
  EXPECT_EQ("a=b", os::getenv(key).get());
  EXPECT_EQ("a=b", os::environment()[key]);

  os::setenv(key, "c", false);
  EXPECT_EQ("a=b", os::getenv(key).get());

  os::setenv(key, "");
  EXPECT_EQ("", os::getenv(key).get());

  os::unsetenv(key);
  EXPECT_TRUE(os::getenv(key).isNone());
}

} // namespace
