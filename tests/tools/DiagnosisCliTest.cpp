// orvanta-cli diagnose: the eight checks run in a copy of a program directory against
// loopback stand-ins; report-software: the software found in the registry goes out in
// the report.
#include <gtest/gtest.h>
#include <json/json.h>

#include <filesystem>

#include "client/base/OwnVersion.h"
#include "platform/Encoding.h"
#include "platform/Registry.h"
#include "tests/diagnosis/HttpStandIn.h"

namespace fs = std::filesystem;

namespace {

const std::string kCli = orvtest::Program("orvanta-cli");
const std::string kAnswer = "lumo-server/client/systemCheck/addOrModify.action";
const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

Json::Value ParseOutput(const std::string& out) {
  Json::Value value;
  Json::Reader().parse(out, value);
  return value;
}

struct ExpectedRow {
  int code;
  const char* label;
  const char* result;
  int outcome;
};

void ExpectRows(const Json::Value& rows, const std::vector<ExpectedRow>& expected) {
  ASSERT_EQ(rows.size(), expected.size());
  for (Json::ArrayIndex i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "check " << i + 1);
    EXPECT_EQ(rows[i]["check"].asInt(), static_cast<int>(i) + 1);
    EXPECT_EQ(rows[i]["code"].asInt(), expected[i].code);
    EXPECT_EQ(rows[i]["label"].asString(), expected[i].label);
    EXPECT_EQ(rows[i]["result"].asString(), expected[i].result);
    EXPECT_EQ(rows[i]["outcome"].asInt(), expected[i].outcome);
  }
}

TEST(DiagnosisCli, DiagnoseRunsTheEightChecksInItsOwnProgramDirectory) {
  orvtest::TempProgramDir registry;  // a registry of our own (on Windows the real hive)
  const orvtest::ScratchRegistryKeys keys({"SOFTWARE\\Classes\\FINDAPPPATH.FindAppPathCtrl.1",
                                           "SOFTWARE\\Microsoft\\Internet Explorer", kUninstall});
  orvtest::TempDir program, serverRoot, cupsDir;
  diagtest::HttpStandIn server(serverRoot.Path());
  ASSERT_TRUE(server.Started());

  // The tool's program directory is the folder its binary lies in: a copy, not a link.
  const std::string cli = program.File(orvtest::ExeName("orvanta-cli"));
  fs::copy_file(kCli, cli);
  const std::string closed = diagtest::ClosedUrl("/");
  orvtest::WriteFile(
      program.File("image/config.ini"),
      "[NetWork]\r\nTestPoint1=" + server.Url("/ok") +
          "\r\nTestPoint2=" + server.Url("/nothing-here") +  // 404 still answers
          "\r\n[VPN]\r\nTelcom=" + closed + "\r\nUnion=" + server.Url("/ok") +
          "\r\n[Completeness]\r\nServerCompleteness=" + server.Url("/completeness/") + "\r\n");

  ASSERT_TRUE(plat::reg::CreateKey("SOFTWARE\\Classes\\FINDAPPPATH.FindAppPathCtrl.1"));
  ASSERT_TRUE(plat::reg::WriteValue("SOFTWARE\\Microsoft\\Internet Explorer",
                                    {"Version", plat::reg::ValueType::Sz, "9.11.9600.17843"}));
  const std::string entry = kUninstall + "\\{T3}";
  ASSERT_TRUE(plat::reg::WriteValue(entry, {"DisplayName", plat::reg::ValueType::Sz, "用友T3"}));
  ASSERT_TRUE(plat::reg::WriteValue(entry, {"DisplayVersion", plat::reg::ValueType::Sz, "11.2"}));

  const std::map<std::string, std::string> env = {
      {"ORVANTA_REGISTRY_ROOT", registry.RegistryRoot()},
      {"ORVANTA_WOW64", "0"},  // the branches of a 64-bit program (a 32-bit one's on Windows)
      {"ORVANTA_HOST_UPDATE", closed.substr(7, closed.size() - 8)},  // no update server
      {"CUPS_SERVER", cupsDir.File("no-cups.sock")}};                // no printing system

  std::string out, err;
  ASSERT_EQ(orvtest::RunCommand({cli, "diagnose"}, &out, &err, env), 0) << err;
  Json::Value result = ParseOutput(out);
  ExpectRows(result["rows"], {{0, "网络连通检测", "正常", 1},
                              {1, "服务器检测", "正常", 1},
                              {-1, "软件完整性检测：无法获取服务器完整性信息", "异常", 3},
                              {-1, "版本更新检测：无法获取更新信息", "异常", 3},
                              {0, "财务控件安装情况检测", "正常", 1},
                              {1, "其他财务软件检测", "点击提交", 1},
                              {0, "IE浏览器检测", "正常", 1},
                              {-1, "打印机驱动检测", "异常", 3}});
  Json::Value slots(Json::arrayValue);
  for (const char* slot : {"", "", "用友T3 11.2", "", "", "", "", ""}) slots.append(slot);
  EXPECT_EQ(result["slots"], slots);

  // The list was made in the copy's own folder; published as the release's list, it matches.
  const std::string list = orvtest::ReadFile(program.File("temp/localCompletenessFile.ini"));
  EXPECT_NE(list.find("[\\]\r\n" + orvtest::ExeName("orvanta-cli") + "="), std::string::npos)
      << plat::GbkToUtf8(list);
  orvtest::WriteFile(serverRoot.File("completeness/" + GetOwnVersion()), list);
  // The first run logged why its update check had no answer; a release has no log.
  std::filesystem::remove_all(program.File("Log"));
  ASSERT_EQ(orvtest::RunCommand({cli, "diagnose"}, &out, &err, env), 0) << err;
  result = ParseOutput(out);
  EXPECT_EQ(result["rows"][2]["code"].asInt(), 0) << out;
  EXPECT_EQ(result["rows"][2]["label"].asString(), "软件完整性检测");
  EXPECT_EQ(result["rows"][2]["outcome"].asInt(), 1);

  // Any file more, and the lists differ.
  orvtest::WriteFile(program.File("image/extra.png"), "x");
  ASSERT_EQ(orvtest::RunCommand({cli, "diagnose"}, &out, &err, env), 0) << err;
  result = ParseOutput(out);
  EXPECT_EQ(result["rows"][2]["code"].asInt(), -2) << out;
  EXPECT_EQ(result["rows"][2]["label"].asString(), "软件完整性检测");

  EXPECT_EQ(orvtest::RunCommand({cli, "diagnose", "extra"}, &out, &err, env), 2);
}

TEST(DiagnosisCli, ReportSoftwareSendsTheSlotsAndTellsTheAnswer) {
  orvtest::TempProgramDir dir;  // a registry of our own (on Windows the real hive)
  const orvtest::ScratchRegistryKeys keys({kUninstall});
  orvtest::TempDir serverRoot;
  diagtest::HttpStandIn server(serverRoot.Path());
  ASSERT_TRUE(server.Started());
  const std::string entry = kUninstall + "\\{K}";
  ASSERT_TRUE(
      plat::reg::WriteValue(entry, {"DisplayName", plat::reg::ValueType::Sz, "金蝶财务标准版"}));
  ASSERT_TRUE(plat::reg::WriteValue(entry, {"DisplayVersion", plat::reg::ValueType::Sz, "9.1"}));
  const std::map<std::string, std::string> env = {
      {"ORVANTA_REGISTRY_ROOT", dir.RegistryRoot()},
      {"ORVANTA_WOW64", "0"},
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
