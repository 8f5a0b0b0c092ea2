// orvanta-cli against the stand-in platform: the catalogue with its icons, subscriptions
// that change the user's list, a report the log server records, and a pushed message.
#include <json/json.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "client/requests/ImageFetch.h"
#include "platform/ProgramDir.h"
#include "support/TestSupport.h"

namespace {

using orvtest::ChildProcess;
using orvtest::RunCommand;

Json::Value ParseJson(const std::string& text) {
  Json::CharReaderBuilder b;
  std::unique_ptr<Json::CharReader> r(b.newCharReader());
  Json::Value v;
  std::string errors;
  r->parse(text.data(), text.data() + text.size(), &v, &errors);
  return v;
}

class PlatformSimTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_sim = new orvtest::PlatformSim;
    s_env = s_sim->Hosts();
  }
  static void TearDownTestSuite() {
    delete s_sim;
    s_sim = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(s_sim->Started()) << "the simulator did not start";
    // A program directory of our own, so the icons land in the test's folder.
    m_cli = m_dir.File(orvtest::ExeName("orvanta-cli"));
    std::filesystem::copy_file(orvtest::Program("orvanta-cli"), m_cli);
  }

  // Runs orvanta-cli; the exit code, stdout in out.
  int Cli(const std::vector<std::string>& args, std::string& out) {
    std::vector<std::string> argv = {m_cli};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string err;
    const int rc = RunCommand(argv, &out, &err, s_env);
    if (rc != 0) ADD_FAILURE() << "orvanta-cli failed: " << err;
    return rc;
  }

  // The body of an HTTP request (a POST when postBody is not empty).
  static std::string Fetch(const std::string& url, const std::string& postBody = "") {
    const std::string script =
        "import sys,urllib.request\n"
        "d=sys.argv[2].encode() if sys.argv[2] else None\n"
        "sys.stdout.buffer.write(urllib.request.urlopen(sys.argv[1], data=d).read())\n";
    std::string out;
    RunCommand({ORV_PYTHON, "-c", script, url, postBody}, &out);
    return out;
  }
  // A request to the simulator's control endpoint.
  Json::Value Control(const std::string& pathAndQuery, const std::string& postBody = "") {
    return ParseJson(Fetch("http://" + s_env["ORVANTA_SIM_CONTROL"] + pathAndQuery, postBody));
  }

  static bool HasApp(const Json::Value& list, int appid) {
    for (const auto& app : list["apps"])
      if (app["appid"].asInt() == appid) return true;
    return false;
  }

  static orvtest::PlatformSim* s_sim;
  static std::map<std::string, std::string> s_env;
  orvtest::TempDir m_dir;
  std::string m_cli;
};

orvtest::PlatformSim* PlatformSimTest::s_sim = nullptr;
std::map<std::string, std::string> PlatformSimTest::s_env;

TEST_F(PlatformSimTest, HotListWithIconsInHotApp) {
  std::string out;
  ASSERT_EQ(Cli({"apps", "hot"}, out), 0);
  const Json::Value v = ParseJson(out);
  ASSERT_EQ(v["apps"].size(), 10u) << out;
  EXPECT_EQ(v["tcount"].asInt(), 10);
  const Json::Value& first = v["apps"][0];
  EXPECT_EQ(first["name"].asString(), "财务记账专业版");
  EXPECT_EQ(first["type"].asString(), "client");
  EXPECT_FALSE(first["code"].asString().empty());
  EXPECT_EQ(v["apps"][1]["type"].asString(), "app");
  EXPECT_EQ(v["apps"][1]["isopen"].asString(), "1");
  for (const auto& app : v["apps"]) {
    const std::string icon = app["iconPath"].asString();
    EXPECT_EQ(icon, m_dir.Path() + "/HotApp/" + ImageCacheName(app["img"].asString()));
    EXPECT_EQ(orvtest::ReadFile(icon).substr(0, 4), "\x89PNG") << icon;
    EXPECT_FALSE(app["remark"].asString().empty());
    // The hot list reads "0" alone: no entry may hide its current texts in "1".
    EXPECT_EQ(app["remark"].asString().rfind("（旧）", 0), std::string::npos) << app["name"];
  }
}

