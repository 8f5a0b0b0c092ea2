// orvanta-cli's subscription commands against a stub app server: the id that reaches the
// server is the one typed, and an id the request cannot carry is refused before sending.
#include <gtest/gtest.h>

#include <filesystem>

#include "client/base/ServerConfig.h"
#include "tests/requests/StubHttpServer.h"
#include "tests/support/TestSupport.h"

namespace {

using orvtest::StubHttpServer;

class CliSubscriptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_cli = m_dir.File(orvtest::ExeName("orvanta-cli"));
    std::filesystem::copy_file(orvtest::Program("orvanta-cli"), m_cli);
    m_server.SetAnswer(server_paths::kAddApp, R"({"status":"1"})");
    m_server.SetAnswer(server_paths::kDeleteApp, R"({"status":"1"})");
  }

  int Cli(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {m_cli, "--user", "alice", "--ckey", "ck"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string out, err;
    return orvtest::RunCommand(argv, &out, &err, {{"ORVANTA_HOST_APP", m_server.HostPort()}});
  }

  orvtest::TempDir m_dir;
  StubHttpServer m_server;
  std::string m_cli;
};

TEST_F(CliSubscriptionTest, TypedIdReachesTheServer) {
  EXPECT_EQ(Cli({"subscribe", "1011"}), 0);
  EXPECT_EQ(m_server.LastQueryDecoded(server_paths::kAddApp), R"(in={"appid":1011,"ckey":"ck"})");
  EXPECT_EQ(Cli({"unsubscribe", "-7"}), 0);
  EXPECT_EQ(m_server.LastQueryDecoded(server_paths::kDeleteApp), R"(in={"appid":-7,"ckey":"ck"})");
}

TEST_F(CliSubscriptionTest, IdOutsideTheIntRangeIsRefusedWithoutARequest) {
  // 2^32 + 1011 and friends must not wrap round to an existing application's id.
  for (const char* id : {"4294968307", "-4294967296", "99999999999999999999", "2147483648"}) {
    EXPECT_NE(Cli({"subscribe", id}), 0) << id;
    EXPECT_NE(Cli({"unsubscribe", id}), 0) << id;
  }
  EXPECT_TRUE(m_server.Targets().empty());
}

TEST_F(CliSubscriptionTest, UnusableAnswerIsAnErrorNotAnEmptyCatalogue) {
  std::string deep;
  for (int i = 0; i < 1100; ++i) deep += "[";
  struct Case {
    std::string answer;
    const char* reason;  // "" for a usable answer
  };
  const Case cases[] = {
      {"<html>502</html>", "unusable answer: "},
      {deep, "unusable answer: "},
      // Valid JSON of the wrong shape.
      {"[]", "not a JSON object but an array"},
      {"[{\"data\":[]}]", "not a JSON object but an array"},
      {"\"ok\"", "not a JSON object but a string"},
      {"42", "not a JSON object but a number"},
      {"null", "not a JSON object but null"},
      // An object missing members keeps its reading: an empty list.
      {"{}", ""},
  };
  for (const Case& c : cases) {
    m_server.SetAnswer(server_paths::kHotApps, c.answer);
    std::vector<std::string> argv = {m_cli, "apps", "hot"};
    std::string out, err;
    const int rc =
        orvtest::RunCommand(argv, &out, &err, {{"ORVANTA_HOST_APP", m_server.HostPort()}});
    if (*c.reason == '\0') {
      EXPECT_EQ(rc, 0) << c.answer;
      EXPECT_NE(out.find("\"apps\""), std::string::npos) << out;
      continue;
    }
    EXPECT_EQ(rc, 1) << c.answer.substr(0, 20);
    EXPECT_EQ(out.rfind("{\"error\":\"unusable answer: ", 0), 0u) << out;
    EXPECT_NE(out.find(c.reason), std::string::npos) << out;
    EXPECT_EQ(out.find("\"apps\""), std::string::npos) << out;
  }
}

}  // namespace
