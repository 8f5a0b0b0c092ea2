#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <string>
#include <thread>

#include "client/account/CCredentialStore.h"
#include "client/account/PasswordScrambler.h"
#include "client/base/CIniFile.h"
#include "tests/support/TestSupport.h"

namespace {

class CredentialStoreTest : public ::testing::Test {
 protected:
  std::string RawFile() const { return orvtest::ReadFile(m_dir.Path() + "/user/user.cfg"); }
  static std::string Stored(const std::string& key) {
    return CIniFile(CCredentialStore::kFileName).ReadString(CCredentialStore::kSection, key);
  }
  static void Put(const std::string& key, const std::string& value) {
    ASSERT_TRUE(
        CIniFile(CCredentialStore::kFileName).WriteString(CCredentialStore::kSection, key, value));
  }

  orvtest::TempProgramDir m_dir;
};

TEST_F(CredentialStoreTest, StoresInTheUserFolderAndReadsBack) {
  struct Case {
    std::string user, password;
    bool remember;
  };
  for (const Case& c : {Case{"demo", "demo123", true}, Case{"张会计", "kj2026", false},
                        Case{"出纳", "密码&<x>", true}, Case{"", "", false}}) {
    SCOPED_TRACE(c.user + " / " + c.password);
    ASSERT_TRUE(CCredentialStore::Store(c.user, c.password, c.remember));
    const StoredCredentials read = CCredentialStore::Read();
    EXPECT_TRUE(read.usable);
    EXPECT_EQ(read.userName, c.user);
    EXPECT_EQ(read.password, c.remember ? c.password : "");
    EXPECT_EQ(read.rememberPassword, c.remember ? 1 : 0);
    EXPECT_EQ(Stored("Password").find(c.password.empty() ? "\x01" : c.password), std::string::npos)
        << "the password is never stored in clear";
  }
  // The file holds the user name as GBK bytes under [UserCfg].
  CCredentialStore::Store("张会计", "x", false);
  const std::string raw = RawFile();
  EXPECT_NE(raw.find("[UserCfg]"), std::string::npos);
  EXPECT_NE(raw.find("UserName=\xD5\xC5\xBB\xE1\xBC\xC6"), std::string::npos) << raw;
}

TEST_F(CredentialStoreTest, EmptyPasswordIsTheLengthGroupAndANoiseTail) {
  CCredentialStore::Store("demo", "", true);
  const std::string stored = Stored("Password");
  ASSERT_GE(stored.size(), 8u);
  EXPECT_EQ(stored.substr(0, 8), "00000000");
  EXPECT_EQ(stored.size() % 2, 0u);
  EXPECT_TRUE(CCredentialStore::Read().usable);
}

TEST_F(CredentialStoreTest, ThePasswordIsKeptOnlyWhileRemembered) {
  for (const bool remember : {true, false, true, false}) {
    SCOPED_TRACE(remember);
    CCredentialStore::Store("demo", "demo123", remember);
    EXPECT_EQ(Stored("IfRememberPwd"), remember ? "1" : "0");
    EXPECT_EQ(Stored("UserName"), "demo");
    std::string stored;
    ASSERT_TRUE(UnscramblePassword(Stored("Password"), stored));
    EXPECT_EQ(stored, remember ? "demo123" : "");
  }
}

TEST_F(CredentialStoreTest, MissingOrBrokenPasswordIsNotUsable) {
  EXPECT_FALSE(CCredentialStore::Read().usable) << "no file at all";

  CCredentialStore::Store("demo", "demo123", true);
  for (const std::string broken : {"", "1234567", "NOTHEX!!", "3A0007C4"}) {
    SCOPED_TRACE(broken);
    Put("Password", broken);
    const StoredCredentials read = CCredentialStore::Read();
    EXPECT_FALSE(read.usable);
    EXPECT_TRUE(read.userName.empty()) << "nothing else is returned";
    EXPECT_TRUE(read.password.empty());
    EXPECT_EQ(read.rememberPassword, 0);
  }
}

TEST_F(CredentialStoreTest, RememberFlagIsReadAsADecimalNumber) {
  CCredentialStore::Store("demo", "demo123", true);
  for (const auto& [text, value] : std::initializer_list<std::pair<const char*, int>>{
           {"1", 1}, {"0", 0}, {"yes", 0}, {"", 0}, {"2", 2}, {"1x", 1}}) {
    Put("IfRememberPwd", text);
    EXPECT_EQ(CCredentialStore::Read().rememberPassword, value) << text;
  }
}

TEST_F(CredentialStoreTest, PasswordsUpTo61GbkBytesSurviveTheIniReadLimit) {
  // 8 + 16 * 61 = 984 characters fit the 999 the INI read returns; 8 + 16 * 62 = 1000 do not.
  std::string han30, han31;
  for (int i = 0; i < 30; ++i) han30 += "税";  // two GBK bytes each
  han31 = han30 + "税";
  struct Case {
    std::string password;
    bool usable;
  };
  for (const Case& c :
       {Case{std::string(61, 'a'), true}, Case{std::string(62, 'a'), false},
        Case{std::string(80, 'a'), false}, Case{han30 + "a", true}, Case{han31, false}}) {
    SCOPED_TRACE(c.password.size());
    for (int i = 0; i < 5; ++i) {  // whatever the noise tail's length
      CCredentialStore::Store("demo", c.password, true);
      const StoredCredentials read = CCredentialStore::Read();
      ASSERT_EQ(read.usable, c.usable);
      if (c.usable) {
        EXPECT_EQ(read.password, c.password);
      }
    }
  }
}

TEST_F(CredentialStoreTest, ConcurrentLoginsNeverMixOneUsersNameWithAnothersPassword) {
  std::atomic<bool> stop{false};
  auto writer = [&](const char* user, const char* password) {
    while (!stop) CCredentialStore::Store(user, password, true);
  };
  std::thread a(writer, "alice", "alice-secret");
  std::thread b(writer, "bob", "bob-secret");
  int mixed = 0, reads = 0;
  for (; reads < 300; ++reads) {
    const StoredCredentials c = CCredentialStore::Read();
    if (!c.usable) continue;
    if (!(c.userName == "alice" && c.password == "alice-secret") &&
        !(c.userName == "bob" && c.password == "bob-secret"))
      ++mixed;
  }
  stop = true;
  a.join();
  b.join();
  EXPECT_EQ(mixed, 0) << "of " << reads << " reads";
}

#ifndef _WIN32  // POSIX modes; on Windows the folder's access list decides
TEST_F(CredentialStoreTest, UserCfgIsReadableByItsOwnerOnly) {
  struct stat st {};
  ASSERT_TRUE(CCredentialStore::Store("demo", "demo123", true));
  ASSERT_EQ(stat((m_dir.Path() + "/user/user.cfg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // A file an older release left readable by everyone is narrowed by the next store.
  ASSERT_EQ(chmod((m_dir.Path() + "/user/user.cfg").c_str(), 0644), 0);
  ASSERT_TRUE(CCredentialStore::Store("demo", "demo123", true));
  ASSERT_EQ(stat((m_dir.Path() + "/user/user.cfg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}
#endif

}  // namespace
