// The copy of the agent's SSL files into a real sandbox: owner, group and
// mode, refused sandboxes and sources, and links that the sandbox's user
// may have planted.

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <stout/try.hpp>

#include "ssl_exec/assets.hpp"

#include "ssl_exec/ssl_exec_test.hpp"

using namespace ovra_test;

using corvanta::ovra::ssl_executor::copySSLAssets;
using corvanta::ovra::ssl_executor::copySSLAssetToSandbox;
using corvanta::ovra::ssl_executor::MAX_ASSET_SIZE;

namespace {

const std::vector<std::string> ALL_THREE = {"agent.crt", "agent.key", "ca.crt"};

// Sets the umask for the life of the object.
class ScopedUmask
{
public:
  explicit ScopedUmask(mode_t mask) : saved_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(saved_); }

private:
  const mode_t saved_;
};

} // namespace {


class AssetsTest : public SslExecTest
{
protected:
  std::string folder() const { return sandbox_ + "/.ssl"; }
};


TEST_F(AssetsTest, CopiesTakeTheSandboxModeAndTheSourceModeLessUmask)
{
  ScopedUmask umask(027);
  ASSERT_EQ(0, ::chmod(sandbox_.c_str(), 0710));

  ASSERT_TRUE(copySSLAssets(flags_, sandbox_).isSome());

  EXPECT_EQ(ALL_THREE, entries(folder()));
  EXPECT_EQ(static_cast<mode_t>(S_IFDIR | 0710), lstatOf(folder()).st_mode);
  EXPECT_EQ(
      static_cast<mode_t>(S_IFREG | 0640),
      lstatOf(folder() + "/ca.crt").st_mode);
  EXPECT_EQ(
      static_cast<mode_t>(S_IFREG | 0600),
      lstatOf(folder() + "/agent.key").st_mode);
  EXPECT_EQ("the CA", read(folder() + "/ca.crt"));
  EXPECT_EQ("the certificate", read(folder() + "/agent.crt"));
  EXPECT_EQ("the key", read(folder() + "/agent.key"));

  // A second preparation of the same sandbox replaces the copies.
  file(flags_.key_file, "a new key", 0600);
  ASSERT_TRUE(copySSLAssets(flags_, sandbox_).isSome());
  EXPECT_EQ("a new key", read(folder() + "/agent.key"));
  EXPECT_EQ(ALL_THREE, entries(folder()));
}


TEST_F(AssetsTest, FolderAndCopiesBelongToTheSandboxOwner)
{
  if (::geteuid() != 0) {
    GTEST_SKIP() << "Changing a file's owner needs root";
  }

  const uid_t nobody = 65534;
  const gid_t nogroup = 65534;
  ASSERT_EQ(0, ::chown(sandbox_.c_str(), nobody, nogroup));
  ASSERT_EQ(0, ::chmod(sandbox_.c_str(), 0750));

  ASSERT_TRUE(copySSLAssets(flags_, sandbox_).isSome());

  for (const std::string& path :
       {folder(),
        folder() + "/ca.crt",
        folder() + "/agent.crt",
        folder() + "/agent.key"}) {
    EXPECT_EQ(nobody, lstatOf(path).st_uid) << path;
    EXPECT_EQ(nogroup, lstatOf(path).st_gid) << path;
  }
  EXPECT_EQ(static_cast<mode_t>(S_IFDIR | 0750), lstatOf(folder()).st_mode);

  // The sources keep their owner.
  EXPECT_EQ(0u, lstatOf(flags_.key_file).st_uid);
}


TEST_F(AssetsTest, SandboxMustBeAnExistingAbsolutePath)
{
  const struct
  {
    std::string sandbox;
    std::string error;
  } cases[] = {
      {"", "Sandbox directory '' is not an absolute path"},
      {"relative-sandbox",
       "Sandbox directory 'relative-sandbox' is not an "
       "absolute path"},
      {sandbox_ + "/gone",
       "Sandbox directory '" + sandbox_ +
           "/gone' does "
           "not exist"},
  };

  for (const auto& test : cases) {
    Try<Nothing> copied = copySSLAssets(flags_, test.sandbox);
    ASSERT_TRUE(copied.isError()) << test.sandbox;
    EXPECT_EQ(test.error, copied.error());
  }

  EXPECT_FALSE(exists("relative-sandbox"));
  EXPECT_TRUE(entries(sandbox_).empty());
}


