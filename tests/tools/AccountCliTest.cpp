// orvanta-cli login, credentials and logout against the stand-in login services, the tool
// running from a copy in a program directory of its own.
#include <gtest/gtest.h>
#include <json/json.h>

#include <filesystem>
#include <sstream>
#include <vector>

#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

std::vector<Json::Value> JsonLines(const std::string& out) {
  std::vector<Json::Value> values;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    Json::Value v;
    if (Json::Reader().parse(line, v)) values.push_back(v);
  }
  return values;
}

class AccountCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_cli = m_program.File(orvtest::ExeName("orvanta-cli"));
    fs::copy_file(orvtest::Program("orvanta-cli"), m_cli);
    m_server = std::make_unique<orvtest::ChildProcess>(std::vector<std::string>{
        ORV_PYTHON, ORV_SOURCE_DIR "/tools/platform-sim/sim_login.py", "--port", "0"});
    const auto vars = m_server->ReadAssignments({"ORVANTA_HOST_WEB"});
    ASSERT_EQ(vars.count("ORVANTA_HOST_WEB"), 1u) << "stand-in did not start";
    m_env = {{"ORVANTA_HOST_WEB", vars.at("ORVANTA_HOST_WEB")}};
  }

  int Run(std::vector<std::string> args, std::vector<Json::Value>& lines, bool cliFirst = true) {
    if (cliFirst) args.insert(args.begin(), m_cli);
    std::string out, err;
    const int rc = orvtest::RunCommand(args, &out, &err, m_env);
    lines = JsonLines(out);
    return rc;
  }

  orvtest::TempDir m_program;
  std::string m_cli;
  std::unique_ptr<orvtest::ChildProcess> m_server;
  std::map<std::string, std::string> m_env;
};

TEST_F(AccountCliTest, LoginSignsInTheChainedCommandsAndStoresTheCredentials) {
  std::vector<Json::Value> lines;
  ASSERT_EQ(Run({"login", "--user", "张会计", "--password", "kj2026", "--remember", "--",
                 "credentials", "--", "logout", "--", "logout"},
                lines),
            0);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_TRUE(lines[0]["success"].asBool());
  EXPECT_EQ(lines[0]["errorInfo"].asString(), "");
  EXPECT_EQ(lines[0]["userName"].asString(), "张会计");
  const std::string key = lines[0]["cookieKey"].asString();
  EXPECT_EQ(key.size(), 32u);

  EXPECT_EQ(lines[1]["status"].asString(), "usable");
  EXPECT_EQ(lines[1]["userName"].asString(), "张会计");
  EXPECT_EQ(lines[1]["password"].asString(), "kj2026");
  EXPECT_EQ(lines[1]["rememberPassword"].asInt(), 1);

  // The first logout ends the server's session; the second sends the same key again.
  for (int i : {2, 3}) {
    EXPECT_EQ(lines[i]["loggedIn"].asInt(), 0);
    EXPECT_EQ(lines[i]["cookieKey"].asString(), key);
  }
  EXPECT_EQ(lines[2]["transferStatus"].asString(), "1");
  EXPECT_EQ(lines[3]["transferStatus"].asString(), "0");
  EXPECT_TRUE(fs::exists(m_program.File("user/user.cfg")));
  EXPECT_TRUE(fs::exists(m_program.File("temp/TempData.xml")));
}

TEST_F(AccountCliTest, FailedLoginEndsTheChainAndStillStoresTheAttempt) {
  std::vector<Json::Value> lines;
  EXPECT_EQ(Run({"login", "--user", "demo", "--password", "wrong", "--", "credentials"}, lines), 1);
  ASSERT_EQ(lines.size(), 1u) << "nothing runs after the failed login";
  EXPECT_FALSE(lines[0]["success"].asBool());
  EXPECT_EQ(lines[0]["errorInfo"].asString(), "用户名或密码错误");
  EXPECT_EQ(lines[0]["cookieKey"].asString(), "");

  ASSERT_EQ(Run({"credentials"}, lines), 0);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]["userName"].asString(), "demo");
  EXPECT_EQ(lines[0]["password"].asString(), "") << "not kept without --remember";
  EXPECT_EQ(lines[0]["rememberPassword"].asInt(), 0);

  EXPECT_EQ(Run({"login", "--user", "demo"}, lines), 2) << "the password is required";
  EXPECT_EQ(Run({"login", "--user", "demo", "--password", "x", "extra"}, lines), 2);
  EXPECT_EQ(Run({"login", "--user", "demo", "--password", "x", "--password-stdin"}, lines), 2);
}

TEST_F(AccountCliTest, PasswordFromStandardInputNeverOnTheCommandLine) {
  // The first line of standard input, its line end (LF or CRLF) removed.
  for (const char* input : {"kj2026\n", "kj2026\r\nignored\n", "kj2026"}) {
    std::vector<Json::Value> lines;
    ASSERT_EQ(Run({"/bin/sh", "-c", std::string("printf '") + input + "' | \"$0\" \"$@\"", m_cli,
                   "login", "--user", "张会计", "--password-stdin", "--", "credentials"},
                  lines, false),
              0)
        << input;
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0]["success"].asBool());
    EXPECT_EQ(lines[1]["password"].asString(), "") << "not kept without --remember";
  }
}

}  // namespace
