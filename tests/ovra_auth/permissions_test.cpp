// The permission model: action words to bits, the action rules, and the
// flattening of a permissions document with its failure texts.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <stout/stringify.hpp>
#include <stout/try.hpp>

#include "ovra_auth/permissions.hpp"

#include "support/log_capture.hpp"

using namespace ovra_test;

using mesos::ovra::Action;
using mesos::ovra::Permission;
using mesos::ovra::Permissions;

namespace iam = mesos::ovra::iam;

namespace {

google::protobuf::RepeatedPtrField<iam::Action> actions(
    const std::vector<std::string>& names)
{
  google::protobuf::RepeatedPtrField<iam::Action> result;
  for (const std::string& name : names) {
    iam::Action* action = result.Add();
    action->set_name(name);
    action->set_url("/acs/api/v1/acls/x/" + name);
  }
  return result;
}


// A direct entry as the IAM service writes it.
std::string direct(const std::string& rid, const std::string& actionsJson)
{
  return "{\"rid\":\"" + rid +
      "\",\"description\":\"d\",\"aclurl\":\"/a\","
      "\"actions\":" +
      actionsJson + "}";
}


std::string group(const std::string& rid, const std::string& actionsJson)
{
  return "{\"rid\":\"" + rid +
      "\",\"gid\":\"g\",\"description\":\"d\","
      "\"aclurl\":\"/a\",\"membershipurl\":\"/m\",\"actions\":" +
      actionsJson + "}";
}


const char READ_ACTION[] = "[{\"name\":\"read\",\"url\":\"/u\"}]";


std::vector<std::pair<std::string, uint32_t>> flattened(
    const Permissions& permissions)
{
  std::vector<std::pair<std::string, uint32_t>> result;
  for (const auto& permission : permissions) {
    result.emplace_back(permission->rid_, permission->actions_);
  }
  return result;
}

} // namespace {


TEST(PermissionsTest, ActionWordsBecomeBits)
{
  const struct
  {
    std::vector<std::string> names;
    uint32_t bits;
  } cases[] = {
      {{}, 0},
      {{"create"}, 1},
      {{"read"}, 2},
      {{"update"}, 4},
      {{"delete"}, 8},
      {{"full"}, 15},
      {{"read", "update"}, 6},
      {{"full", "read"}, 15},
      {{"read", "full"}, 15},
      {{"create", "create"}, 1},
      {{"create", "read", "update", "delete"}, 15},
      {{"Read"}, 0},
      {{"READ"}, 0},
      {{"write"}, 0},
      {{"write", "delete"}, 8},
      {{" read"}, 0},
      {{""}, 0},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(c.bits, Permission::flatActions(actions(c.names)))
        << stringify(c.names);
  }
}


TEST(PermissionsTest, RequestedBitsMustAllBeGranted)
{
  using namespace mesos::ovra;

  const struct
  {
    Action requested;
    uint32_t granted;
    bool matches;
  } cases[] = {
      {READ, READ, true},
      {READ, FULL, true},
      {UPDATE, FULL, true},
      {READ, READ | UPDATE, true},
      {UPDATE, READ, false},
      {CREATE, READ, false},
      {DELETE, CREATE | READ | UPDATE, false},
      {READ, NONE, false},
      {static_cast<Action>(READ | UPDATE), READ, false},
      {static_cast<Action>(READ | UPDATE), READ | UPDATE, true},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(
        c.matches, matchAction(c.requested, static_cast<Action>(c.granted)))
        << c.requested << " in " << c.granted;
  }
}


TEST(PermissionsTest, ActionsAreWrittenInBitOrder)
{
  const struct
  {
    uint32_t action;
    std::string text;
  } cases[] = {
      {0, "UNKNOWN"},
      {1, "create"},
      {2, "read"},
      {4, "update"},
      {8, "delete"},
      {3, "create | read"},
      {10, "read | delete"},
      {15, "create | read | update | delete"},
      {16, "UNKNOWN"},
      {0xFFFFFFFF, "UNKNOWN"},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(
        c.text, mesos::ovra::stringifyAction(static_cast<Action>(c.action)))
        << c.action;
  }
}


