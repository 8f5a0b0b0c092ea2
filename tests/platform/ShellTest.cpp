#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/LinkGate.h"
#include "platform/ProgramDir.h"
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

// A stand-in desktop: xdg-open in PATH records each argument list it is given.
class FakeOpener {
 public:
  FakeOpener() : m_path("PATH", m_dir.Path() + ":/usr/bin:/bin") {
    const std::string opener = m_dir.File("xdg-open");
    orvtest::WriteFile(
        opener, "#!/bin/sh\nprintf '%s|' \"$@\" >> \"" + Log() + "\"\necho >> \"" + Log() + "\"\n");
    ::chmod(opener.c_str(), 0755);
  }
  std::string Log() const { return m_dir.File("opened"); }
  // The argument lines recorded so far, after waiting briefly for an expected one.
  std::string Opened(bool expectOne) const {
    if (expectOne) orvtest::WaitUntil([&] { return !orvtest::ReadFile(Log()).empty(); });
    return orvtest::ReadFile(Log());
  }

 private:
  orvtest::TempDir m_dir;
  orvtest::ScopedEnv m_path;
};

TEST(LinkGate, OnlyPlainWebLinksReachTheDesktop) {
  struct Case {
    std::string url;
    plat::LinkVerdict verdict;
  };
  const Case cases[] = {
      {"https://example.com/a?b=c&d=%20e#f", plat::LinkVerdict::Allowed},
      {"HTTP://127.0.0.1:8080", plat::LinkVerdict::Allowed},
      {"http://user@host/", plat::LinkVerdict::Allowed},
      {"file:///etc/passwd", plat::LinkVerdict::NotWeb},
      {"/usr/bin/xterm", plat::LinkVerdict::NotWeb},
      {"smb://127.0.0.1/share", plat::LinkVerdict::NotWeb},
      {"http://a\n--new-window", plat::LinkVerdict::BadCharacter},
      {"--help", plat::LinkVerdict::NotWeb},
      {"javascript:alert(1)", plat::LinkVerdict::NotWeb},
      {"http:/host/x", plat::LinkVerdict::NotWeb},
      {"https://", plat::LinkVerdict::NotWeb},
      {"http://:80/x", plat::LinkVerdict::NotWeb},
      {"https://a b", plat::LinkVerdict::BadCharacter},
      {"https://a\tb", plat::LinkVerdict::BadCharacter},
      {"https://\xE4\xB8\xAD.cn", plat::LinkVerdict::BadCharacter},
      {"http://a\\b", plat::LinkVerdict::BadCharacter},
      {"", plat::LinkVerdict::Empty},
      {"https://h/" + std::string(plat::kMaxLinkLength, 'x'), plat::LinkVerdict::TooLong},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(plat::CheckLink(c.url), c.verdict) << c.url;
    FakeOpener desktop;
    const bool allowed = c.verdict == plat::LinkVerdict::Allowed;
    EXPECT_EQ(plat::OpenUrlInBrowser(c.url), allowed) << c.url;
    EXPECT_EQ(desktop.Opened(allowed), allowed ? c.url + "|\n" : "") << c.url;
  }
}

TEST(ShellOpen, RunsOnlyProgramsAndNeverHandsAFileToTheDesktop) {
  orvtest::TempDir dir;
  FakeOpener desktop;
  // Not ELF and no "#!": refused even with the run bit, which would let exec pick a shell.
  for (const char* content : {"echo hello\n", "%PDF-1.4\n", ""}) {
    for (mode_t mode : {0644, 0755}) {
      const std::string file = dir.File("setup.bin");
      orvtest::WriteFile(file, content);
      ASSERT_EQ(chmod(file.c_str(), mode), 0);
      EXPECT_FALSE(plat::ShellOpen(file, "/silent")) << content << mode;
    }
  }
  EXPECT_FALSE(plat::ShellOpen(""));
  EXPECT_FALSE(plat::ShellOpen(dir.Path()));
  EXPECT_EQ(desktop.Opened(false), "");
}

TEST(ShellOpenPrivately, TheKeyReachesTheBrowserOnlyThroughAnOwnerOnlyPage) {
  orvtest::TempDir runtime;
  orvtest::ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.Path());
  FakeOpener desktop;
  const std::string url = "http://127.0.0.1:1/index.html?page=share.html?cookiekey=SECRET&appid=7";
  EXPECT_FALSE(plat::OpenUrlThroughPrivatePage("file:///etc/passwd?cookiekey=SECRET"));
  ASSERT_TRUE(plat::OpenUrlThroughPrivatePage(url, 2));

  const std::string opened = desktop.Opened(true);
  EXPECT_EQ(opened.find("SECRET"), std::string::npos) << opened;
  const std::string prefix = "file://" + runtime.Path() + "/orvanta-page-";
  ASSERT_EQ(opened.rfind(prefix, 0), 0u) << opened;
  const std::string page = opened.substr(7, opened.find('|') - 7);
  struct stat st {};
  ASSERT_EQ(stat(page.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // The page names the URL exactly (HTML-escaped: "&" as "&amp;").
  const std::string escaped =
      "http://127.0.0.1:1/index.html?page=share.html?cookiekey=SECRET&amp;appid=7";
  EXPECT_NE(orvtest::ReadFile(page).find("content=\"0;url=" + escaped + "\""), std::string::npos);
  EXPECT_TRUE(orvtest::WaitUntil([&] { return !plat::FileExists(page); }));
}

}  // namespace
