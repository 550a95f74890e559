// The permission index: it must name the same granting permission as the
// ordered scan of the list (firstGrant), for precedence by list order,
// superuser entries, duplicates and every shape of resource id.

#include <stddef.h>
#include <stdint.h>

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <stout/stringify.hpp>
#include <stout/strings.hpp>

#include "ovra_auth/permission_index.hpp"
#include "ovra_auth/permissions.hpp"
#include "ovra_auth/resource_id.hpp"

#include "support/permission_grants.hpp"

using namespace ovra_test;

using mesos::ovra::Action;
using mesos::ovra::Permission;
using mesos::ovra::PermissionIndex;
using mesos::ovra::Permissions;
using mesos::ovra::RIDTokens;

namespace {

Permissions list(const std::vector<Grant>& grants)
{
  return permissionList(grants);
}


// The position of `permission` in `permissions`, -1 for none.
int positionOf(const Permissions& permissions, const Permission* permission)
{
  for (size_t i = 0; i < permissions.size(); ++i) {
    if (permissions[i].get() == permission) {
      return static_cast<int>(i);
    }
  }
  return -1;
}


std::string describe(const Permissions& permissions)
{
  std::string text;
  for (size_t i = 0; i < permissions.size(); ++i) {
    text += "  " + stringify(i) + ": '" + permissions[i]->rid_ + "' " +
        stringify(static_cast<uint32_t>(permissions[i]->actions_)) + "\n";
  }
  return text;
}

} // namespace {


TEST(PermissionIndexTest, GrantsAsTheFirstPermissionInListOrder)
{
  const Action NOTHING = mesos::ovra::NONE;
  const Action BEYOND = static_cast<Action>(16);

  const struct
  {
    std::string name;
    std::vector<Grant> grants;
    std::string rid;
    Action action;
    int granting;
  } cases[] = {
      {"empty list", {}, "ovra:mesos", mesos::ovra::READ, -1},
      {"a broader grant earlier wins",
       {{"ovra:mesos", {"full"}}, {"ovra:mesos:master:task", {"read"}}},
       "ovra:mesos:master:task:x",
       mesos::ovra::READ,
       0},
      {"a narrower grant earlier wins",
       {{"ovra:mesos:master:task", {"read"}}, {"ovra:mesos", {"full"}}},
       "ovra:mesos:master:task:x",
       mesos::ovra::READ,
       0},
      {"the action picks a later grant",
       {{"ovra:mesos:master:task", {"read"}}, {"ovra:mesos", {"full"}}},
       "ovra:mesos:master:task:x",
       mesos::ovra::UPDATE,
       1},
      {"a match before the superuser entry wins",
       {{"a:b", {"read"}}, {"ovra:superuser", {"read"}}},
       "a:b:c",
       mesos::ovra::READ,
       0},
      {"the superuser entry grants other actions",
       {{"a:b", {"read"}}, {"ovra:superuser", {"read"}}},
       "a:b:c",
       mesos::ovra::DELETE,
       1},
      {"the superuser entry grants other ids",
       {{"a:b", {"read"}}, {"ovra:superuser", {"read"}}},
       "z",
       mesos::ovra::READ,
       1},
      {"the first superuser entry wins",
       {{"ovra:superuser", {"read"}},
        {"a", {"full"}},
        {"ovra:superuser", {"full"}}},
       "a",
       mesos::ovra::READ,
       0},
      {"the superuser grants beyond the known bits",
       {{"a", {"full"}}, {"ovra:superuser", {"read"}}},
       "a",
       BEYOND,
       1},
      {"below the superuser id is no superuser",
       {{"ovra:superuser:x", {"read"}}},
       "b",
       mesos::ovra::READ,
       -1},
      {"nothing grants beyond the known bits",
       {{"a", {"full"}}},
       "a",
       BEYOND,
       -1},
      {"the first of equal duplicates",
       {{"a", {"read"}}, {"a", {"read"}}, {"a", {"full"}}},
       "a:b",
       mesos::ovra::READ,
       0},
      {"a later duplicate with more actions",
       {{"a", {"read"}}, {"a", {"read"}}, {"a", {"full"}}},
       "a:b",
       mesos::ovra::UPDATE,
       2},
      {"a duplicate covered by an earlier one never grants",
       {{"a", {"full"}}, {"a", {"read"}}},
       "a",
       mesos::ovra::READ,
       0},
      {"a trailing slash is an empty path token",
       {{"a:/prod/", {"read"}}, {"a:/prod", {"read"}}},
       "a:/prod/web",
       mesos::ovra::READ,
       1},
      {"a name without a path covers every path",
       {{"a:b", {"read"}}},
       "a:b:/x",
       mesos::ovra::READ,
       0},
      {"a shorter name with a path",
       {{"a:/x", {"read"}}},
       "a:b:/x/y",
       mesos::ovra::READ,
       0},
      {"a path needs a path", {{"a:/x", {"read"}}}, "a", mesos::ovra::READ, -1},
      {"the path is not a name token",
       {{"a:x", {"read"}}},
       "a:/x",
       mesos::ovra::READ,
       -1},
      {"an empty id covers ids with an empty first token",
       {{"", {"full"}}},
       ":x",
       mesos::ovra::READ,
       0},
      {"an empty id covers no usual id",
       {{"", {"full"}}},
       "ovra:mesos",
       mesos::ovra::READ,
       -1},
      {"no action requested",
       {{"b", {"read"}}, {"a", {"read"}}},
       "a:b",
       NOTHING,
       1},
  };

  for (const auto& c : cases) {
    const PermissionIndex index(list(c.grants));
    const RIDTokens requested = mesos::ovra::tokenizeRID(c.rid);

    EXPECT_EQ(
        c.granting,
        positionOf(
            index.list(),
            mesos::ovra::firstGrant(index.list(), requested, c.action)))
        << c.name << " (ordered scan)";
    EXPECT_EQ(
        c.granting,
        positionOf(index.list(), index.grantedBy(requested, c.action)))
        << c.name << " (index)";
  }
}


