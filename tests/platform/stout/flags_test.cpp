#include <stdint.h>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include <stout/duration.hpp>
#include <stout/flags.hpp>
#include <stout/ip.hpp>
#include <stout/json.hpp>
#include <stout/os.hpp>
#include <stout/path.hpp>
#include <stout/stringify.hpp>

#include "support/log_capture.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

using namespace ovra_test;

namespace stout {
namespace tests {

// A type of this test's own with a `template <>` flags::parse, and a family
// of types served by one flags::Parser<T, Enable>: both declared before the
// flags class below, as module code would.
struct Level
{
  int value;
};

inline std::ostream& operator<<(std::ostream& stream, const Level& level)
{
  return stream << "level-" << level.value;
}

template <int N>
struct Tagged
{
  std::string text;
};

template <int N>
std::ostream& operator<<(std::ostream& stream, const Tagged<N>& tagged)
{
  return stream << N << ":" << tagged.text;
}

template <typename T>
struct IsTagged : std::false_type
{};

template <int N>
struct IsTagged<Tagged<N>> : std::true_type
{};

} // namespace tests
} // namespace stout


namespace flags {

template <>
inline Try<stout::tests::Level> parse(const std::string& value)
{
  if (value == "low") {
    return stout::tests::Level{1};
  } else if (value == "high") {
    return stout::tests::Level{2};
  }
  return Error("Unknown level '" + value + "'");
}


template <typename T>
struct Parser<
    T,
    typename std::enable_if<stout::tests::IsTagged<T>::value>::type>
{
  static Try<T> parse(const std::string& value)
  {
    if (value.empty()) {
      return Error("Empty tag");
    }
    return T{value};
  }
};

} // namespace flags


namespace {

using stout::tests::Level;
using stout::tests::Tagged;

class TestFlags : public virtual flags::FlagsBase
{
public:
  TestFlags()
  {
    add(&TestFlags::timeout, "timeout", "How long to wait", Seconds(5));
    add(&TestFlags::name, "name", "The name", "default");
    add(&TestFlags::verbose, "verbose", "Talk more", false);
    add(&TestFlags::count, "count", "How many", 3, [](const int& count) {
      return count < 0 ? Option<Error>(Error("count must be >= 0"))
                       : Option<Error>::none();
    });
    add(&TestFlags::token, "token", "A secret");
    add(&TestFlags::config, "config", "Configuration");
    add(&TestFlags::list, "list", "A list");
    add(&TestFlags::path, "path", "A path", Path("/tmp"));
    add(&TestFlags::ip, "ip", "An address");
    add(&TestFlags::level, "level", "A level", Level{0});
    add(&TestFlags::tag, "tag", "A tag");
    add(&TestFlags::renamed,
        "renamed",
        flags::DeprecatedName("old_name"),
        "Renamed flag",
        std::string("r"));
    add(&TestFlags::aliased, "aliased", flags::Name("alias"), "Aliased", 0);
  }

  Duration timeout;
  std::string name;
  bool verbose;
  int count;
  Option<std::string> token;
  Option<JSON::Object> config;
  Option<JSON::Array> list;
  Path path;
  Option<net::IP> ip;
  Level level;
  Option<Tagged<7>> tag;
  std::string renamed;
  int aliased;
};


class RequiredFlags : public virtual flags::FlagsBase
{
public:
  RequiredFlags()
  {
    add(&RequiredFlags::url, "url", "Where to go");
    add(&RequiredFlags::zeta, "zeta", "Checked last", 1, [](const int& z) {
      return z == 0 ? Option<Error>(Error("zeta failed")) : None();
    });
    add(&RequiredFlags::alpha,
        "alpha",
        "Checked first",
        [](const Option<int>& a) -> Option<Error> {
          if (a.isSome() && a.get() == 0) {
            return Error("alpha failed");
          }
          return None();
        });
  }

