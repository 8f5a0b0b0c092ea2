#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace {

const std::string kCli = orvtest::Program("orvanta-cli");

TEST(OrvantaCli, VersionPrintsTheOwnVersionAsJson) {
  std::string out, err;
  ASSERT_EQ(orvtest::RunCommand({kCli, "version"}, &out, &err), 0) << err;
  EXPECT_EQ(orvtest::Lf(out), std::string("{\"version\":\"") + ORV_TEST_VERSION + "\"}\n");
  EXPECT_EQ(orvtest::RunCommand({kCli, "version", "extra"}, &out, &err), 2);
}

TEST(OrvantaCli, HelpListsTheCommandsAndUnknownCommandsAreUsageErrors) {
  std::string out, err;
  ASSERT_EQ(orvtest::RunCommand({kCli, "--help"}, &out, &err), 0) << err;
  EXPECT_NE(out.find("usage: orvanta-cli"), std::string::npos) << out;
  EXPECT_NE(orvtest::Lf(out).find("  version\n"), std::string::npos) << out;
  EXPECT_EQ(orvtest::RunCommand({kCli, "no-such-command"}, &out, &err), 2);
  EXPECT_NE(err.find("unknown command: no-such-command"), std::string::npos) << err;
  // Without a command the help is a usage error: on stderr, nothing on stdout.
  EXPECT_EQ(orvtest::RunCommand({kCli}, &out, &err), 2);
  EXPECT_EQ(out, "");
  EXPECT_NE(err.find("usage: orvanta-cli"), std::string::npos) << err;
}

}  // namespace
