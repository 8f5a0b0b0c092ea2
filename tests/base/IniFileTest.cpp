#include <gtest/gtest.h>

#include "client/base/CIniFile.h"
#include "client/base/PushSettings.h"
#include "client/base/ServerConfig.h"
#include "platform/ProgramDir.h"
#include "tests/support/TestSupport.h"

namespace {

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override { plat::MakeDirectories(m_dir.Path() + "/image"); }
  std::string ConfigPath() const { return m_dir.Path() + "/image/config.ini"; }

  orvtest::TempProgramDir m_dir;
};

TEST_F(IniFileTest, NamesTheFileUnderTheProgramDirectory) {
  CIniFile ini("\\image\\config.ini");
  EXPECT_EQ(ini.NativePath(), ConfigPath());
  EXPECT_EQ(CIniFile::ProgramDirectory(), m_dir.Path());
}

TEST_F(IniFileTest, ChineseTextIsStoredAsGbk) {
  CIniFile ini("\\image\\config.ini");
  ASSERT_TRUE(ini.WriteString("服务", "名称", "财务软件"));
  EXPECT_EQ(ini.ReadString("服务", "名称"), "财务软件");
  // "财务软件" in GBK, under a GBK section name.
  std::string raw = orvtest::ReadFile(ConfigPath());
  EXPECT_NE(raw.find("\xB2\xC6\xCE\xF1\xC8\xED\xBC\xFE"), std::string::npos) << raw;
  EXPECT_NE(raw.find("[\xB7\xFE\xCE\xF1]"), std::string::npos) << raw;
}

TEST_F(IniFileTest, BackslashNReadsAsALineBreak) {
  orvtest::WriteFile(ConfigPath(),
                     "[Text]\nNotice=line one\\nline two\\n\\\\n end\nPath=C:\\new\n");
  CIniFile ini("\\image\\config.ini");
  EXPECT_EQ(ini.ReadString("Text", "Notice"), "line one\nline two\n\\\n end");
  EXPECT_EQ(ini.ReadString("Text", "Path"), "C:\new");
}

TEST_F(IniFileTest, BackslashInsideAGbkCharacterIsNotALineBreak) {
  // "昞" is 0x95 0x5C in GBK: its second byte is a backslash; followed by 'n' it must
  // survive as the character and the letter.
  orvtest::WriteFile(ConfigPath(), "[Text]\nName=\x95\x5Cn\n");
  EXPECT_EQ(CIniFile("\\image\\config.ini").ReadString("Text", "Name"), "昞n");
}

TEST_F(IniFileTest, WrittenLineBreaksStayInOneValue) {
  CIniFile ini("\\image\\config.ini");
  ASSERT_TRUE(ini.WriteString("Text", "Notice", "first\nInjected=1\r\nthird"));
  EXPECT_EQ(ini.ReadString("Text", "Injected"), "");
  EXPECT_EQ(ini.ReadString("Text", "Notice"), "first\nInjected=1\nthird");
}

TEST_F(IniFileTest, ReadsAreLimitedTo999GbkBytes) {
  CIniFile ini("\\image\\config.ini");
  ASSERT_TRUE(ini.WriteString("Long", "Ascii", std::string(1500, 'x')));
  EXPECT_EQ(ini.ReadString("Long", "Ascii"), std::string(1500, 'x').substr(0, 999));

  // 600 Chinese characters are 1200 GBK bytes: the cut keeps 499 whole characters and
  // never leaves half a character behind.
  std::string chinese;
  for (int i = 0; i < 600; ++i) chinese += "税";
  ASSERT_TRUE(ini.WriteString("Long", "Chinese", chinese));
  std::string read = ini.ReadString("Long", "Chinese");
  std::string expected;
  for (int i = 0; i < 499; ++i) expected += "税";
  EXPECT_EQ(read, expected);
}

TEST_F(IniFileTest, MissingKeysGiveEmptyAndZero) {
  CIniFile ini("\\image\\config.ini");
  EXPECT_EQ(ini.ReadString("Server", "ListenIpAddr"), "");
  EXPECT_EQ(ini.ReadInt("Server", "ListenPortNum"), 0);
  ASSERT_TRUE(ini.WriteString("Server", "ListenPortNum", "8123"));
  EXPECT_EQ(ini.ReadInt("Server", "ListenPortNum"), 8123);
}

TEST_F(IniFileTest, WriteIntoAMissingFolderFailsAndCreatesNothing) {
  CIniFile ini("\\nofolder\\settings.ini");
  EXPECT_FALSE(ini.WriteString("A", "B", "C"));
  EXPECT_FALSE(plat::FileExists(m_dir.Path() + "/nofolder"));
}

TEST_F(IniFileTest, ListenPortMissingOrZeroBecomes81AndIsWrittenBack) {
  ASSERT_FALSE(plat::FileExists(ConfigPath()));
  EXPECT_EQ(GetPushListenPort(), 81);
  EXPECT_EQ(CIniFile("\\image\\config.ini").ReadString("Server", "ListenPortNum"), "81");

  orvtest::WriteFile(ConfigPath(),
                     "; push server\n[Server]\nListenPortNum=0\nListenIpAddr=10.1.2.3\n");
  EXPECT_EQ(GetPushListenPort(), 81);
  std::string raw = orvtest::ReadFile(ConfigPath());
  EXPECT_NE(raw.find("ListenPortNum=81"), std::string::npos) << raw;
  EXPECT_NE(raw.find("; push server"), std::string::npos) << raw;
  EXPECT_NE(raw.find("ListenIpAddr=10.1.2.3"), std::string::npos) << raw;

  orvtest::WriteFile(ConfigPath(), "[Server]\nListenPortNum=9081\n");
  EXPECT_EQ(GetPushListenPort(), 9081);
  EXPECT_EQ(orvtest::ReadFile(ConfigPath()), "[Server]\nListenPortNum=9081\n");
}

TEST_F(IniFileTest, ListenAddressFallsBackToTheBuiltInHostWithoutWriting) {
  unsetenv("ORVANTA_HOST_PUSH");
  setenv("ORVANTA_HOST_MESSAGE", "127.0.0.3:18081", 1);
  orvtest::WriteFile(ConfigPath(), "[Server]\nListenIpAddr=\n");
  EXPECT_EQ(GetPushListenAddress(), "127.0.0.3");
  unsetenv("ORVANTA_HOST_MESSAGE");
  EXPECT_EQ(orvtest::ReadFile(ConfigPath()), "[Server]\nListenIpAddr=\n");

  orvtest::WriteFile(ConfigPath(), "[Server]\nListenIpAddr = 127.0.0.1 \n");
  EXPECT_EQ(GetPushListenAddress(), "127.0.0.1");
}

}  // namespace