  std::string url;
  int zeta;
  Option<int> alpha;
};


// Both flag groups in one class, as the virtual base allows.
class CombinedFlags : public TestFlags, public RequiredFlags
{};


std::string helpOf(const flags::FlagsBase& flags, const std::string& name)
{
  for (const auto& entry : flags) {
    if (entry.first == name) {
      return entry.second.help;
    }
  }
  return "<no flag " + name + ">";
}


class FlagsTest : public ::testing::Test
{
protected:
  TemporaryDirectory directory;
  ScopedEnvironment environment;
};


TEST_F(FlagsTest, DefaultsAndHelp)
{
  TestFlags flags;
  EXPECT_EQ(Seconds(5), flags.timeout);
  EXPECT_EQ("default", flags.name);
  EXPECT_FALSE(flags.verbose);
  EXPECT_FALSE(flags.help);
  EXPECT_TRUE(flags.token.isNone());
  EXPECT_EQ("/tmp", flags.path.string());

  EXPECT_EQ("How long to wait (default: 5secs)", helpOf(flags, "timeout"));
  EXPECT_EQ("The name (default: default)", helpOf(flags, "name"));
  EXPECT_EQ("Prints this help message (default: false)", helpOf(flags, "help"));
  EXPECT_EQ("A level (default: level-0)", helpOf(flags, "level"));
  EXPECT_EQ("A secret", helpOf(flags, "token"));

  // A required flag has no default, but the suffix is still added.
  EXPECT_EQ("Where to go (default: )", helpOf(RequiredFlags(), "url"));
}


TEST_F(FlagsTest, LoadValues)
{
  TestFlags flags;
  Try<flags::Warnings> load = flags.load(std::map<std::string, std::string>{
      {"timeout", "1500ms"},
      {"name", "n"},
      {"verbose", ""},
      {"token", "t"},
      {"config", "{\"a\": 1}"},
      {"list", "[1]"},
      {"path", "file:///etc/x"},
      {"ip", "10.0.0.1"},
      {"level", "high"},
      {"tag", "t"},
  });
  ASSERT_TRUE(load.isSome()) << load.error();
  EXPECT_TRUE(load->warnings.empty());

  EXPECT_EQ(Milliseconds(1500), flags.timeout);
  EXPECT_EQ("n", flags.name);
  EXPECT_TRUE(flags.verbose);
  EXPECT_EQ("t", flags.token.get());
  EXPECT_EQ("{\"a\":1}", stringify(flags.config.get()));
  EXPECT_EQ("[1]", stringify(flags.list.get()));
  EXPECT_EQ("/etc/x", flags.path.string());
  EXPECT_EQ("10.0.0.1", stringify(flags.ip.get()));
  EXPECT_EQ(2, flags.level.value);
  EXPECT_EQ("t", flags.tag->text);
}


TEST_F(FlagsTest, Booleans)
{
  const struct
  {
    std::map<std::string, Option<std::string>> values;
    bool verbose;
  } cases[] = {
      {{{"verbose", None()}}, true},
      {{{"verbose", std::string("")}}, true},
      {{{"verbose", std::string("1")}}, true},
      {{{"verbose", std::string("false")}}, false},
      {{{"no-verbose", None()}}, false},
      {{{"no-verbose", std::string("")}}, false},
  };

  for (const auto& c : cases) {
    TestFlags flags;
    flags.verbose = !c.verbose;
    Try<flags::Warnings> load = flags.load(c.values);
    ASSERT_TRUE(load.isSome())
        << stringify(c.values.begin()->first) << ": " << load.error();
    EXPECT_EQ(c.verbose, flags.verbose) << c.values.begin()->first;
  }
}


TEST_F(FlagsTest, LoadErrors)
{
  const std::string units =
      "; supported units are 'ns', 'us', 'ms', 'secs', 'mins', 'hrs', 'days',"
      " and 'weeks'";

  const struct
  {
    std::map<std::string, Option<std::string>> values;
    std::string error;
  } cases[] = {
      {{{"bogus", std::string("1")}}, "Failed to load unknown flag 'bogus'"},
      {{{"no-bogus", None()}},
       "Failed to load unknown flag 'bogus' via 'no-bogus'"},
      {{{"Timeout", std::string("1secs")}},
       "Failed to load unknown flag 'Timeout'"},
      {{{"no-name", None()}},
       "Failed to load non-boolean flag 'name' via 'no-name'"},
      {{{"name", None()}},
       "Failed to load non-boolean flag 'name': Missing value"},
      {{{"no-verbose", std::string("true")}},
       "Failed to load boolean flag 'verbose' via 'no-verbose' with value "
       "'true'"},
      {{{"verbose", std::string("yes")}},
       "Failed to load flag 'verbose': Failed to load value 'yes': Expecting a "
       "boolean (e.g., true or false)"},
      {{{"timeout", std::string("5x")}},
       "Failed to load flag 'timeout': Failed to load value '5x': Unknown "
       "duration unit 'x'" +
           units},
      {{{"count", std::string("12abc")}},
       "Failed to load flag 'count': Failed to load value '12abc': Failed to "
       "convert into required type"},
      {{{"count", std::string("-1")}}, "count must be >= 0"},
      {{{"ip", std::string("1.2.3")}},
       "Failed to load flag 'ip': Failed to load value '1.2.3': Failed to "
       "parse the IP"},
      {{{"config", std::string("[]")}},
       "Failed to load flag 'config': Failed to load value '[]': Unexpected "
       "JSON type parsed"},
      {{{"level", std::string("mid")}},
       "Failed to load flag 'level': Failed to load value 'mid': Unknown level "
       "'mid'"},
      {{{"tag", std::string("")}},
       "Failed to load flag 'tag': Failed to load value '': Empty tag"},
      {{{"aliased", std::string("1")}, {"alias", std::string("2")}},
       "Flag 'aliased' is already loaded via name 'alias'"},
  };

  for (const auto& c : cases) {
    TestFlags flags;
    Try<flags::Warnings> load = flags.load(c.values);
    ASSERT_TRUE(load.isError()) << c.values.begin()->first;
    EXPECT_EQ(c.error, load.error()) << c.values.begin()->first;
  }
}


TEST_F(FlagsTest, UnknownsCanBeIgnored)
{
  TestFlags flags;
  Try<flags::Warnings> load = flags.load(
      std::map<std::string, std::string>{{"bogus", "1"}, {"name", "n"}}, true);
  ASSERT_TRUE(load.isSome()) << load.error();
  EXPECT_EQ("n", flags.name);
}


TEST_F(FlagsTest, AliasesAndDeprecatedNames)
{
  TestFlags flags;
  Try<flags::Warnings> load = flags.load(
      std::map<std::string, std::string>{{"old_name", "o"}, {"alias", "4"}});
  ASSERT_TRUE(load.isSome()) << load.error();
  EXPECT_EQ("o", flags.renamed);
  EXPECT_EQ(4, flags.aliased);
  ASSERT_EQ(1u, load->warnings.size());
  EXPECT_EQ("Loaded deprecated flag 'old_name'", load->warnings[0].message);

  EXPECT_NE(std::string::npos, stringify(flags).find("--alias=\"4\""));
  EXPECT_NE(std::string::npos, stringify(flags).find("--old_name=\"o\""));
}


TEST_F(FlagsTest, RequiredFlagsAndValidatorOrder)
{
  {
    RequiredFlags flags;
    Try<flags::Warnings> load =
        flags.load(std::map<std::string, std::string>{});
    ASSERT_TRUE(load.isError());
    EXPECT_EQ("Flag 'url' is required, but it was not provided", load.error());
  }

  // Validators run in name order, for unloaded flags too.
  {
    RequiredFlags flags;
    flags.zeta = 0;
    Try<flags::Warnings> load = flags.load(
        std::map<std::string, std::string>{{"url", "u"}, {"alpha", "0"}});
    ASSERT_TRUE(load.isError());
    EXPECT_EQ("alpha failed", load.error());
  }
  {
    RequiredFlags flags;
    flags.zeta = 0;
    Try<flags::Warnings> load =
        flags.load(std::map<std::string, std::string>{{"url", "u"}});
    ASSERT_TRUE(load.isError());
    EXPECT_EQ("zeta failed", load.error());
  }
  {
    RequiredFlags flags;
    Try<flags::Warnings> load =
        flags.load(std::map<std::string, std::string>{{"url", "u"}});
    ASSERT_TRUE(load.isSome()) << load.error();
    EXPECT_EQ("u", flags.url);
    EXPECT_TRUE(flags.alpha.isNone());
  }
}


TEST_F(FlagsTest, CombinedGroupsShareOneBase)
{
  CombinedFlags flags;
  Try<flags::Warnings> load = flags.load(
      std::map<std::string, std::string>{{"url", "u"}, {"name", "n"}});
  ASSERT_TRUE(load.isSome()) << load.error();
  EXPECT_EQ("u", flags.url);
  EXPECT_EQ("n", flags.name);

  // Copies load into themselves.
  CombinedFlags copy = flags;
  ASSERT_TRUE(
      copy.load(std::map<std::string, std::string>{{"count", "9"}}).isSome());
  EXPECT_EQ(9, copy.count);
  EXPECT_EQ(3, flags.count);
}


TEST_F(FlagsTest, EnvironmentFallback)
{
  environment.set("STOUT_FLAGS_TEST_TIMEOUT", "2mins");
  environment.set("STOUT_FLAGS_TEST_name", "from-env");
  environment.set("STOUT_FLAGS_TEST_COUNT", "7");
  environment.set("STOUT_FLAGS_TEST_BOGUS", "ignored");
  environment.set("stout_flags_test_verbose", "true");

  TestFlags flags;
  Try<flags::Warnings> load = flags.load(
      std::map<std::string, std::string>{{"count", "8"}},
      false,
      std::string("STOUT_FLAGS_TEST_"));
  ASSERT_TRUE(load.isSome()) << load.error();

  EXPECT_EQ(Minutes(2), flags.timeout);
  EXPECT_EQ("from-env", flags.name);
  EXPECT_EQ(8, flags.count); // Values beat the environment.
  EXPECT_FALSE(flags.verbose); // The prefix is case-sensitive.

  TestFlags envOnly;
  ASSERT_TRUE(envOnly.load("STOUT_FLAGS_TEST_").isSome());
  EXPECT_EQ(7, envOnly.count);

  TestFlags noPrefix;
  ASSERT_TRUE(noPrefix.load(std::map<std::string, std::string>{}).isSome());
  EXPECT_EQ(Seconds(5), noPrefix.timeout);
}


TEST_F(FlagsTest, EnvironmentValueErrors)
{
  environment.set("STOUT_FLAGS_TEST_TIMEOUT", "soon");

  TestFlags flags;
  Try<flags::Warnings> load = flags.load(
      std::map<std::string, std::string>{},
      false,
      std::string("STOUT_FLAGS_TEST_"));
  ASSERT_TRUE(load.isError());
  EXPECT_EQ(
      "Failed to load flag 'timeout': Failed to load value 'soon': Failed to "
      "convert '' to number",
      load.error());
}


TEST_F(FlagsTest, FileValues)
{
  const std::string config =
      directory.write("config.json", "{\"key\": \"value\"}\n");
  const std::string name = directory.write("name", "from-file");

  TestFlags flags;
  Try<flags::Warnings> load = flags.load(std::map<std::string, std::string>{
      {"config", "file://" + config},
      {"name", "file://" + name},
      {"path", "file://" + name},
  });
  ASSERT_TRUE(load.isSome()) << load.error();
  EXPECT_EQ("{\"key\":\"value\"}", stringify(flags.config.get()));
  EXPECT_EQ("from-file", flags.name);
  EXPECT_EQ(name, flags.path.string()); // A Path is never read.

  const std::string missing = path::join(directory.path(), "missing");
  TestFlags other;
  load = other.load(
      std::map<std::string, std::string>{{"name", "file://" + missing}});
  ASSERT_TRUE(load.isError());
  EXPECT_EQ(
      "Failed to load flag 'name': Failed to load value 'file://" + missing +
          "': Error reading file '" + missing +
          "': Failed to open file: No such file or directory",
      load.error());
}


TEST_F(FlagsTest, AbsoluteJsonPathIsReadWithAWarning)
{
  const std::string config = directory.write("config.json", "{\"a\": true}");
  const std::string warning =
      "Specifying an absolute filename to read a command line option out of "
      "without using 'file:// is deprecated and will be removed in a future "
      "release. Simply adding 'file://' to the beginning of the path should "
      "eliminate this warning.";

  LogCapture capture;

  TestFlags flags;
  Try<flags::Warnings> load =
      flags.load(std::map<std::string, std::string>{{"config", config}});
  ASSERT_TRUE(load.isSome()) << load.error();
  EXPECT_EQ("{\"a\":true}", stringify(flags.config.get()));
  EXPECT_TRUE(load->warnings.empty());
  EXPECT_EQ(std::vector<std::string>{warning}, capture.texts(google::WARNING));

  const std::string missing = path::join(directory.path(), "missing.json");
  Try<JSON::Array> array = flags::parse<JSON::Array>(missing);
  ASSERT_TRUE(array.isError());
  EXPECT_EQ(
      "Error reading file '" + missing +
          "': Failed to open file: No such file or directory",
      array.error());
  EXPECT_EQ(2u, capture.texts(google::WARNING).size());
}


TEST_F(FlagsTest, CommandLine)
{
  const char* argv[] = {
      "/usr/bin/prog",
      "--name=n",
      "--verbose",
      "positional",
      "--no-help",
      "--",
      "--count=5",
      nullptr};
  const int argc = 7;

  TestFlags flags;
  Try<flags::Warnings> load = flags.load(None(), argc, argv);
  ASSERT_TRUE(load.isSome()) << load.error();
  EXPECT_EQ("n", flags.name);
  EXPECT_TRUE(flags.verbose);
  EXPECT_EQ(3, flags.count); // After "--".
  EXPECT_EQ(0u, flags.usage().find("Usage: prog [options]\n\n"));

  TestFlags twice;
  const char* duplicate[] = {"prog", "--name=a", "--name=b", nullptr};
  load = twice.load(None(), 3, duplicate);
  ASSERT_TRUE(load.isError());
  EXPECT_EQ("Flag 'name' is already loaded via name 'name'", load.error());

  TestFlags allowed;
  ASSERT_TRUE(allowed.load(None(), 3, duplicate, false, true).isSome());
  EXPECT_EQ("b", allowed.name);

  // The pointer form removes what it consumed.
  char* args[] = {
      const_cast<char*>("prog"),
      const_cast<char*>("--name=x"),
      const_cast<char*>("rest"),
      const_cast<char*>("--"),
      const_cast<char*>("--after"),
      nullptr};
  int count = 5;
  char** pointer = args;
  TestFlags removing;
  ASSERT_TRUE(removing.load(None(), &count, &pointer).isSome());
  ASSERT_EQ(3, count);
  EXPECT_STREQ("rest", pointer[1]);
  EXPECT_STREQ("--after", pointer[2]);
  EXPECT_EQ(nullptr, pointer[3]);
}


class DuplicateFlags : public virtual flags::FlagsBase
{
public:
  DuplicateFlags()
  {
    add(&DuplicateFlags::first, "value", "First", 1);
    add(&DuplicateFlags::second, "value", "Second", 2);
    add(&DuplicateFlags::second, "no-value", "Reserved", 2);
    add(&DuplicateFlags::second, "other", flags::Name("other"), "Same", 2);
  }

