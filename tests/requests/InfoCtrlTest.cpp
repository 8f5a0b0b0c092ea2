// Subscriptions, banner list, service desk requests, the two reports and the push server
// address: what the servers receive and how the answers are read.
#include <gtest/gtest.h>

#include "RequestTestSupport.h"
#include "StubHttpServer.h"
#include "client/base/JsonText.h"
#include "client/base/MachineIdentity.h"
#include "client/base/ServerConfig.h"
#include "client/base/UserSession.h"
#include "client/requests/CGetPushMsgServerInfoCtrl.h"
#include "client/requests/CQueryAdvertisementCtrl.h"
#include "client/requests/ImageFetch.h"
#include "client/requests/ReportCtrls.h"
#include "client/requests/ServiceDeskCtrls.h"
#include "client/requests/SubscriptionCtrls.h"
#include "platform/Encoding.h"
#include "platform/ProgramDir.h"
#include "support/TestSupport.h"

namespace {

using orvtest::ScopedEnv;
using orvtest::StubHttpServer;

class InfoCtrlTest : public ::testing::Test {
 protected:
  void TearDown() override { CurrentSession() = UserSession{}; }
  void SignIn(const std::string& user, const std::string& ckey) {
    CurrentSession().userName = user;
    CurrentSession().cookieKey = ckey;
    CurrentSession().loggedIn = 1;
  }
  std::string Log() { return orvtest::ThreadLogText(m_dir.Path()); }