TEST_F(AssetsTest, MissingSourceStopsTheCopyAndLeavesWhatWasDone)
{
  const std::string missing = agent_ + "/missing.pem";
  const struct
  {
    std::string corvanta::ovra::ssl_executor::Flags::*file;
    std::string prefix;
    std::vector<std::string> left;
  } cases[] = {
      {&corvanta::ovra::ssl_executor::Flags::ca_file,
       "Failed to copy CA certificate: ",
       {}},
      {&corvanta::ovra::ssl_executor::Flags::cert_file,
       "Failed to copy certificate: ",
       {"ca.crt"}},
      {&corvanta::ovra::ssl_executor::Flags::key_file,
       "Failed to copy private key: ",
       {"agent.crt", "ca.crt"}},
  };

  for (const auto& test : cases) {
    TemporaryDirectory sandbox;
    corvanta::ovra::ssl_executor::Flags flags = flags_;
    flags.*test.file = missing;

    Try<Nothing> copied = copySSLAssets(flags, sandbox.path());
    ASSERT_TRUE(copied.isError()) << test.prefix;
    EXPECT_EQ(
        test.prefix + "Source file '" + missing + "' not found",
        copied.error());
    EXPECT_EQ(test.left, entries(sandbox.path() + "/.ssl")) << test.prefix;
    EXPECT_TRUE(exists(sandbox.path() + "/.ssl"));
  }
}


TEST_F(AssetsTest, TwoSourcesSharingANameLeaveTheLaterCopy)
{
  ASSERT_EQ(0, ::mkdir((agent_ + "/other").c_str(), 0755));
  flags_.ca_file = file(agent_ + "/same.pem", "the CA", 0644);
  flags_.cert_file = file(agent_ + "/other/same.pem", "the certificate", 0644);

  ASSERT_TRUE(copySSLAssets(flags_, sandbox_).isSome());

  EXPECT_EQ(
      (std::vector<std::string>{"agent.key", "same.pem"}), entries(folder()));
  EXPECT_EQ("the certificate", read(folder() + "/same.pem"));
}


TEST_F(AssetsTest, SourcesThatAreNotSmallRegularFilesAreRefused)
{
  const std::string fifo = agent_ + "/fifo.pem";
  ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0644));
  const std::string huge =
      file(agent_ + "/huge.pem", std::string(MAX_ASSET_SIZE + 1, 'x'), 0644);
  const std::string largest =
      file(agent_ + "/largest.pem", std::string(MAX_ASSET_SIZE, 'x'), 0644);

  const struct
  {
    std::string source;
    std::string reason; // empty: copied
  } cases[] = {
      {fifo, "Source file '" + fifo + "' is not a regular file"},
      {agent_, "Source file '" + agent_ + "' is not a regular file"},
      {huge, "Source file '" + huge + "' is larger than 1048576 bytes"},
      {largest, ""},
  };

  for (const auto& test : cases) {
    flags_.ca_file = test.source;
    Try<Nothing> copied = copySSLAssets(flags_, sandbox_);
    if (test.reason.empty()) {
      EXPECT_TRUE(copied.isSome()) << test.source;
      continue;
    }
    ASSERT_TRUE(copied.isError()) << test.source;
    const std::string destination =
        folder() + "/" + Path(test.source).basename();
    EXPECT_EQ(
        "Failed to copy CA certificate: Failed to copy file '" + test.source +
            "' to '" + destination + "': " + test.reason,
        copied.error());
  }
}