TEST(PermissionsTest, GroupsComeFirstAndEntriesStaySeparate)
{
  // Direct entries precede the groups in the text; two entries for one
  // id stay two entries.
  const std::string body = "{\"direct\":[" +
      direct("ovra:mesos:master:flags", READ_ACTION) + "," +
      direct("ovra:mesos:master:flags",
             "[{\"name\":\"update\",\"url\":\"/u\"}]") +
      "],"
      "\"groups\":[" +
      group("ovra:mesos:master:task",
            "[{\"name\":\"read\",\"url\":\"/u\"},"
            "{\"name\":\"update\",\"url\":\"/u\"}]") +
      "]}";

  Try<Permissions> permissions = mesos::ovra::parsePermissions(body);
  ASSERT_TRUE(permissions.isSome()) << permissions.error();

  const std::vector<std::pair<std::string, uint32_t>> expected = {
      {"ovra:mesos:master:task", 6},
      {"ovra:mesos:master:flags", 2},
      {"ovra:mesos:master:flags", 4},
  };
  EXPECT_EQ(expected, flattened(permissions.get()));
}


TEST(PermissionsTest, EntriesWithoutRecognisedActionsAreSkippedWithAWarning)
{
  const std::string body = "{\"groups\":[" + group("g:none", "[]") + "," +
      group("g:kept", READ_ACTION) +
      "],"
      "\"direct\":[" +
      direct("d:capital", "[{\"name\":\"Read\",\"url\":\"/u\"}]") + "," +
      direct("d:mixed",
             "[{\"name\":\"write\",\"url\":\"/u\"},"
             "{\"name\":\"delete\",\"url\":\"/u\"}]") +
      "]}";

  LogCapture log;
  Try<Permissions> permissions = mesos::ovra::parsePermissions(body);
  ASSERT_TRUE(permissions.isSome()) << permissions.error();

  const std::vector<std::pair<std::string, uint32_t>> expected = {
      {"g:kept", 2},
      {"d:mixed", 8},
  };
  EXPECT_EQ(expected, flattened(permissions.get()));

  iam::Group skippedGroup;
  skippedGroup.set_rid("g:none");
  skippedGroup.set_gid("g");
  skippedGroup.set_description("d");
  skippedGroup.set_aclurl("/a");
  skippedGroup.set_membershipurl("/m");

  iam::Direct skippedDirect;
  skippedDirect.set_rid("d:capital");
  skippedDirect.set_description("d");
  skippedDirect.set_aclurl("/a");
  iam::Action* capital = skippedDirect.add_actions();
  capital->set_name("Read");
  capital->set_url("/u");

  // glog drops the line feed that ends the text format.
  auto text = [](const google::protobuf::Message& message) {
    std::string debug = message.DebugString();
    return debug.substr(0, debug.size() - 1);
  };

  const std::vector<std::string> expectedWarnings = {
      "Skipping invalid 'group' permission:\n" + text(skippedGroup),
      "Skipping invalid 'direct' permission:\n" + text(skippedDirect),
  };
  EXPECT_EQ(expectedWarnings, log.texts(google::GLOG_WARNING));
}


TEST(PermissionsTest, DocumentsOfTheRightShapeParse)
{
  const struct
  {
    std::string body;
    std::vector<std::pair<std::string, uint32_t>> permissions;
  } cases[] = {
      {"{}", {}},
      {" {\"direct\":[],\"groups\":[]} ", {}},
      // Keys that name no field, at any level, and nulls are ignored.
      {"{\"extra\":{\"deep\":[1,2]},\"groups\":null,\"direct\":[" +
           direct("r", "[{\"name\":\"read\",\"url\":\"/u\",\"x\":1}]")
               .insert(1, "\"more\":null,") +
           "]}",
       {{"r", 2}}},
      // stout takes a single value for a repeated field as one element.
      {"{\"direct\":" + direct("r", READ_ACTION) + "}", {{"r", 2}}},
  };

  for (const auto& c : cases) {
    Try<Permissions> permissions = mesos::ovra::parsePermissions(c.body);
    ASSERT_TRUE(permissions.isSome()) << c.body << ": " << permissions.error();
    EXPECT_EQ(c.permissions, flattened(permissions.get())) << c.body;
  }
}


