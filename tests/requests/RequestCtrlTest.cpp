// The request cycle shared by every controller: fetch, parse, icon downloads, lookups.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "RequestTestSupport.h"
#include "StubHttpServer.h"
#include "client/base/ServerConfig.h"
#include "client/requests/AppListCtrls.h"
#include "client/requests/CQueryAdvertisementCtrl.h"
#include "client/requests/ImageFetch.h"
#include "client/requests/SubscriptionCtrls.h"
#include "platform/ProgramDir.h"
#include "platform/Socket.h"
#include "support/TestSupport.h"

namespace {

using orvtest::RecordingImageFetcher;
using orvtest::ScopedEnv;
using orvtest::StubHttpServer;

// Counts the calls of Parse.
class CountingCtrl : public COrvAppCtrl {
 public:
  void Parse() override { ++parses; }
  int GetKind() const override { return 0; }
  int parses = 0;
};

const char* kTwoApps = R"({"tcount":"2","data":[
  {"appid":"11","name":"记账","xh":"1","0":{"img":"http://h/i/a.png","type":"client","version":"1.0"},"1":{}},
  {"appid":"12","name":"开票","xh":"2","0":{"img":"http://h/i/b.png","type":"app"},"1":{}}]})";

class RequestCtrlTest : public ::testing::Test {
 protected:
  orvtest::TempProgramDir m_dir;
  StubHttpServer m_server;
  ScopedEnv m_app{"ORVANTA_HOST_APP", m_server.HostPort()};
  ScopedEnv m_portal{"ORVANTA_HOST_PORTAL", m_server.HostPort()};
};

TEST_F(RequestCtrlTest, UnreachableServerLeavesResultsAndRequestsNothing) {
  RecordingImageFetcher window;
  CountingCtrl ctrl;
  OrvAppInfo kept;
  kept.name = "kept";
  kept.iconPath = m_dir.Path() + "/missing.png";
  ctrl.apps.push_back(kept);

  ctrl.Run("http://127.0.0.1:" + std::to_string(orvtest::ClosedPort()) + "/x", "\\HotApp\\");

  EXPECT_EQ(ctrl.responseText, "");
  EXPECT_EQ(ctrl.parses, 0);
  ASSERT_EQ(ctrl.apps.size(), 1u);
  EXPECT_EQ(ctrl.apps[0].name, "kept");
  EXPECT_TRUE(window.Calls().empty());
}

// A loopback listener that never accepts: connections complete, requests get no answer.
class SilentListener {
 public:
  SilentListener() : m_fd(plat::net::ListenLoopback(&m_port, 8)) {}
  ~SilentListener() { plat::net::Close(m_fd); }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/x"; }

 private:
  int m_port = 0;
  plat::net::Socket m_fd;
};

TEST_F(RequestCtrlTest, AbortEndsAFetchPromptlyAsAFailure) {
  using Clock = std::chrono::steady_clock;
  SilentListener silent;
  const std::string targets[] = {
      silent.Url(),  // connected, never answered
      "http://127.0.0.1:" + std::to_string(orvtest::ClosedPort()) + "/x",  // between retries
  };
  for (const std::string& target : targets) {
    CountingCtrl ctrl;
    ctrl.responseText = "previous";
    std::thread aborter([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      ctrl.Abort();
    });
    const auto start = Clock::now();
    ctrl.Run(target, "\\HotApp\\");
    const auto took = Clock::now() - start;
    aborter.join();
    EXPECT_LT(took, std::chrono::milliseconds(1000)) << target;
    EXPECT_EQ(ctrl.responseText, "") << target;
    EXPECT_EQ(ctrl.parses, 0) << target;
  }

  // Aborted before it runs: no request reaches the server, and the abort stays.
  m_server.SetAnswer("/list", kTwoApps);
  CountingCtrl ctrl;
  ctrl.Abort();
  ctrl.Run("http://" + m_server.HostPort() + "/list", "\\HotApp\\");
  ctrl.Run("http://" + m_server.HostPort() + "/list", "\\HotApp\\");
  EXPECT_EQ(ctrl.parses, 0);
  EXPECT_TRUE(m_server.Targets().empty());
}

