#include <string>

#include <gtest/gtest.h>

#include <stout/base64.hpp>

namespace {

TEST(Base64Test, EncodeAndDecode)
{
  const struct
  {
    std::string plain;
    std::string encoded;
  } cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foobar", "Zm9vYmFy"},
      {"user:secret", "dXNlcjpzZWNyZXQ="},
      {std::string("\x00\xff\xfe", 3), "AP/+"},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(c.encoded, base64::encode(c.plain))
        << "encode('" << c.plain << "')";

    Try<std::string> decoded = base64::decode(c.encoded);
    ASSERT_TRUE(decoded.isSome()) << c.encoded << ": " << decoded.error();
    EXPECT_EQ(c.plain, decoded.get()) << "decode('" << c.encoded << "')";
  }
}


TEST(Base64Test, DecodeStopsAtTheFirstPadding)
{
  const struct
  {
    std::string encoded;
    std::string plain;
  } cases[] = {
      {"Zg", "f"}, // Unpadded.
      {"Zm8", "fo"},
      {"Zg=", "f"}, // Padding is not counted.
      {"Zg===", "f"},
      {"Zg==!!!", "f"}, // Whatever follows '=' is ignored.
      {"Zm9v=Zm9v", "foo"},
      {"Z", ""}, // A lone trailing character gives nothing.
      {"Zm9vY", "foo"},
      {"=Zm9v", ""},
  };

  for (const auto& c : cases) {
    Try<std::string> decoded = base64::decode(c.encoded);
    ASSERT_TRUE(decoded.isSome()) << c.encoded << ": " << decoded.error();
    EXPECT_EQ(c.plain, decoded.get()) << "decode('" << c.encoded << "')";
  }
}


TEST(Base64Test, DecodeErrors)
{
  const struct
  {
    std::string encoded;
    std::string error;
  } cases[] = {
      {"Zm9v YmFy", "Invalid character ' '"},
      {"Zm9v\n", "Invalid character '\n'"},
      {"ab-_", "Invalid character '-'"}, // No URL-safe alphabet.
      {"ab\xc3\xa9", "Invalid character '\xc3'"},
  };

  for (const auto& c : cases) {
    Try<std::string> decoded = base64::decode(c.encoded);
    ASSERT_TRUE(decoded.isError()) << "decode('" << c.encoded << "')";
    EXPECT_EQ(c.error, decoded.error()) << "decode('" << c.encoded << "')";
  }
}

} // namespace
