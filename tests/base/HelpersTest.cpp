#include <cerrno>
#include <regex>

#include <gtest/gtest.h>

#include "client/base/JsonText.h"
#include "client/base/MachineIdentity.h"
#include "client/base/OwnVersion.h"
#include "client/base/ShellText.h"
#include "client/base/UserSession.h"
#include "support/TestSupport.h"

namespace {

TEST(Helpers, OwnVersionHasFourPartsOfTheProjectVersion) {
  std::string v = GetOwnVersion();
  EXPECT_TRUE(std::regex_match(v, std::regex(R"(\d+\.\d+\.\d+\.\d+)"))) << v;
  EXPECT_EQ(v.rfind(ORV_TEST_VERSION, 0), 0u) << v;
}

TEST(Helpers, OwnVersionTakesAWellFormedStampOnly) {
  orvtest::TempProgramDir dir;
  const std::string project = GetOwnVersion();  // no stamp in the folder yet
  struct Case {
    const char* stamp;
    std::string version;
  };
  const Case cases[] = {
      {"1.0.0.7\n", "1.0.0.7"},
      {"2.3\r\n", "2.3.0.0"},
      {"10.20.30.40", "10.20.30.40"},
      {"", project},
      {"1.0.0.7 beta\n", project},
      {"1..2", project},
      {"v1.2", project},
      {"1.2.3.4.5", project},
      {"1234567890.0", project},
  };
  for (const Case& c : cases) {
    orvtest::WriteFile(dir.Path() + "/version.txt", c.stamp);
    EXPECT_EQ(GetOwnVersion(), c.version) << c.stamp;
  }
}

TEST(Helpers, DisplayNameNeedsASignedInSession) {
  UserSession s;
  s.userName = "张三";
  EXPECT_EQ(GetUserDisplayName(s), "未登录用户");
  s.loggedIn = 1;
  EXPECT_EQ(GetUserDisplayName(s), "张三");
  s.loggedIn = 2;
  EXPECT_EQ(GetUserDisplayName(s), "未登录用户");
}

TEST(Helpers, JsonTextQuotesAndEscapes) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"", "null"},
      {"abc", "\"abc\""},
      {"财务", "\"财务\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"C:\\Program Files", "\"C:\\\\Program Files\""},
      {"a\nb\r\tc", "\"a\\nb\\r\\tc\""},
      {std::string("x\x01y", 3), "\"x\\u0001y\""},
      {"100% /path", "\"100% /path\""},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonText(c.in), c.out) << c.in;
}

TEST(Helpers, ErrorTexts) {
  EXPECT_EQ(GetLastErrorText(EACCES), "Permission denied");
  EXPECT_EQ(GetLastErrorText(123456), "");
}

TEST(Helpers, GbkConversionsRoundTripAndReplaceInvalidInput) {
  const std::string gbk = "\xD5\xC5\xC8\xFD";  // "张三"
  EXPECT_EQ(Utf8ToGbk("张三"), gbk);
  EXPECT_EQ(GbkToUtf8(gbk), "张三");
  EXPECT_EQ(GbkToUtf8(Utf8ToGbk("用户 user_01")), "用户 user_01");
  EXPECT_EQ(GbkToUtf8("\xD5"), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToGbk("\xE5\xBC"), "?");
}

}  // namespace