  orvtest::TempProgramDir m_dir;
  StubHttpServer m_server;
  ScopedEnv m_app{"ORVANTA_HOST_APP", m_server.HostPort()};
  ScopedEnv m_portal{"ORVANTA_HOST_PORTAL", m_server.HostPort()};
  ScopedEnv m_oa{"ORVANTA_HOST_OA", m_server.HostPort()};
  ScopedEnv m_log{"ORVANTA_HOST_LOG", m_server.HostPort()};
  ScopedEnv m_diag{"ORVANTA_HOST_DIAGNOSIS", m_server.HostPort()};
  ScopedEnv m_msg{"ORVANTA_HOST_MESSAGE", m_server.HostPort()};
};

TEST_F(InfoCtrlTest, SubscriptionStatusTexts) {
  struct Case {
    const char* answer;
    const char* add;
    const char* del;
  } cases[] = {
      {R"({"status":"1"})", "安装验证成功", "删除成功"},
      {R"({"status":"2"})", "已安装过应用", "用户无此应用"},
      {R"({"status":"-1"})", "安装验证失败", "验证失败"},
      {R"({"status":1})", "", ""},  // a number is none of the codes
      {R"({"status":"3"})", "", ""},
      {R"(["1"])", "", ""},
      {"", "", ""},
  };
  SignIn("alice", "ck-9");
  for (const Case& c : cases) {
    m_server.SetAnswer(server_paths::kAddApp, c.answer);
    m_server.SetAnswer(server_paths::kDeleteApp, c.answer);
    CAddOrvAppCtrl add;
    add.RunFor(1007);
    EXPECT_EQ(add.statusText, c.add) << c.answer;
    CDeleteOrvAppCtrl del;
    del.RunFor(1007);
    EXPECT_EQ(del.statusText, c.del) << c.answer;
    EXPECT_TRUE(add.apps.empty());
  }
  EXPECT_EQ(m_server.LastQueryDecoded(server_paths::kAddApp), R"(in={"appid":1007,"ckey":"ck-9"})");
  EXPECT_EQ(m_server.LastQueryDecoded(server_paths::kDeleteApp),
            R"(in={"appid":1007,"ckey":"ck-9"})");
}

TEST_F(InfoCtrlTest, UnknownStatusLeavesAnEarlierText) {
  CAddOrvAppCtrl add;
  m_server.SetAnswer(server_paths::kAddApp, R"({"status":"2"})");
  add.RunFor(1);
  m_server.SetAnswer(server_paths::kAddApp, R"({"status":"9"})");
  add.RunFor(1);
  EXPECT_EQ(add.statusText, "已安装过应用");
}

TEST_F(InfoCtrlTest, AdvertisementList) {
  m_server.SetAnswer(server_paths::kAdvertisement, R"({"data":[
    {"xh":3,"advfilepath":"http://h/a.b/banner.png","advlink":"http://l/3"},
    {"xh":1,"advfilepath":"http://h/noext","advlink":"http://l/1"},
    {"xh":"2","advfilepath":"http://h/x.JPG","advlink":""}]})");
  // A banner already on disk is fetched again all the same. Files are named after the
  // banner's number and its picture's URL, with the URL's extension when it has one.
  const std::string three = "/Advertisement/3-" + ImageCacheName("http://h/a.b/banner.png");
  const std::string one = "/Advertisement/1-" + ImageCacheName("http://h/noext") + ".";
  const std::string two = "/Advertisement/2-" + ImageCacheName("http://h/x.JPG");
  plat::MakeDirectories(m_dir.Path() + "/Advertisement");
  orvtest::WriteFile(m_dir.Path() + three, "old");
  orvtest::RecordingImageFetcher window;
  CQueryAdvertisementCtrl adv;
  adv.RunDefault();
  const auto calls = window.Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].url, "http://h/a.b/banner.png");
  EXPECT_EQ(calls[0].localPath, m_dir.Path() + three);
  for (const auto& call : calls) EXPECT_EQ(call.kind, ImageKind::Banner);
  EXPECT_EQ(m_server.Targets().back(), "/adv.php");
  EXPECT_EQ(adv.folder, "\\Advertisement\\");
  EXPECT_EQ(adv.advOrder, (std::vector<int>{3, 1, 2}));
  ASSERT_EQ(adv.apps.size(), 3u);
  EXPECT_EQ(adv.apps[0].iconPath, m_dir.Path() + three);
  EXPECT_EQ(adv.apps[1].iconPath, m_dir.Path() + one);  // no "." in the URL
  EXPECT_EQ(adv.apps[2].iconPath, m_dir.Path() + two);
  EXPECT_EQ(two.substr(two.size() - 4), ".jpg");
  for (const auto& app : adv.apps) {
    EXPECT_EQ(app.isopen, "1");
    EXPECT_TRUE(app.forceDownload);
    EXPECT_EQ(app.name, "");
  }
  EXPECT_EQ(adv.apps[0].img, "http://h/a.b/banner.png");
  const std::map<std::string, std::string> links = {
      {three.substr(15), "http://l/3"}, {one.substr(15), "http://l/1"}, {two.substr(15), ""}};
  EXPECT_EQ(adv.advLinks, links);

  // A file name given twice (same number, same picture) keeps its first link; pictures of
  // one number at other URLs are files of their own. Every banner stays in the order list.
  m_server.SetAnswer(server_paths::kAdvertisement, R"({"data":[
    {"xh":5,"advfilepath":"http://h/a.png","advlink":"http://l/first"},
    {"xh":5,"advfilepath":"http://h/a.png","advlink":"http://l/second"},
    {"xh":5,"advfilepath":"http://h/b.png","advlink":"http://l/third"}]})");
  adv.RunDefault();
  EXPECT_EQ(adv.advOrder, (std::vector<int>{5, 5, 5}));
  EXPECT_EQ(adv.advLinks, (std::map<std::string, std::string>{
                              {"5-" + ImageCacheName("http://h/a.png"), "http://l/first"},
                              {"5-" + ImageCacheName("http://h/b.png"), "http://l/third"}}));

  // A non-object answer clears everything and is logged.
  m_server.SetAnswer(server_paths::kAdvertisement, "[1]");
  adv.RunDefault();
  EXPECT_TRUE(adv.apps.empty());
  EXPECT_TRUE(adv.advOrder.empty());
  EXPECT_TRUE(adv.advLinks.empty());
  EXPECT_NE(Log().find("解析广告信息时出错！"), std::string::npos);
}

