// orvanta-cli download: one JSON line per hook call, exit code by outcome.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/download/DownloadTestSupport.h"

using namespace dltest;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(orvtest::Lf(text));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class CliDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearProxyEnvironment();
    ASSERT_TRUE(m_server.Ready());
  }
  int Run(const std::vector<std::string>& args, std::string& out) {
    std::vector<std::string> argv = {orvtest::Program("orvanta-cli"), "download"};
    argv.insert(argv.end(), args.begin(), args.end());
    return orvtest::RunCommand(argv, &out, nullptr, {{"ORVANTA_RETRY_PAUSE_MS", "10"}});
  }
  HttpStandIn m_server;
  orvtest::TempDir m_dir;
};

TEST_F(CliDownloadTest, FinishedDownloadPrintsEveryHookAndExitsZero) {
  std::string out;
  const std::string url = m_server.Url("/file/20000");
  ASSERT_EQ(Run({url, m_dir.File("a/b.bin")}, out), 0);
  auto lines = Lines(out);
  ASSERT_EQ(lines.size(), 6u) << out;
  EXPECT_NE(lines[0].find("\"event\":\"checktime\""), std::string::npos);
  EXPECT_NE(lines[1].find("\"event\":\"start\""), std::string::npos);
  EXPECT_NE(lines[4].find("\"done\":20000,\"event\":\"progress\",\"total\":20000"),
            std::string::npos)
      << lines[4];
  EXPECT_NE(lines[5].find("\"event\":\"finished\""), std::string::npos);
  EXPECT_NE(lines[5].find("\"url\":\"" + url + "\""), std::string::npos);
  EXPECT_EQ(orvtest::ReadFile(m_dir.File("a/b.bin")), Body(20000));
}

TEST_F(CliDownloadTest, FailedDownloadPrintsItsReasonAndExitsOne) {
  struct Case {
    std::string url, reason;
    int status;
  };
  for (const Case& c : {Case{m_server.Url("/status/404"), "every attempt failed", 404},
                        Case{"http://[127.0.0.1/x.bin", "the address cannot be fetched", 0}}) {
    std::string out;
    ASSERT_EQ(Run({c.url, m_dir.File("x.bin")}, out), 1) << c.url;
    EXPECT_EQ(Lines(out),
              (std::vector<std::string>{"{\"done\":0,\"event\":\"error\",\"reason\":\"" + c.reason +
                                        "\",\"status\":" + std::to_string(c.status) +
                                        ",\"total\":0,\"url\":\"" + c.url + "\"}"}));
  }
}

TEST_F(CliDownloadTest, WrongUsageExitsTwo) {
  std::string out;
  EXPECT_EQ(Run({m_server.Url("/file/1")}, out), 2);
  EXPECT_EQ(Run({"", m_dir.File("x.bin")}, out), 2);
}

TEST_F(CliDownloadTest, FtpAddressesUseTheFtpWorkerAndOtherSchemesAreRefused) {
  orvtest::TempDir root;
  orvtest::WriteFile(root.File("Setup.bin"), Body(30000));
  orvtest::ChildProcess ftp({ORV_PYTHON, Script("ftp_standin.py"), root.Path(), "u", "p"});
  const std::string port = ftp.ReadAssignments({"PORT"})["PORT"];
  ASSERT_FALSE(port.empty());
  std::string out;
  ASSERT_EQ(Run({"ftp://u:p@127.0.0.1:" + port + "/Setup.bin", m_dir.File("s.bin")}, out), 0)
      << out;
  EXPECT_NE(out.find("\"event\":\"finished\""), std::string::npos) << out;
  EXPECT_EQ(orvtest::ReadFile(m_dir.File("s.bin")), Body(30000));

  for (const std::string url : {"file:///etc/hostname", "gopher://127.0.0.1/x", "127.0.0.1/x"}) {
    std::string err;
    std::vector<std::string> argv = {orvtest::Program("orvanta-cli"), "download", url,
                                     m_dir.File("never.bin")};
    EXPECT_EQ(orvtest::RunCommand(argv, &out, &err), 2) << url;
    EXPECT_NE(err.find("ftp://"), std::string::npos) << err;
    EXPECT_FALSE(plat::FileExists(m_dir.File("never.bin")));
  }
}

}  // namespace