TEST(PermissionIndexTest, NamesTheSameGrantAsTheOrderedScanOnRandomLists)
{
  // Few tokens, so that ids share prefixes, collide and repeat; every
  // kind of token the tokenizer makes, empty ones and ":" inside a path.
  const std::vector<std::string> names = {
      "ovra", "mesos", "master", "superuser", "task", "", "x"};
  const std::vector<std::string> paths = {"prod", "web", "", "x:y"};
  const std::vector<std::string> words = {
      "create", "read", "update", "delete", "full", "write"};

  std::mt19937 random(20170301);
  auto pick = [&random](size_t bound) {
    return std::uniform_int_distribution<size_t>(0, bound - 1)(random);
  };
  auto chance = [&pick](size_t percent) { return pick(100) < percent; };

  auto join = [](const RIDTokens& tokens) {
    std::string rid = strings::join(":", tokens.first);
    if (!tokens.second.empty()) {
      rid += ":/" + strings::join("/", tokens.second);
    }
    return rid;
  };

  auto randomTokens = [&](size_t maxNames, size_t maxPaths) {
    RIDTokens tokens;
    for (size_t n = 1 + pick(maxNames); n > 0; --n) {
      tokens.first.push_back(names[pick(names.size())]);
    }
    for (size_t n = pick(maxPaths + 1); n > 0; --n) {
      tokens.second.push_back(paths[pick(paths.size())]);
    }
    return tokens;
  };

  size_t decisions = 0;
  size_t granted = 0;
  size_t bySuperuser = 0;
  size_t byLaterThanFirstMatch = 0;

  for (int round = 0; round < 2000; ++round) {
    const size_t size = round % 100 == 0 ? 2000 : pick(40);

    std::vector<Grant> grants;
    for (size_t i = 0; i < size; ++i) {
      Grant grant;
      if (!grants.empty() && chance(20)) {
        grant.rid = grants[pick(grants.size())].rid;
      } else if (chance(5)) {
        grant.rid = mesos::ovra::SUPERUSER_RID;
      } else if (chance(3)) {
        grant.rid = chance(50) ? "" : "ovra:/";
      } else {
        grant.rid = join(randomTokens(4, 3));
        if (chance(10)) {
          grant.rid += chance(50) ? ":/" : "/";
        }
      }
      for (size_t n = pick(4); n > 0; --n) {
        grant.actions.push_back(words[pick(words.size())]);
      }
      grants.push_back(grant);
    }

    const PermissionIndex index(list(grants));
    const Permissions& permissions = index.list();

    for (int request = 0; request < 60; ++request) {
      // Mostly ids at or below a granted one, so that many match.
      RIDTokens wanted = randomTokens(6, 4);
      if (!permissions.empty() && chance(70)) {
        wanted = permissions[pick(permissions.size())]->tokens_;
        for (size_t n = pick(3); n > 0; --n) {
          if (wanted.second.empty() && chance(50)) {
            wanted.first.push_back(names[pick(names.size())]);
          } else {
            wanted.second.push_back(paths[pick(paths.size())]);
          }
        }
      }
      const std::string rid = join(wanted);
      const RIDTokens requested = mesos::ovra::tokenizeRID(rid);

      const Action action =
          static_cast<Action>(chance(3) ? (16 | pick(16)) : 1 + pick(15));

      const Permission* expected =
          mesos::ovra::firstGrant(permissions, requested, action);
      const Permission* found = index.grantedBy(requested, action);

      ASSERT_EQ(
          positionOf(permissions, expected), positionOf(permissions, found))
          << "round " << round << ", request '" << rid << "' for "
          << static_cast<uint32_t>(action) << " over\n"
          << describe(permissions);

      ++decisions;
      if (expected == nullptr) {
        continue;
      }
      ++granted;
      if (mesos::ovra::superuser(expected->rid_)) {
        ++bySuperuser;
      }
      // A later permission of the list grants too: list order decided.
      for (int i = positionOf(permissions, expected) + 1;
           i < static_cast<int>(permissions.size());
           ++i) {
        if (mesos::ovra::grants(*permissions[i], requested, action)) {
          ++byLaterThanFirstMatch;
          break;
        }
      }
    }
  }

  // The lists must have exercised grants, denials, the superuser entry
  // and precedence, or the comparison proves little.
  EXPECT_GT(granted, decisions / 5);
  EXPECT_GT(decisions - granted, decisions / 5);
  EXPECT_GT(bySuperuser, decisions / 50);
  EXPECT_GT(byLaterThanFirstMatch, decisions / 20);
}