TEST(PermissionsTest, DocumentsOfTheWrongShapeFailWithTheirStage)
{
  const std::string json = "Failed to parse HTTP response as JSON: ";
  const std::string protobuf = "Failed to parse JSON response as protobuf: ";

  std::string deep;
  for (int i = 0; i < 100000; ++i) {
    deep += "[";
  }

  const struct
  {
    std::string body;
    std::string error;
  } cases[] = {
      {"", json + "syntax error at line 1 near: "},
      {"[]", json + "Unexpected JSON type parsed"},
      {"\"direct\"", json + "Unexpected JSON type parsed"},
      {"{\"direct\":[]} x",
       json + "Parsed JSON included non-whitespace trailing characters:  x"},
      {"<html>Bad gateway</html>",
       json +
           "syntax error at line 1 near: "
           "<html>Bad gateway</html>"},
      {"{\"direct\":[" +
           direct("r", READ_ACTION)
               .replace(
                   direct("r", READ_ACTION).find(",\"aclurl\":\"/a\""),
                   14,
                   "") +
           "]}",
       protobuf + "Missing required fields: direct[0].aclurl"},
      {"{\"groups\":[" + group("r", "[{\"name\":\"read\"}]") + "]}",
       protobuf + "Missing required fields: groups[0].actions[0].url"},
      {"{\"direct\":[{\"rid\":null,\"description\":\"d\",\"aclurl\":\"/a\"}]}",
       protobuf + "Missing required fields: direct[0].rid"},
      {"{\"direct\":[{\"rid\":5,\"description\":\"d\",\"aclurl\":\"/a\"}]}",
       protobuf + "Not expecting a JSON number for field 'rid'"},
      {"{\"direct\":\"ovra:superuser\"}",
       protobuf + "Not expecting a JSON string for field 'direct'"},
  };

  for (const auto& c : cases) {
    Try<Permissions> permissions = mesos::ovra::parsePermissions(c.body);
    ASSERT_TRUE(permissions.isError()) << c.body.substr(0, 100);
    EXPECT_EQ(c.error, permissions.error()) << c.body.substr(0, 100);
  }

  // Nesting beyond the parser's bound fails, arrays and objects alike, at
  // once and without exhausting the stack.
  std::string objects;
  for (int i = 0; i < 60000; ++i) {
    objects += "{\"direct\":";
  }
  objects += "[]" + std::string(60000, '}');

  for (const std::string& body : {deep, "{\"x\":" + deep, objects}) {
    Try<Permissions> permissions = mesos::ovra::parsePermissions(body);
    ASSERT_TRUE(permissions.isError());
    EXPECT_EQ(json + "JSON nests deeper than 100 levels", permissions.error());
  }
}


TEST(PermissionsTest, OversizedDocumentsAreRefusedUnparsed)
{
  std::string body = "{\"direct\":[" + direct("r", READ_ACTION) + "]";
  body += std::string(
      mesos::ovra::MAX_PERMISSIONS_DOCUMENT_SIZE - body.size(), ' ');
  body += "}";

  Try<Permissions> permissions = mesos::ovra::parsePermissions(body);
  ASSERT_TRUE(permissions.isError());
  EXPECT_EQ(
      "Failed to parse HTTP response as JSON: the document of " +
          stringify(mesos::ovra::MAX_PERMISSIONS_DOCUMENT_SIZE + 1) +
          " bytes exceeds the limit of " +
          stringify(mesos::ovra::MAX_PERMISSIONS_DOCUMENT_SIZE) + " bytes",
      permissions.error());

  // One byte less is within the limit.
  body.erase(body.size() - 2, 1);
  Try<Permissions> within = mesos::ovra::parsePermissions(body);
  ASSERT_TRUE(within.isSome()) << within.error();
  EXPECT_EQ(1u, within->size());
}
