#include <cerrno>
#include <cstdlib>
#include <regex>

#include <gtest/gtest.h>

#include "platform/Encoding.h"
#include "platform/ProgramDir.h"
#include "platform/SystemInfo.h"
#include "tests/support/TestSupport.h"

namespace {

// "未登录用户" in GBK.
const std::string kGbkNotLoggedIn = "\xCE\xB4\xB5\xC7\xC2\xBC\xD3\xC3\xBB\xA7";

TEST(Encoding, ChineseRoundTripsThroughGbk) {
  EXPECT_EQ(plat::Utf8ToGbk("未登录用户"), kGbkNotLoggedIn);
  EXPECT_EQ(plat::GbkToUtf8(kGbkNotLoggedIn), "未登录用户");
  const std::string mixed = "税务 tax 100% \\n 财务软件";
  EXPECT_EQ(plat::GbkToUtf8(plat::Utf8ToGbk(mixed)), mixed);
  EXPECT_EQ(plat::Utf8ToGbk(""), "");
}

TEST(Encoding, InvalidInputIsReplacedNotDropped) {
  // A lone GBK lead byte in the middle and at the end.
  EXPECT_EQ(plat::GbkToUtf8("a\x81 b"), "a\xEF\xBF\xBD b");
  EXPECT_EQ(plat::GbkToUtf8("\xCE\xB4\xB5"), "未\xEF\xBF\xBD");
  // Broken UTF-8, and a character GBK cannot hold.
  EXPECT_EQ(plat::Utf8ToGbk("x\xE6\x9C"), "x?");
  EXPECT_EQ(plat::Utf8ToGbk("a\xFF"
                            "b"),
            "a?b");
  EXPECT_EQ(plat::Utf8ToGbk("😀ok"), "?ok");
}

TEST(ProgramPath, JoinTurnsBackslashesIntoSlashes) {
  orvtest::TempDir dir;
  plat::SetProgramDirectory(dir.Path() + "/");
  EXPECT_EQ(plat::ProgramDirectory(), dir.Path());
  EXPECT_EQ(plat::JoinProgramPath("\\image\\config.ini"), dir.Path() + "/image/config.ini");
  EXPECT_EQ(plat::JoinProgramPath("UpdateCache\\UpdateInfo.ini"),
            dir.Path() + "/UpdateCache/UpdateInfo.ini");
  EXPECT_EQ(plat::JoinProgramPath("\\LumoDownloads\\"), dir.Path() + "/LumoDownloads/");
  plat::SetProgramDirectory("");
  EXPECT_NE(plat::ProgramDirectory(), dir.Path());
}

TEST(ProgramPath, MakeParentDirectoriesCreatesEveryMissingLevel) {
  orvtest::TempDir dir;
  std::string file = dir.Path() + "/Log/12/31.log";
  ASSERT_TRUE(plat::MakeParentDirectories(file));
  EXPECT_TRUE(plat::FileExists(dir.Path() + "/Log/12"));
  EXPECT_FALSE(plat::FileExists(file));
}

#ifdef _WIN32
TEST(ProgramPath, DriveLettersAndSharesAreRootsNotFolders) {
  const struct {
    const char* programDir;
    const char* joined;
  } cases[] = {
      {"C:\\", "C:/image/config.ini"},
      {"D:/Apps/Orvanta/", "D:/Apps/Orvanta/image/config.ini"},
      {"\\\\server\\share\\Orvanta\\", "//server/share/Orvanta/image/config.ini"},
  };
  for (const auto& c : cases) {
    plat::SetProgramDirectory(c.programDir);
    EXPECT_EQ(plat::JoinProgramPath("\\image\\config.ini"), c.joined) << c.programDir;
  }
  plat::SetProgramDirectory("");
  orvtest::TempDir dir;  // on a drive: "X:/..."
  ASSERT_EQ(dir.Path().substr(1, 2), ":/");
  EXPECT_TRUE(plat::MakeDirectories(dir.Path().substr(0, 3)));
  EXPECT_TRUE(plat::MakeParentDirectories(dir.Path() + "\\中文\\b\\f.txt"));
  EXPECT_TRUE(plat::FileExists(dir.Path() + "/中文/b"));
}
#endif

TEST(SystemInfo, Wow64FollowsTheEnvironment) {
  unsetenv("ORVANTA_WOW64");
#ifdef _WIN32
  // A 64-bit build stands for the 32-bit program on 64-bit Windows.
  EXPECT_EQ(plat::IsWow64Process(), sizeof(void*) == 8);
#else
  EXPECT_FALSE(plat::IsWow64Process());
#endif
  setenv("ORVANTA_WOW64", "0", 1);
  EXPECT_FALSE(plat::IsWow64Process());
  setenv("ORVANTA_WOW64", "1", 1);
  EXPECT_TRUE(plat::IsWow64Process());
  unsetenv("ORVANTA_WOW64");
}

TEST(SystemInfo, ErrorTextAndNetworkIdentityFormats) {
  EXPECT_EQ(plat::SystemErrorText(ENOENT), "No such file or directory");
  EXPECT_EQ(plat::SystemErrorText(987654), "");
  // The machine may have no network; when it has one the texts have the fixed forms.
  std::string ip = plat::LocalIpAddress();
  if (!ip.empty()) {
    EXPECT_TRUE(std::regex_match(ip, std::regex(R"(\d+\.\d+\.\d+\.\d+)"))) << ip;
    EXPECT_NE(ip.rfind("127.", 0), 0u) << ip;
  }
  std::string mac = plat::LocalMacAddress();
  if (!mac.empty()) {
    EXPECT_TRUE(std::regex_match(mac, std::regex("[0-9A-F]{12}"))) << mac;
  }
}

}  // namespace