TEST_F(PlatformSimTest, SubscribeAndUnsubscribeChangeTheUsersList) {
  const std::vector<std::string> demo = {"--user", "demo", "--ckey", "demo-ckey"};
  auto cli = [&](std::vector<std::string> args) {
    args.insert(args.begin(), demo.begin(), demo.end());
    std::string out;
    Cli(args, out);
    return ParseJson(out);
  };
  EXPECT_FALSE(HasApp(cli({"apps", "my-client"}), 1011));
  EXPECT_EQ(cli({"subscribe", "1011"})["statusText"].asString(), "安装验证成功");
  EXPECT_EQ(cli({"subscribe", "1011"})["statusText"].asString(), "已安装过应用");
  const Json::Value mine = cli({"apps", "my-client"});
  EXPECT_TRUE(HasApp(mine, 1011));
  EXPECT_EQ(
      mine["apps"][0]["iconPath"].asString().rfind(m_dir.Path() + "/PrivateDesktopApp/demo/", 0),
      0u);
  EXPECT_EQ(cli({"unsubscribe", "1011"})["statusText"].asString(), "删除成功");
  EXPECT_EQ(cli({"unsubscribe", "1011"})["statusText"].asString(), "用户无此应用");
  EXPECT_FALSE(HasApp(cli({"apps", "my-client"}), 1011));

  EXPECT_TRUE(HasApp(cli({"apps", "my-web"}), 2001));
  std::string out;
  ASSERT_EQ(Cli({"apps", "my-web"}, out), 0);  // signed out: an empty list
  EXPECT_EQ(ParseJson(out)["apps"].size(), 0u);
}

TEST_F(PlatformSimTest, AppLogReachesTheLogServer) {
  std::string out;
  ASSERT_EQ(Cli({"applog", "1003", "client", "6.0.1", "2", "3"}, out), 0);
  const Json::Value records = Control("/records?kind=log");
  ASSERT_GE(records.size(), 1u);
  const Json::Value& last = records[records.size() - 1]["json"];
  EXPECT_EQ(last["userName"].asString(), "未登录用户");
  EXPECT_EQ(last["appid"].asString(), "1003");
  EXPECT_EQ(last["appclienttype"].asString(), "3");
  EXPECT_TRUE(last["ipwz"].isNull());
}

