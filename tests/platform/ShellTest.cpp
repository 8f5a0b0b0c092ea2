#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/Shell.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(ShellRunAndWait, ReturnsTheExitCodeOrMinusOne) {
  EXPECT_EQ(plat::RunAndWait("/bin/sh", {"-c", "exit 0"}), 0);
  EXPECT_EQ(plat::RunAndWait("/bin/sh", {"-c", "exit 7"}), 7);
  // Searched in PATH when the name has no folder.
  EXPECT_EQ(plat::RunAndWait("sh", {"-c", "exit 3"}), 3);
  // Not started, and killed by a signal: no exit code to report.
  EXPECT_EQ(plat::RunAndWait("/nonexistent/program", {}), -1);
  EXPECT_EQ(plat::RunAndWait("/bin/sh", {"-c", "kill -9 $$"}), -1);
  EXPECT_EQ(plat::RunAndWait("", {}), -1);
}

TEST(ShellRunAndWait, PassesArgumentsUnchanged) {
  orvtest::TempDir dir;
  std::string out = dir.File("args");
  ASSERT_EQ(
      plat::RunAndWait("/bin/sh", {"-c", "printf '%s|' \"$@\" > \"$0\"", out, "a b", "", "\"q\""}),
      0);
  EXPECT_EQ(orvtest::ReadFile(out), "a b||\"q\"|");
}

TEST(ShellSplitParameters, BlanksSeparateAndQuotesGroup) {
  struct Case {
    std::string text;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"", {}},
      {"   ", {}},
      {"/silent", {"/silent"}},
      {"/VERYSILENT /SUPPRESSMSGBOXES", {"/VERYSILENT", "/SUPPRESSMSGBOXES"}},
      {"  a \t b  ", {"a", "b"}},
      {"\"C:\\Program Files\\x.exe\" /S", {"C:\\Program Files\\x.exe", "/S"}},
      {"pre\"fix mid\"post", {"prefix midpost"}},
      {"\"\" x", {"", "x"}},
      {"\"unterminated quote", {"unterminated quote"}},
  };
  for (const auto& c : cases) EXPECT_EQ(plat::SplitParameters(c.text), c.args) << c.text;
}

TEST(ShellOpen, StartsADownloadedScriptAfterSettingItsRunBit) {
  orvtest::TempDir dir;
  std::string script = dir.File("setup.sh");
  std::string out = dir.File("ran");
  orvtest::WriteFile(script, "#!/bin/sh\nprintf '%s;' \"$@\" > \"" + out + ".tmp\"\nmv \"" + out +
                                 ".tmp\" \"" + out + "\"\n");
  ASSERT_EQ(chmod(script.c_str(), 0644), 0);

  ASSERT_TRUE(plat::ShellOpen(script, "/silent \"two words\""));
  ASSERT_TRUE(orvtest::WaitUntil([&] { return orvtest::ReadFile(out) != ""; }));
  EXPECT_EQ(orvtest::ReadFile(out), "/silent;two words;");
  struct stat st {};
  ASSERT_EQ(stat(script.c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
}

TEST(ShellOpen, RefusesEmptyNamesAndUrlsThatLookLikeOptions) {
  EXPECT_FALSE(plat::ShellOpen(""));
  EXPECT_FALSE(plat::OpenUrlInBrowser(""));
  EXPECT_FALSE(plat::OpenUrlInBrowser("--help"));
}

}  // namespace