TEST_F(RequestCtrlTest, OneSharedAbortFlagEndsEveryControllerWatchingIt) {
  SilentListener silent;
  AbortFlag flag{false};
  CountingCtrl first, second;
  first.UseAbortFlag(flag);
  second.UseAbortFlag(flag);
  RequestResult results[2];
  std::thread a([&] { results[0] = first.Run(silent.Url(), "\\HotApp\\"); });
  std::thread b([&] { results[1] = second.Run(silent.Url(), "\\HotApp\\"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto start = std::chrono::steady_clock::now();
  first.Abort();  // raises the shared flag
  a.join();
  b.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  EXPECT_EQ(results[0].status, RequestStatus::NoAnswer);
  EXPECT_EQ(results[1].status, RequestStatus::NoAnswer);
  EXPECT_TRUE(second.Aborted());
}

TEST_F(RequestCtrlTest, FetchUsesTheSystemProxyButNeverForLoopback) {
  ScopedEnv noProxyLower("no_proxy", "");
  ScopedEnv noProxyUpper("NO_PROXY", "");
  {
    // The proxy is the stub. Nothing listens at the URL's address, so the list can only
    // arrive through the proxy.
    const std::string url =
        "http://127.0.0.2:" + std::to_string(orvtest::ClosedPort()) + "/services/appallhot.php";
    m_server.SetAnswer(url, kTwoApps);
    ScopedEnv proxy("http_proxy", "http://" + m_server.HostPort());
    CHotAppCtrl hot;
    hot.Run(url, "\\HotApp\\");
    EXPECT_EQ(hot.apps.size(), 2u);
    ASSERT_FALSE(m_server.Targets().empty());
    EXPECT_EQ(m_server.Targets().back(), url);
  }
  {
    // A proxy that cannot be reached is not asked for 127.0.0.1.
    m_server.SetAnswer(server_paths::kHotApps, kTwoApps);
    ScopedEnv proxy("http_proxy", "http://127.0.0.1:" + std::to_string(orvtest::ClosedPort()));
    CHotAppCtrl hot;
    hot.RunDefault();
    EXPECT_EQ(hot.apps.size(), 2u);
  }
}

TEST_F(RequestCtrlTest, AnswerThatIsNotJsonIsNotParsed) {
  m_server.SetAnswer("/page", "<html><body>502 Bad Gateway</body></html>");
  CountingCtrl ctrl;
  ctrl.Run("http://" + m_server.HostPort() + "/page", "\\X\\");
  EXPECT_FALSE(ctrl.responseText.empty());
  EXPECT_EQ(ctrl.parses, 0);
  // A 404 page is fetched as text too and fails the same way.
  ctrl.Run("http://" + m_server.HostPort() + "/nothing-here", "\\X\\");
  EXPECT_EQ(ctrl.parses, 0);
}

TEST_F(RequestCtrlTest, LineEndsAreDroppedBeforeParsing) {
  m_server.SetAnswer(server_paths::kAddApp, "{\r\n\"status\":\n\"1\"\r\n}\n");
  CAddOrvAppCtrl ctrl;
  ctrl.RunFor(5);
  EXPECT_EQ(ctrl.responseText, "{\"status\":\"1\"}");
  EXPECT_EQ(ctrl.statusText, "安装验证成功");
  EXPECT_EQ(ctrl.url, CAddOrvAppCtrl::UrlFor(5, ""));
  EXPECT_EQ(ctrl.folder, "\\AddApp\\");
}

TEST_F(RequestCtrlTest, IconsAreRequestedOnlyWhenMissingUnlessForced) {
  m_server.SetAnswer(server_paths::kHotApps, kTwoApps);
  RecordingImageFetcher window;
  plat::MakeDirectories(m_dir.Path() + "/HotApp");
  orvtest::WriteFile(m_dir.Path() + "/HotApp/" + ImageCacheName("http://h/i/a.png"), "png");

  CHotAppCtrl hot;
  hot.RunDefault();
  auto calls = window.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].url, "http://h/i/b.png");
  EXPECT_EQ(calls[0].localPath, m_dir.Path() + "/HotApp/" + ImageCacheName("http://h/i/b.png"));
  EXPECT_EQ(calls[0].kind, ImageKind::Icon);

  // Banner images are forced: fetched again although present.
  m_server.SetAnswer(server_paths::kAdvertisement,
                     R"({"data":[{"xh":1,"advfilepath":"http://h/a/1.jpg","advlink":"l"}]})");
  plat::MakeDirectories(m_dir.Path() + "/Advertisement");
  const std::string banner = "/Advertisement/1-" + ImageCacheName("http://h/a/1.jpg");
  orvtest::WriteFile(m_dir.Path() + banner, "jpg");
  CQueryAdvertisementCtrl adv;
  adv.RunDefault();
  calls = window.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].url, "http://h/a/1.jpg");
  EXPECT_EQ(calls[1].localPath, m_dir.Path() + banner);
  EXPECT_EQ(calls[1].kind, ImageKind::Banner);
}

TEST_F(RequestCtrlTest, WithoutDownloadWindowRunStillParses) {
  m_server.SetAnswer(server_paths::kHotApps, kTwoApps);
  CHotAppCtrl hot;
  hot.RunDefault();
  EXPECT_EQ(hot.apps.size(), 2u);
}

TEST_F(RequestCtrlTest, RunningTwiceGivesTheSameListAndLookupsFindFirstMatch) {
  m_server.SetAnswer(server_paths::kHotApps, R"({"tcount":"3","data":[
    {"appid":"11","name":"记账","xh":"1","0":{"type":"client","code":"K1","downurl":"http://d/1","version":"2"}},
    {"appid":"12","name":"开票","xh":"2","0":{"type":"app"}},
    {"appid":"13","name":"记账","xh":"3","0":{"type":"client","code":"K3"}}]})");
  CHotAppCtrl hot;
  hot.RunDefault();
  hot.RunDefault();
  ASSERT_EQ(hot.apps.size(), 3u);

  EXPECT_EQ(hot.FindXhByName("记账"), "1");
  EXPECT_EQ(hot.FindAppIdByName("开票"), "12");
  EXPECT_EQ(hot.FindCodeByXh("3"), "K3");
  EXPECT_EQ(hot.FindDownUrlByXh("1"), "http://d/1");
  EXPECT_EQ(hot.FindSetupPathByXh("1"), m_dir.Path() + "/LumoDownloads/记账2.exe");
  EXPECT_EQ(hot.FindXhByName("没有"), "");
  EXPECT_EQ(hot.FindAppIdByName("没有"), "");
  EXPECT_EQ(hot.FindCodeByXh("9"), "");
  EXPECT_EQ(hot.FindSetupPathByXh(""), "");
}

}  // namespace
