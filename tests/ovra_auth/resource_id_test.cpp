// Resource ids: how they split into name and path tokens, and which
// granted ids cover which requested ones.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <stout/stringify.hpp>

#include "ovra_auth/resource_id.hpp"

using mesos::ovra::RIDTokens;

typedef std::vector<std::string> Tokens;


TEST(ResourceIdTest, SplitsAtTheFirstColonSlash)
{
  const struct
  {
    std::string rid;
    Tokens names;
    Tokens path;
  } cases[] = {
      {"ovra:mesos:master:flags", {"ovra", "mesos", "master", "flags"}, {}},
      {"ovra:mesos:master:task:app_id:/prod/web",
       {"ovra", "mesos", "master", "task", "app_id"},
       {"prod", "web"}},
      // A trailing slash leaves an empty path token.
      {"a:/prod/", {"a"}, {"prod", ""}},
      // Empty tokens stay.
      {"a::b", {"a", "", "b"}, {}},
      {"", {""}, {}},
      {":", {"", ""}, {}},
      {"a:", {"a", ""}, {}},
      // ":/" with nothing after it gives no path tokens.
      {"a:/", {"a"}, {}},
      {":/x", {""}, {"x"}},
      {"a:/x//y", {"a"}, {"x", "", "y"}},
      // Only the first ":/" splits; a ":" in the path is a character.
      {"a:/x:/y:z", {"a"}, {"x:", "y:z"}},
      // A "/" before any ":/" belongs to the name part.
      {"a/b:c", {"a/b", "c"}, {}},
      {"ovra:mesos:master:endpoint:path:/metrics/snapshot",
       {"ovra", "mesos", "master", "endpoint", "path"},
       {"metrics", "snapshot"}},
  };

  for (const auto& c : cases) {
    const RIDTokens tokens = mesos::ovra::tokenizeRID(c.rid);
    EXPECT_EQ(c.names, tokens.first) << "'" << c.rid << "'";
    EXPECT_EQ(c.path, tokens.second) << "'" << c.rid << "'";
  }
}


TEST(ResourceIdTest, GrantedIdsCoverTheIdsBelowThem)
{
  const struct
  {
    std::string acl;
    std::string request;
    bool covers;
  } cases[] = {
      {"ovra:mesos:master:flags", "ovra:mesos:master:flags", true},
      {"ovra:mesos:master:task", "ovra:mesos:master:task:user:nobody", true},
      {"ovra:mesos", "ovra:mesos:agent:log_level", true},
      {"ovra:mesos:master:task:user:nobody", "ovra:mesos:master:task", false},
      // Tokens compare whole, not as text prefixes.
      {"ovra:mesos:master:task", "ovra:mesos:master:tasks", false},
      {"ovra:mesos:mast", "ovra:mesos:master", false},
      {"ovra:mesos:master:task:app_id",
       "ovra:mesos:master:task:app_id:/prod/web",
       true},
      {"ovra:mesos:master:task:app_id:/prod",
       "ovra:mesos:master:task:app_id:/prod/web",
       true},
      {"ovra:mesos:master:task:app_id:/prod",
       "ovra:mesos:master:task:app_id:/production",
       false},
      {"ovra:mesos:master:task:app_id:/prod/web",
       "ovra:mesos:master:task:app_id:/prod",
       false},
      // A trailing slash asks for an empty token after "prod".
      {"ovra:mesos:master:task:app_id:/prod/",
       "ovra:mesos:master:task:app_id:/prod/web",
       false},
      {"ovra:mesos:master:task:app_id:/prod/",
       "ovra:mesos:master:task:app_id:/prod/",
       true},
      // The name parts must agree before the paths are compared.
      {"ovra:mesos:master:task:app_id:/prod",
       "ovra:mesos:master:executor:app_id:/prod/web",
       false},
      // ":/" is the boundary: without it "/prod" is part of a name token.
      {"ovra:mesos:master:task:app_id:/prod",
       "ovra:mesos:master:task:app_id/prod/web",
       false},
      {"ovra:mesos:master:endpoint:path:/metrics",
       "ovra:mesos:master:endpoint:path:/metrics/snapshot",
       true},
      // The name part of an id with a path covers ids without one only when
      // the path part is empty.
      {"ovra:mesos:master:task:app_id:/prod",
       "ovra:mesos:master:task:app_id",
       false},
      // An empty id has one empty name token: it covers nothing that the
      // authorizer asks for.
      {"", "ovra:mesos:master:flags", false},
      {"a::b", "a::b:c", true},
      {"a::b", "a:x:b", false},
      // The superuser id is no prefix of other ids; the approver treats it
      // apart.
      {"ovra:superuser", "ovra:mesos:master:flags", false},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(c.covers, mesos::ovra::matchRID(c.acl, c.request))
        << "'" << c.acl << "' over '" << c.request << "'";
  }
}


TEST(ResourceIdTest, OnlyTheExactSuperuserIdIsTheSuperuser)
{
  EXPECT_TRUE(mesos::ovra::superuser("ovra:superuser"));

  for (const std::string rid :
       {"ovra:superuser:x",
        "ovra:superuser:",
        "OVRA:SUPERUSER",
        "ovra",
        " ovra:superuser",
        ""}) {
    EXPECT_FALSE(mesos::ovra::superuser(rid)) << rid;
  }
}