TEST_F(InfoCtrlTest, CustomerServiceList) {
  m_server.SetAnswer(
      server_paths::kCustomerService,
      R"({"info":"服务暂停","data":[{"id":4,"cpmc":"代理记账"},{"id":9,"cpmc":"税务申报"}]})");
  CQueryCustomerServiceCtrl ctrl;
  ctrl.RunDefault();
  EXPECT_EQ(m_server.Targets().back(), "/web/getCplistAction.do");
  EXPECT_TRUE(ctrl.infoFlag);
  EXPECT_EQ(ctrl.infoText, "服务暂停");
  ASSERT_EQ(ctrl.services.size(), 2u);
  EXPECT_EQ(ctrl.services[1].id, 9);
  EXPECT_EQ(ctrl.services[1].cpmc, "税务申报");

  m_server.SetAnswer(server_paths::kCustomerService, R"({"info":"","data":[]})");
  ctrl.RunDefault();
  EXPECT_FALSE(ctrl.infoFlag);
  EXPECT_TRUE(ctrl.services.empty());

  m_server.SetAnswer(server_paths::kCustomerService, "\"down\"");
  ctrl.RunDefault();
  EXPECT_NE(Log().find("解析客户服务信息时出错！"), std::string::npos);
}

TEST_F(InfoCtrlTest, EnterpriseLookup) {
  m_server.SetAnswer(server_paths::kEnterpriseInfo, R"({"info":"","data":{
    "lxrmc":"王晓明","nsrmc":"云帆财税","nsrsbh":"9111","lxrdh":"010-1","lxrdz":"北京"}})");
  CQueryEnterpriseInfoCtrl ctrl;
  ctrl.RunFor("9111 A&B");
  EXPECT_EQ(m_server.LastQueryDecoded(server_paths::kEnterpriseInfo), "nsrsbh=9111 A&B&callback=");
  EXPECT_EQ(m_server.Targets().back(), "/web/getNsrsbhInfoAction.do?nsrsbh=9111%20A%26B&callback=");
  EXPECT_EQ(ctrl.lxrmc, "王晓明");
  EXPECT_EQ(ctrl.nsrmc, "云帆财税");
  EXPECT_EQ(ctrl.nsrsbh, "9111");
  EXPECT_EQ(ctrl.lxrdh, "010-1");
  EXPECT_EQ(ctrl.lxrdz, "北京");
  EXPECT_FALSE(ctrl.infoFlag);

  m_server.SetAnswer(server_paths::kEnterpriseInfo, R"({"info":"未查询到","data":{}})");
  ctrl.RunFor("0");
  EXPECT_EQ(ctrl.nsrmc, "");
  EXPECT_TRUE(ctrl.infoFlag);
  EXPECT_EQ(ctrl.infoText, "未查询到");
}

TEST_F(InfoCtrlTest, WorkOrderFieldsGoOutAsGbk) {
  m_server.SetAnswer(server_paths::kWorkOrder, R"({"info":"工单提交成功","data":""})");
  CQueryWorkOrderCtrl ctrl;
  ctrl.RunFor({"9111", "云帆 & \"合伙\"", "王晓明", "010+1", "北京#1号", "100%"});
  EXPECT_TRUE(ctrl.infoFlag);
  EXPECT_EQ(ctrl.infoText, "工单提交成功");
  const std::string target = m_server.Targets().back();
  EXPECT_EQ(target.find_first_of("#\" +"), std::string::npos) << target;
  EXPECT_EQ(m_server.LastQueryDecoded(server_paths::kWorkOrder),
            plat::Utf8ToGbk("nsrsbh=9111&nsrmc=云帆 & \"合伙\"&lxrmc=王晓明&lxrdh=010+1&"
                            "lxrdz=北京#1号&bz=100%"));

  m_server.SetAnswer(server_paths::kWorkOrder, "[]");
  ctrl.RunFor({});
  EXPECT_FALSE(ctrl.infoFlag);
  EXPECT_NE(Log().find("解析查询企业信息时出错！"), std::string::npos);
}