  int first;
  int second;
};


TEST_F(FlagsTest, DuplicateAddIsLoggedAndIgnored)
{
  LogCapture capture;
  DuplicateFlags flags;

  EXPECT_EQ(
      (std::vector<std::string>{
          "Attempted to add duplicate flag 'value'",
          "Attempted to add flag 'no-value' that starts with the reserved "
          "'no-' prefix",
          "Attempted to add flag 'other' with an alias that is same as the "
          "flag name"}),
      capture.texts(google::ERROR));

  ASSERT_TRUE(
      flags.load(std::map<std::string, std::string>{{"value", "5"}}).isSome());
  EXPECT_EQ(5, flags.first);
  EXPECT_TRUE(
      flags.load(std::map<std::string, std::string>{{"other", "5"}}).isError());
}


TEST(FlagsParseTest, Builtins)
{
  EXPECT_EQ(true, flags::parse<bool>("1").get());
  EXPECT_EQ(false, flags::parse<bool>("0").get());
  EXPECT_EQ(
      "Expecting a boolean (e.g., true or false)",
      flags::parse<bool>("TRUE").error());
  EXPECT_EQ(42, flags::parse<int>("42").get());
  EXPECT_EQ(SIZE_MAX, flags::parse<size_t>("-1").get());
  EXPECT_DOUBLE_EQ(0.5, flags::parse<double>("0.5").get());
  EXPECT_EQ(" spaced ", flags::parse<std::string>(" spaced ").get());
  EXPECT_EQ("", flags::parse<std::string>("").get());

  // operator>> skips leading blanks, nothing else.
  EXPECT_EQ(1, flags::parse<int>(" 1").get());

  for (const char* bad : {"", "1 ", "1.5", "x", "0x10"}) {
    Try<int> value = flags::parse<int>(bad);
    ASSERT_TRUE(value.isError()) << "'" << bad << "'";
    EXPECT_EQ("Failed to convert into required type", value.error());
  }
}

} // namespace
