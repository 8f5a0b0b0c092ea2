// Private-profile INI functions against the Windows rules.
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <string>
#include <thread>

#include "platform/Profile.h"
#include "tests/support/TestSupport.h"

namespace {

using orvtest::ReadFile;
using orvtest::WriteFile;

std::string Get(const std::string& sec, const std::string& key, const std::string& file,
                const std::string& def = "<def>", std::size_t size = 1000) {
  return plat::GetPrivateProfileString(sec, key, def, file, size);
}

class ProfileTest : public ::testing::Test {
 protected:
  orvtest::TempDir m_dir;
  std::string m_file = m_dir.File("config.ini");
};

TEST_F(ProfileTest, ReadFollowsWindowsLookupRules) {
  WriteFile(m_file,
            "; leading comment\r\n"
            "[Server]\r\n"
            "  ListenPortNum =  81  \r\n"
            "ListenIpAddr=first\r\n"
            "listenipaddr=second\r\n"
            "Quoted=\"  spaced  \"\r\n"
            "Single='x'\r\n"
            "Mismatch=\"x'\r\n"
            "Bare\r\n"
            ";Commented=yes\r\n"
            "Empty=\r\n"
            "[ VPN ] trailing text\r\n"
            "Telcom=t1\r\n"
            "[server]\r\n"
            "Other=in duplicate section\r\n");
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"server", "LISTENPORTNUM", "81"},      // case and blanks
      {" Server ", " ListenPortNum ", "81"},  // blanks around the asked names
      {"Server", "ListenIpAddr", "first"},    // first key wins
      {"Server", "Quoted", "  spaced  "},     // quotes stripped, inner blanks kept
      {"Server", "Single", "x"},
      {"Server", "Mismatch", "\"x'"},
      {"Server", "Bare", ""},  // a line without '=' is a key
      {"Server", "Commented", "<def>"},
      {"Server", ";Commented", "<def>"},
      {"Server", "Empty", ""},
      {"vpn", "telcom", "t1"},
      {"Server", "Other", "<def>"},   // only the first section is searched
      {"Server", "Telcom", "<def>"},  // keys do not leak across sections
      {"Missing", "x", "<def>"},
      {"Server", "", "<def>"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Get(c.section, c.key, m_file), c.expected) << c.section << "/" << c.key;
  EXPECT_EQ(Get("Server", "x", m_dir.File("absent.ini"), "dflt  "), "dflt");
}

TEST_F(ProfileTest, BufferSizeCutsValueAndDefault) {
  WriteFile(m_file, "[S]\nv=abcdef\ngbk=\xC4\xE3\xBA\xC3\n");
  EXPECT_EQ(Get("S", "v", m_file, "", 4), "abc");
  EXPECT_EQ(Get("S", "v", m_file, "", 7), "abcdef");
  EXPECT_EQ(Get("S", "v", m_file, "", 1), "");
  EXPECT_EQ(Get("S", "v", m_file, "", 0), "");
  EXPECT_EQ(Get("S", "none", m_file, "default", 4), "def");
  // A cut never leaves half of a double-byte character behind.
  EXPECT_EQ(Get("S", "gbk", m_file, "", 4), "\xC4\xE3");
  EXPECT_EQ(Get("S", "gbk", m_file, "", 5), "\xC4\xE3\xBA\xC3");
}

TEST_F(ProfileTest, IntegersParseLikeWindows) {
  WriteFile(m_file,
            "[Server]\nport=81\nneg=-5\nplus=+7\nsuffix=12abc\nword=abc\nhex=0x10\n"
            "quoted=\"42\"\nempty=\nzero=0\n");
  struct Case {
    const char* key;
    int expected;
  } cases[] = {{"port", 81}, {"neg", -5},    {"plus", 7},   {"suffix", 12}, {"word", 0},
               {"hex", 0},   {"quoted", 42}, {"empty", 99}, {"zero", 0},    {"missing", 99}};
  for (const Case& c : cases)
    EXPECT_EQ(plat::GetPrivateProfileInt("server", c.key, 99, m_file), c.expected) << c.key;
}

TEST_F(ProfileTest, WriteKeepsOtherLinesAndLineEnds) {
  WriteFile(m_file, "; head\n[A]\nx=1\n; note\n\n[B]\ny=2\n");
  ASSERT_TRUE(plat::WritePrivateProfileString("a", "z", "3", m_file));
  EXPECT_EQ(ReadFile(m_file), "; head\n[A]\nx=1\n; note\nz=3\n\n[B]\ny=2\n");
  ASSERT_TRUE(plat::WritePrivateProfileString("A", "X", "9", m_file));
  EXPECT_EQ(ReadFile(m_file), "; head\n[A]\nx=9\n; note\nz=3\n\n[B]\ny=2\n");
  ASSERT_TRUE(plat::WritePrivateProfileString("C", "k", "v", m_file));
  EXPECT_EQ(ReadFile(m_file), "; head\n[A]\nx=9\n; note\nz=3\n\n[B]\ny=2\n[C]\nk=v\n");
  ASSERT_TRUE(plat::DeletePrivateProfileKey("b", "Y", m_file));
  EXPECT_EQ(ReadFile(m_file), "; head\n[A]\nx=9\n; note\nz=3\n\n[B]\n[C]\nk=v\n");
  // Deleting what is not there succeeds and changes nothing.
  EXPECT_TRUE(plat::DeletePrivateProfileKey("B", "y", m_file));
  EXPECT_TRUE(plat::DeletePrivateProfileKey("B", "y", m_dir.File("absent.ini")));
  EXPECT_EQ(ReadFile(m_file), "; head\n[A]\nx=9\n; note\nz=3\n\n[B]\n[C]\nk=v\n");
}