TEST_F(PlatformSimTest, PushedMessageIsPrinted) {
  std::vector<std::string> argv = {m_cli, "push", "listen", "--count", "1", "--timeout", "20"};
  ChildProcess listener(argv, s_env);
  ASSERT_TRUE(orvtest::WaitUntil([&] { return Control("/records")["push_clients"].asInt() >= 1; }));
  Control("/push", R"({"title":"税务提醒","content":"本月申报期截至15日","url":"http://n/1"})");
  std::string line;
  ASSERT_TRUE(listener.ReadLine(line, std::chrono::seconds(10)));
  const Json::Value v = ParseJson(line);
  EXPECT_EQ(v["title"].asString(), "税务提醒");
  EXPECT_EQ(v["content"].asString(), "本月申报期截至15日");
  EXPECT_EQ(listener.Wait(), 0);
}

TEST_F(PlatformSimTest, BannersAndServiceDesk) {
  std::string out;
  ASSERT_EQ(Cli({"adv"}, out), 0);
  Json::Value v = ParseJson(out);
  ASSERT_EQ(v["apps"].size(), 4u) << out;
  ASSERT_EQ(v["advOrder"].size(), 4u);
  for (const auto& banner : v["apps"]) {
    const std::string image = banner["iconPath"].asString();
    EXPECT_EQ(image.rfind(m_dir.Path() + "/Advertisement/", 0), 0u) << image;
    EXPECT_EQ(orvtest::ReadFile(image).substr(0, 4), "\x89PNG") << image;
    const std::string file = image.substr(image.rfind('/') + 1);
    EXPECT_FALSE(v["advLinks"][file].asString().empty()) << file;
  }

  ASSERT_EQ(Cli({"services"}, out), 0);
  v = ParseJson(out);
  ASSERT_GE(v["services"].size(), 1u) << out;
  EXPECT_EQ(v["services"][0]["cpmc"].asString(), "代理记账");
  EXPECT_FALSE(v["infoFlag"].asBool());

  ASSERT_EQ(Cli({"enterprise", "91110108MA01ABCD2X"}, out), 0);
  v = ParseJson(out);
  EXPECT_EQ(v["nsrmc"].asString(), "北京云帆财税咨询有限公司") << out;
  EXPECT_EQ(v["nsrsbh"].asString(), "91110108MA01ABCD2X");
  ASSERT_EQ(Cli({"enterprise", "000"}, out), 0);
  v = ParseJson(out);
  EXPECT_TRUE(v["infoFlag"].asBool()) << out;
  EXPECT_EQ(v["nsrmc"].asString(), "");

  // Form text with query specials arrives as typed.
  ASSERT_EQ(Cli({"work-order", "91110108MA01ABCD2X", "云帆&财税", "王晓明", "010+62881234",
                 "北京#27号", "发票 100%"},
                out),
            0);
  EXPECT_TRUE(ParseJson(out)["infoFlag"].asBool()) << out;
  const Json::Value orders = Control("/records?kind=workorder");
  ASSERT_GE(orders.size(), 1u);
  const Json::Value& order = orders[orders.size() - 1];
  EXPECT_EQ(order["nsrmc"].asString(), "云帆&财税");
  EXPECT_EQ(order["lxrdh"].asString(), "010+62881234");
  EXPECT_EQ(order["lxrdz"].asString(), "北京#27号");
  EXPECT_EQ(order["bz"].asString(), "发票 100%");
}

TEST_F(PlatformSimTest, SampleInstallerRegistersAndUninstallerRemoves) {
  const std::string orvreg = std::string(ORV_BIN_DIR) + "/orvreg";
  if (!plat::FileExists(orvreg)) GTEST_SKIP() << "orvreg is not built";
  const std::string setup = m_dir.File("setup.exe");
  orvtest::WriteFile(setup,
                     Fetch("http://" + s_env["ORVANTA_HOST_APP"] + "/downloads/1003/setup.exe"));
  const std::map<std::string, std::string> env = {{"ORVANTA_REGISTRY_ROOT", m_dir.File("registry")},
                                                  {"ORVANTA_APPS_ROOT", m_dir.File("apps")},
                                                  {"ORVANTA_BIN", ORV_BIN_DIR}};
  const std::string key =
      "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OrvSample1003";
  ASSERT_EQ(RunCommand({"/bin/sh", setup, "/silent"}, nullptr, nullptr, env), 0);

  std::string out;
  ASSERT_EQ(RunCommand({orvreg, "query", key}, &out, nullptr, env), 0);
  EXPECT_NE(out.find("个税申报助手"), std::string::npos) << out;
  EXPECT_NE(out.find("DisplayIcon"), std::string::npos) << out;
  const std::string uninstaller = m_dir.File("apps") + "/OrvSample1003/uninstall.sh";
  EXPECT_NE(out.find(uninstaller), std::string::npos) << out;

  ASSERT_EQ(RunCommand({uninstaller, "/silent"}, nullptr, nullptr, env), 0);
  EXPECT_NE(RunCommand({orvreg, "query", key}, nullptr, nullptr, env), 0);
  EXPECT_FALSE(plat::FileExists(uninstaller));
}

}  // namespace
