// Login and logout against the spyne services (lxml validation): an ASCII user name in the
// UTF-8 envelope, a Chinese one in the GBK-declared envelope.
#include <gtest/gtest.h>

#include "InteropServers.h"
#include "client/account/CLoginService.h"

namespace {

TEST(LoginInteropTest, SignsInAndOutWithAsciiAndChineseUserNames) {
  interop::SpyneLogin server;
  ASSERT_TRUE(server.Running());
  orvtest::TempProgramDir dir;
  orvtest::ScopedEnv host("ORVANTA_HOST_WEB", server.Host());
  struct Case {
    std::string user, password, charset;
  };
  for (const Case& c : {Case{"demo", "demo123", "utf-8"}, Case{"张会计", "kj2026", "GBK"}}) {
    SCOPED_TRACE(c.user);
    UserSession session;
    CLoginService service(session);
    const LoginResult result = service.Login(c.user, c.password, false);
    ASSERT_TRUE(result.success);
    EXPECT_EQ(session.cookieKey.size(), 32u);
    const std::string key = session.cookieKey;
    service.Logout();
    EXPECT_EQ(service.LastAnswer().transferStatus, "1") << "the service knew the key";
    const auto calls = server.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "login|" + c.charset + "|" + c.user);
    EXPECT_EQ(calls.back(), "loginOut|utf-8|" + key);
  }
  // A wrong password is the service's refusal, not a transport failure.
  UserSession session;
  CLoginService service(session);
  EXPECT_FALSE(service.Login("张会计", "wrong", false).success);
  EXPECT_EQ(service.LastAnswer().errorInfo, "用户名或密码错误");
}

}  // namespace