TEST_F(ProfileTest, NewFilesUseCrlfAndUnterminatedLastLineIsClosed) {
  ASSERT_TRUE(plat::WritePrivateProfileString("Server", "ListenPortNum", "81", m_file));
  EXPECT_EQ(ReadFile(m_file), "[Server]\r\nListenPortNum=81\r\n");

  std::string other = m_dir.File("open.ini");
  WriteFile(other, "[A]\r\nx=1");
  ASSERT_TRUE(plat::WritePrivateProfileString("A", "y", "2", other));
  EXPECT_EQ(ReadFile(other), "[A]\r\nx=1\r\ny=2\r\n");

  // A byte-order mark before the first header does not hide the section.
  std::string marked = m_dir.File("bom.ini");
  WriteFile(marked, "\xEF\xBB\xBF[A]\nx=1\n");
  EXPECT_EQ(Get("a", "x", marked), "1");
  ASSERT_TRUE(plat::WritePrivateProfileString("A", "x", "2", marked));
  EXPECT_EQ(ReadFile(marked), "\xEF\xBB\xBF[A]\nx=2\n");
}

TEST_F(ProfileTest, BytesPassThroughUnchanged) {
  const std::string gbk = "\xD6\xD0\xCE\xC4 \\n \x80\xFF";  // GBK text, a literal \n, odd bytes
  ASSERT_TRUE(plat::WritePrivateProfileString("\xC9\xE8\xD6\xC3", "k", gbk, m_file));
  EXPECT_EQ(Get("\xC9\xE8\xD6\xC3", "k", m_file), gbk);
}

TEST_F(ProfileTest, WriteFailsWithoutChangingAnything) {
  EXPECT_FALSE(plat::WritePrivateProfileString("S", "k", "v", m_dir.File("missing/x.ini")));
  struct stat st;
  EXPECT_NE(stat(m_dir.File("missing").c_str(), &st), 0);

  // A line break in a value or a bracket in a name would plant other entries in the file.
  WriteFile(m_file, "[S]\r\nk=1\r\n");
  EXPECT_FALSE(plat::WritePrivateProfileString("S", "k", "x\r\n[Evil]\r\nk=2", m_file));
  EXPECT_FALSE(plat::WritePrivateProfileString("S]x", "k", "v", m_file));
  EXPECT_FALSE(plat::WritePrivateProfileString("S", "a=b", "v", m_file));
  EXPECT_FALSE(plat::WritePrivateProfileString("S", "", "v", m_file));
  EXPECT_EQ(ReadFile(m_file), "[S]\r\nk=1\r\n");
}

#ifndef _WIN32  // POSIX file modes
TEST_F(ProfileTest, RewriteKeepsFileModeAndRespectsReadOnly) {
  WriteFile(m_file, "[S]\nk=1\n");
  chmod(m_file.c_str(), 0640);
  ASSERT_TRUE(plat::WritePrivateProfileString("S", "k", "2", m_file));
  struct stat st;
  ASSERT_EQ(stat(m_file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  if (geteuid() != 0) {
    chmod(m_file.c_str(), 0444);
    EXPECT_FALSE(plat::WritePrivateProfileString("S", "k", "3", m_file));
    EXPECT_EQ(Get("S", "k", m_file), "2");
  }
  // No temporary file is left beside it.
  std::string out;
  orvtest::RunCommand({"ls", "-A", m_dir.Path()}, &out);
  EXPECT_EQ(out, "config.ini\n");
}
#endif

TEST_F(ProfileTest, ConcurrentWritersLoseNoKeyAndReadersSeeWholeFiles) {
  ASSERT_TRUE(plat::WritePrivateProfileString("Fixed", "sentinel", "yes", m_file));
  constexpr int kKeys = 40;
  auto writeKeys = [this](const std::string& prefix) {
    for (int i = 0; i < kKeys; ++i)
      if (!plat::WritePrivateProfileString("Shared", prefix + std::to_string(i), "v", m_file))
        return false;
    return true;
  };
  std::atomic<bool> done{false};
  std::atomic<int> tornReads{0};
  std::thread reader([&] {
    while (!done)
      if (Get("Fixed", "sentinel", m_file) != "yes") ++tornReads;
  });
#ifdef _WIN32
  // No fork there: the third writer is a thread (writers meet on the same named lock).
  std::thread proc([&] { EXPECT_TRUE(writeKeys("proc")); });
#else
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(writeKeys("proc") ? 0 : 1);
#endif
  std::thread other([&] { EXPECT_TRUE(writeKeys("thread")); });
  EXPECT_TRUE(writeKeys("main"));
  other.join();
#ifdef _WIN32
  proc.join();
  done = true;
  reader.join();
#else
  int status = 0;
  waitpid(child, &status, 0);
  done = true;
  reader.join();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
  EXPECT_EQ(tornReads.load(), 0);
  for (const char* prefix : {"proc", "thread", "main"})
    for (int i = 0; i < kKeys; ++i)
      EXPECT_EQ(Get("Shared", prefix + std::to_string(i), m_file), "v") << prefix << i;
}

}  // namespace