TEST_F(AssetsTest, SymbolicLinkAsTheFolderIsRefusedAndNothingLeaves)
{
  ASSERT_EQ(0, ::chmod(outside_.c_str(), 0700));
  ASSERT_EQ(0, ::symlink(outside_.c_str(), folder().c_str()));

  Try<Nothing> copied = copySSLAssets(flags_, sandbox_);
  ASSERT_TRUE(copied.isError());
  EXPECT_EQ(
      "Failed to create SSL asset sandbox subfolder '" + folder() + "': '" +
          folder() + "' is a symbolic link",
      copied.error());

  EXPECT_TRUE(entries(outside_).empty());
  EXPECT_EQ(static_cast<mode_t>(S_IFDIR | 0700), lstatOf(outside_).st_mode);

  // Nor through the one-file copy, nor a subfolder leading out.
  Try<std::string> one = copySSLAssetToSandbox(flags_.ca_file, folder());
  ASSERT_TRUE(one.isError());
  EXPECT_EQ("Asset folder '" + folder() + "' is a symbolic link", one.error());

  flags_.sandbox_subfolder = "../outside";
  copied = copySSLAssets(flags_, sandbox_);
  ASSERT_TRUE(copied.isError());
  EXPECT_EQ(
      "Failed to create SSL asset sandbox subfolder '" + sandbox_ +
          "/../outside': '..' would lead out of the sandbox",
      copied.error());
  EXPECT_TRUE(entries(outside_).empty());
}


TEST_F(AssetsTest, LinksInsideTheFolderNeverLeadOut)
{
  ASSERT_EQ(0, ::mkdir(folder().c_str(), 0755));
  const std::string victim = file(outside_ + "/victim", "keep", 0644);

  // A symbolic link as a destination, to a file or to nowhere yet.
  for (const std::string& target : {victim, outside_ + "/new"}) {
    const std::string link = folder() + "/agent.key";
    ::unlink(link.c_str());
    ASSERT_EQ(0, ::symlink(target.c_str(), link.c_str()));

    Try<Nothing> copied = copySSLAssets(flags_, sandbox_);
    ASSERT_TRUE(copied.isError()) << target;
    EXPECT_EQ(
        "Failed to copy private key: Failed to copy file '" + flags_.key_file +
            "' to '" + link + "': '" + link + "' is a symbolic link",
        copied.error());
  }
  EXPECT_EQ(std::vector<std::string>{"victim"}, entries(outside_));
  EXPECT_EQ("keep", read(victim));

  // A hard link is replaced, not written through.
  ::unlink((folder() + "/agent.key").c_str());
  ::unlink((folder() + "/ca.crt").c_str());
  ASSERT_EQ(0, ::link(victim.c_str(), (folder() + "/ca.crt").c_str()));
  ASSERT_TRUE(copySSLAssets(flags_, sandbox_).isSome());
  EXPECT_EQ("keep", read(victim));
  EXPECT_EQ(1u, lstatOf(victim).st_nlink);
  EXPECT_EQ("the CA", read(folder() + "/ca.crt"));
}


TEST_F(AssetsTest, PathsWithQuotesAreCopiedAndRunNothing)
{
  // Through a shell, either path would run `touch "$OVRA_PWNED"`.
  const std::string pwned = directory_.path() + "/pwned";
  ScopedEnvironment environment;
  environment.set("OVRA_PWNED", pwned);

  const std::string sandbox =
      directory_.path() + "/sand'; touch \"$OVRA_PWNED\"; echo 'box";
  ASSERT_EQ(0, ::mkdir(sandbox.c_str(), 0755));
  flags_.key_file = file(
      agent_ + "/it's'; touch \"$OVRA_PWNED\"; echo '.key", "the key", 0600);

  ASSERT_TRUE(copySSLAssets(flags_, sandbox).isSome());

  EXPECT_EQ(
      "the key",
      read(sandbox + "/.ssl/it's'; touch \"$OVRA_PWNED\"; echo '.key"));
  EXPECT_FALSE(exists(pwned));
}


TEST_F(AssetsTest, OneFileCopyNeedsItsSourceAndFolder)
{
  Try<std::string> copied =
      copySSLAssetToSandbox(agent_ + "/missing", sandbox_);
  ASSERT_TRUE(copied.isError());
  EXPECT_EQ("Source file '" + agent_ + "/missing' not found", copied.error());

  copied = copySSLAssetToSandbox(flags_.ca_file, sandbox_ + "/none");
  ASSERT_TRUE(copied.isError());
  EXPECT_EQ("Asset folder '" + sandbox_ + "/none' not found", copied.error());

  copied = copySSLAssetToSandbox(flags_.ca_file, sandbox_);
  ASSERT_TRUE(copied.isSome()) << copied.error();
  EXPECT_EQ(sandbox_ + "/ca.crt", copied.get());
  EXPECT_EQ("the CA", read(copied.get()));
}
