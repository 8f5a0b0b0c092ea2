#include <cstdlib>

#include <gtest/gtest.h>

#include "client/base/ServerConfig.h"

namespace {

class ServerConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* kind :
         {"APP", "WEB", "PORTAL", "OA", "LOG", "DIAGNOSIS", "MESSAGE", "UPDATE", "PUSH"})
      unsetenv((std::string("ORVANTA_HOST_") + kind).c_str());
  }
  void TearDown() override { SetUp(); }
};

TEST_F(ServerConfigTest, DefaultsHaveTheFixedSchemesAndPorts) {
  struct Case {
    ServerKind kind;
    const char* name;
    const char* scheme;
    int port;
  };
  const Case cases[] = {
      {ServerKind::App, "APP", "http", 8888},
      {ServerKind::Web, "WEB", "http", 80},
      {ServerKind::Portal, "PORTAL", "http", 80},
      {ServerKind::Oa, "OA", "http", 80},
      {ServerKind::Log, "LOG", "http", 8090},
      {ServerKind::Diagnosis, "DIAGNOSIS", "http", 9080},
      {ServerKind::Message, "MESSAGE", "http", 80},
      {ServerKind::Update, "UPDATE", "ftp", 21},
  };
  for (const auto& c : cases) {
    ServerEndpoint ep = GetServerEndpoint(c.kind);
    EXPECT_STREQ(ServerKindName(c.kind), c.name);
    EXPECT_EQ(ep.scheme, c.scheme) << c.name;
    EXPECT_EQ(ep.port, c.port) << c.name;
    EXPECT_FALSE(ep.host.empty()) << c.name;
  }
  EXPECT_EQ(GetServerEndpoint(ServerKind::App).host, ORV_TEST_HOST_APP);
  EXPECT_EQ(ServerUrl(ServerKind::App, "/services/appall.php"),
            std::string("http://") + ORV_TEST_HOST_APP + ":8888/services/appall.php");
  EXPECT_EQ(ServerUrl(ServerKind::Update, "/AutoUpdater/AutoUpdater.xml"),
            std::string("ftp://") + ORV_TEST_HOST_UPDATE + "/AutoUpdater/AutoUpdater.xml");
}

TEST_F(ServerConfigTest, HostOverrideKeepsTheFixedPort) {
  setenv("ORVANTA_HOST_LOG", "logs.internal", 1);
  ServerEndpoint ep = GetServerEndpoint(ServerKind::Log);
  EXPECT_EQ(ep.host, "logs.internal");
  EXPECT_EQ(ep.port, 8090);
  EXPECT_EQ(ServerUrl(ServerKind::Log, "/a?b=1"), "http://logs.internal:8090/a?b=1");
  // Other kinds keep their defaults.
  EXPECT_EQ(GetServerEndpoint(ServerKind::App).host, ORV_TEST_HOST_APP);
}

TEST_F(ServerConfigTest, HostAndPortOverrideReplacesThePort) {
  setenv("ORVANTA_HOST_WEB", "127.0.0.1:18080", 1);
  EXPECT_EQ(ServerUrl(ServerKind::Web, "/services/LoginService"),
            "http://127.0.0.1:18080/services/LoginService");
  setenv("ORVANTA_HOST_APP", "127.0.0.1:80", 1);
  EXPECT_EQ(ServerUrl(ServerKind::App, "/x"), "http://127.0.0.1/x");
  setenv("ORVANTA_HOST_UPDATE", "127.0.0.1:2121", 1);
  ServerEndpoint ftp = GetServerEndpoint(ServerKind::Update);
  EXPECT_EQ(ftp.scheme, "ftp");
  EXPECT_EQ(ftp.host, "127.0.0.1");
  EXPECT_EQ(ftp.port, 2121);
  setenv("ORVANTA_HOST_OA", "[::1]:8081", 1);
  EXPECT_EQ(ServerUrl(ServerKind::Oa, "/"), "http://[::1]:8081/");
}

TEST_F(ServerConfigTest, MalformedPortsAreIgnored) {
  for (const char* value : {"127.0.0.1:", "127.0.0.1:abc", "127.0.0.1:70000", "127.0.0.1:0"}) {
    setenv("ORVANTA_HOST_DIAGNOSIS", value, 1);
    ServerEndpoint ep = GetServerEndpoint(ServerKind::Diagnosis);
    EXPECT_EQ(ep.host, "127.0.0.1") << value;
    EXPECT_EQ(ep.port, 9080) << value;
  }
}

TEST_F(ServerConfigTest, PushHostIsTheMessageServersHostUnlessNamedApart) {
  EXPECT_EQ(DefaultPushServerHost(), GetServerEndpoint(ServerKind::Message).host);
  // Pointing the message server at a stand-in moves the push fallback with it, port aside.
  setenv("ORVANTA_HOST_MESSAGE", "127.0.0.1:18081", 1);
  EXPECT_EQ(DefaultPushServerHost(), "127.0.0.1");
  setenv("ORVANTA_HOST_PUSH", "127.0.0.2", 1);
  EXPECT_EQ(DefaultPushServerHost(), "127.0.0.2");
}

}  // namespace
