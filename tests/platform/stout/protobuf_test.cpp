#include <string>

#include <gtest/gtest.h>

#include <stout/json.hpp>
#include <stout/protobuf.hpp>
#include <stout/stringify.hpp>

#include "platform/stout/test_messages.pb.h"

namespace {

using stout::tests::Label;
using stout::tests::Sample;

typedef google::protobuf::RepeatedPtrField<Label> Labels;


Try<Sample> parseSample(const std::string& json)
{
  Try<JSON::Value> value = JSON::parse(json);
  if (value.isError()) {
    return Error("Test input is not JSON: " + value.error());
  }
  return protobuf::parse<Sample>(value.get());
}


TEST(ProtobufParseTest, AllFieldKinds)
{
  Try<Sample> sample = parseSample(
      "{\"name\": \"n\", \"color\": \"GREEN\", \"payload\": \"AP8=\","
      " \"label\": {\"key\": \"k\"}, \"tags\": [\"a\", null, \"b\"],"
      " \"labels\": [{\"key\": \"x\", \"value\": \"y\"}], \"count\": 7.9,"
      " \"ratio\": 0.25, \"enabled\": true, \"size\": 18446744073709551615,"
      " \"colors\": [\"RED\", \"GREEN\"], \"numbers\": [-1, 2],"
      " \"unknown\": {\"ignored\": 1}, \"mode\": null}");
  ASSERT_TRUE(sample.isSome()) << sample.error();

  EXPECT_EQ("n", sample->name());
  EXPECT_EQ(stout::tests::GREEN, sample->color());
  EXPECT_EQ(std::string("\x00\xff", 2), sample->payload());
  EXPECT_EQ("k", sample->label().key());
  ASSERT_EQ(2, sample->tags_size());
  EXPECT_EQ("b", sample->tags(1));
  ASSERT_EQ(1, sample->labels_size());
  EXPECT_EQ("y", sample->labels(0).value());
  EXPECT_EQ(7, sample->count());
  EXPECT_DOUBLE_EQ(0.25, sample->ratio());
  EXPECT_TRUE(sample->enabled());
  // Beyond int64 the number is parsed as a double, which saturates.
  EXPECT_EQ(UINT64_MAX, sample->size());
  EXPECT_EQ(2, sample->colors_size());
  EXPECT_EQ(-1, sample->numbers(0));
  EXPECT_FALSE(sample->has_mode());
  EXPECT_EQ("strict", sample->mode());
}


TEST(ProtobufParseTest, SingleValueForRepeatedField)
{
  Try<Sample> sample = parseSample(
      "{\"name\": \"n\", \"tags\": \"only\", \"labels\": {\"key\": \"k\"}}");
  ASSERT_TRUE(sample.isSome()) << sample.error();
  ASSERT_EQ(1, sample->tags_size());
  EXPECT_EQ("only", sample->tags(0));
  ASSERT_EQ(1, sample->labels_size());
  EXPECT_EQ("k", sample->labels(0).key());
}


TEST(ProtobufParseTest, Errors)
{
  const struct
  {
    std::string json;
    std::string error;
  } cases[] = {
      {"[]", "Expecting a JSON object"},
      {"\"name\"", "Expecting a JSON object"},
      {"{}", "Missing required fields: name"},
      {"{\"name\": null}", "Missing required fields: name"},
      {"{\"name\": \"n\", \"label\": {}, \"labels\": [{\"key\": \"k\"}, {}]}",
       "Missing required fields: label.key, labels[1].key"},
      {"{\"name\": 5}", "Not expecting a JSON number for field 'name'"},
      {"{\"name\": \"n\", \"color\": 1}",
       "Not expecting a JSON number for field 'color'"},
      {"{\"name\": \"n\", \"enabled\": 1}",
       "Not expecting a JSON number for field 'enabled'"},
      {"{\"name\": \"n\", \"label\": \"k\"}",
       "Not expecting a JSON string for field 'label'"},
      {"{\"name\": \"n\", \"count\": \"7\"}",
       "Not expecting a JSON string for field 'count'"},
      {"{\"name\": {}}", "Not expecting a JSON object for field 'name'"},
      {"{\"name\": [\"n\"]}", "Not expecting a JSON array for field 'name'"},
      {"{\"name\": true}", "Not expecting a JSON boolean for field 'name'"},
      {"{\"name\": \"n\", \"color\": \"red\"}",
       "Failed to find enum for 'red'"},
      {"{\"name\": \"n\", \"colors\": [\"RED\", \"BLUE\"]}",
       "Failed to find enum for 'BLUE'"},
      {"{\"name\": \"n\", \"payload\": \"AP8*\"}",
       "Failed to base64 decode bytes field 'payload': Invalid character '*'"},
      // Errors in nested messages carry no path.
      {"{\"name\": \"n\", \"labels\": [{\"key\": 1}]}",
       "Not expecting a JSON number for field 'key'"},
  };

  for (const auto& c : cases) {
    Try<Sample> sample = parseSample(c.json);
    ASSERT_TRUE(sample.isError()) << c.json;
    EXPECT_EQ(c.error, sample.error()) << c.json;
  }
}


TEST(ProtobufParseTest, RepeatedMessages)
{
  Try<Labels> labels = protobuf::parse<Labels>(
      JSON::parse("[{\"key\": \"a\"}, {\"key\": \"b\"}]").get());
  ASSERT_TRUE(labels.isSome()) << labels.error();
  ASSERT_EQ(2, labels->size());
  EXPECT_EQ("b", labels->Get(1).key());

  EXPECT_EQ(
      "Expecting a JSON array",
      protobuf::parse<Labels>(JSON::Object()).error());
  EXPECT_EQ(
      "Missing required fields: key",
      protobuf::parse<Labels>(JSON::parse("[{\"key\": \"a\"}, {}]").get())
          .error());
  EXPECT_EQ(
      "Expecting a JSON object",
      protobuf::parse<Labels>(JSON::parse("[1]").get()).error());
}


TEST(ProtobufToJsonTest, Object)
{
  Sample sample;
  sample.set_name("n/1");
  sample.set_color(stout::tests::RED);
  sample.set_payload(std::string("\x00\xff", 2));
  sample.mutable_label()->set_key("k");
  sample.add_tags("a");
  sample.add_labels()->set_key("x");
  sample.set_ratio(1.0);
  sample.set_enabled(false);
  sample.add_colors(stout::tests::GREEN);
  sample.add_numbers(-3);

  // Unset "mode" appears with its declared default; other unset singular
  // fields and empty repeated fields do not.
  EXPECT_EQ(
      "{\"color\":\"RED\",\"colors\":[\"GREEN\"],\"enabled\":false,"
      "\"label\":{\"key\":\"k\"},\"labels\":[{\"key\":\"x\"}],"
      "\"mode\":\"strict\",\"name\":\"n\\/1\",\"numbers\":[-3],"
      "\"payload\":\"AP8=\",\"ratio\":1.0,\"tags\":[\"a\"]}",
      stringify(JSON::protobuf(sample)));

  // The streaming writer picks the same fields, in declaration order.
  EXPECT_EQ(
      "{\"name\":\"n\\/1\",\"color\":\"RED\",\"payload\":\"AP8=\","
      "\"label\":{\"key\":\"k\"},\"tags\":[\"a\"],\"labels\":[{\"key\":\"x\"}],"
      "\"ratio\":1.0,\"enabled\":false,\"mode\":\"strict\","
      "\"colors\":[\"GREEN\"],\"numbers\":[-3]}",
      std::string(jsonify(JSON::Protobuf(sample))));
}


TEST(ProtobufToJsonTest, RoundTrip)
{
  Sample sample;
  sample.set_name("n");
  sample.set_payload("binary\x01");
  sample.set_size(1ull << 40);
  sample.add_labels()->set_key("a");
  sample.add_labels()->set_key("b");

  Try<Sample> parsed = protobuf::parse<Sample>(JSON::protobuf(sample));
  ASSERT_TRUE(parsed.isSome()) << parsed.error();

  // The default that JSON::protobuf printed comes back as an explicit value.
  sample.set_mode("strict");
  EXPECT_EQ(sample.SerializeAsString(), parsed->SerializeAsString());

  JSON::Array array = JSON::protobuf(sample.labels());
  EXPECT_EQ("[{\"key\":\"a\"},{\"key\":\"b\"}]", stringify(array));
}

} // namespace
