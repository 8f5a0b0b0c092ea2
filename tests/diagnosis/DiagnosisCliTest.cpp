// orvanta-cli report-software: the software found in the registry goes out in the report.
#include <gtest/gtest.h>

#include "HttpStandIn.h"
#include "platform/Registry.h"

namespace {

const std::string kCli = ORV_BIN_DIR "/orvanta-cli";
const std::string kAnswer = "lumo-server/client/systemCheck/addOrModify.action";

TEST(DiagnosisCli, ReportSoftwareSendsTheSlotsAndTellsTheAnswer) {
  orvtest::TempProgramDir dir;  // a registry of our own
  orvtest::TempDir serverRoot;
  diagtest::HttpStandIn server(serverRoot.Path());
  ASSERT_TRUE(server.Started());
  const std::string entry = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{K}";
  ASSERT_TRUE(
      plat::reg::WriteValue(entry, {"DisplayName", plat::reg::ValueType::Sz, "金蝶财务标准版"}));
  ASSERT_TRUE(plat::reg::WriteValue(entry, {"DisplayVersion", plat::reg::ValueType::Sz, "9.1"}));
  const std::map<std::string, std::string> env = {
      {"ORVANTA_REGISTRY_ROOT", dir.RegistryRoot()},
      {"ORVANTA_HOST_DIAGNOSIS", server.Url("").substr(std::string("http://").size())}};

  std::string out, err;
  // No answer from the server: the report failed.
  EXPECT_EQ(orvtest::RunCommand({kCli, "report-software"}, &out, &err, env), 1) << err;
  EXPECT_NE(out.find("\"success\":false"), std::string::npos) << out;

  orvtest::WriteFile(serverRoot.File(kAnswer), "{\"hintInfo\":\"操作成功\"}");
  ASSERT_EQ(orvtest::RunCommand({kCli, "report-software"}, &out, &err, env), 0) << err;
  EXPECT_NE(out.find("\"success\":true"), std::string::npos) << out;
  EXPECT_NE(out.find("\"slots\":[\"\",\"\",\"\",\"\",\"金蝶财务标准版 9.1\",\"\",\"\",\"\"]"),
            std::string::npos)
      << out;

  EXPECT_EQ(orvtest::RunCommand({kCli, "report-software", "extra"}, &out, &err, env), 2);
}

}  // namespace