TEST_F(InfoCtrlTest, AppLogBodySignedOutWithNullsInOrder) {
  OrvAppInfo app;
  app.appid = 1005;
  app.type = "client";
  COrvAppLogCtrl log(app, 2, 3);
  log.Send();
  const std::string expected =
      "jsonPost={\"userName\":\"未登录用户\",\"ip\":" + JsonText(GetLocalIpAddress()) +
      ",\"mac\":" + JsonText(GetMacAddress()) +
      ",\"ipwz\":null,\"appid\":\"1005\",\"apptype\":\"client\","
      "\"appwz\":\"2\",\"appclienttype\":\"3\",\"version\":null}";
  EXPECT_EQ(plat::GbkToUtf8(m_server.LastQueryDecoded(server_paths::kAppLog)), expected);
  EXPECT_EQ(log.folder, "\\AppLog\\");
}

TEST_F(InfoCtrlTest, AppLogBodyEscapesValues) {
  SignIn("张\"会计", "ck");
  OrvAppInfo app;
  app.appid = -1;
  app.type = "app";
  app.version = "1.0\\beta";
  COrvAppLogCtrl log(app, 2, 0);
  log.Send();
  const std::string body = plat::GbkToUtf8(m_server.LastQueryDecoded(server_paths::kAppLog));
  EXPECT_EQ(body.rfind("jsonPost={\"userName\":\"张\\\"会计\",", 0), 0u) << body;
  EXPECT_NE(
      body.find(",\"appid\":\"-1\",\"apptype\":\"app\",\"appwz\":\"2\",\"appclienttype\":\"0\","
                "\"version\":\"1.0\\\\beta\"}"),
      std::string::npos)
      << body;
}

TEST_F(InfoCtrlTest, OtherSoftwareReport) {
  m_server.SetAnswer(server_paths::kSoftwareReport, R"({"hintInfo":"操作成功"})");
  SignIn("bob", "ck");
  COtherSoftwareInfoCtrl report({"U8 13.0", "", "T3", "", "", "", "", "个人版"});
  EXPECT_TRUE(m_server.LastQueryDecoded(server_paths::kSoftwareReport).empty());  // not yet
  ASSERT_TRUE(report.Send().Ok());
  EXPECT_TRUE(report.success);
  EXPECT_EQ(report.userName, "bob");
  const std::string body =
      plat::GbkToUtf8(m_server.LastQueryDecoded(server_paths::kSoftwareReport));
  const std::string tail =
      ",\"ufidaU8\":\"U8 13.0\",\"ufidaT6\":null,\"ufidaT3\":\"T3\",\"kingdeePro\":null,"
      "\"kingdeeStd\":null,\"kingdeeMini\":null,\"graspFinance\":null,"
      "\"graspPersonal\":\"个人版\"}";
  EXPECT_EQ(body.rfind("jsonPost={\"userName\":\"bob\",\"ip\":", 0), 0u) << body;
  ASSERT_GE(body.size(), tail.size());
  EXPECT_EQ(body.substr(body.size() - tail.size()), tail);

  m_server.SetAnswer(server_paths::kSoftwareReport, R"({"hintInfo":"操作失败"})");
  COtherSoftwareInfoCtrl failed({"", "", "", "", "", "", "", ""});
  EXPECT_TRUE(failed.Send().Ok());  // answered, but not taken
  EXPECT_FALSE(failed.success);
}

TEST_F(InfoCtrlTest, PushServerAddress) {
  m_server.SetAnswer(server_paths::kPushServerInfo,
                     R"({"success":true,"serverip":"10.1.2.3","serverport":"9001"})");
  CGetPushMsgServerInfoCtrl info;
  info.RunDefault();
  EXPECT_EQ(m_server.Targets().back(), "/index.json");
  EXPECT_TRUE(info.success);
  EXPECT_EQ(info.serverIp, "10.1.2.3");
  EXPECT_EQ(info.serverPort, "9001");

  m_server.SetAnswer(server_paths::kPushServerInfo, R"("busy")");
  info.RunDefault();  // ignored
  EXPECT_EQ(info.serverIp, "10.1.2.3");

  m_server.SetAnswer(server_paths::kPushServerInfo,
                     R"({"success":false,"serverip":"10.1.2.3","serverport":"9001"})");
  info.RunDefault();
  EXPECT_FALSE(info.success);
  EXPECT_EQ(info.serverIp, "");
  EXPECT_EQ(info.serverPort, "");
}

}  // namespace
