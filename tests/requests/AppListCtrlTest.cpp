// The five catalogue lists: requests, detail selection, computed paths, error handling.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string_view>
#include <tuple>

#include "RequestTestSupport.h"
#include "StubHttpServer.h"
#include "client/base/ServerConfig.h"
#include "client/base/UserSession.h"
#include "client/requests/AppListCtrls.h"
#include "client/requests/ImageFetch.h"
#include "platform/Encoding.h"
#include "platform/ProgramDir.h"
#include "support/TestSupport.h"

namespace {

using orvtest::ScopedEnv;
using orvtest::StubHttpServer;

struct ListCase {
  const char* name;
  std::function<std::unique_ptr<COrvAppListCtrl>()> make;
  const char* path;
  const char* folder;  // for the user "alice"
  const char* errorText;
  bool mergesDetails;
  bool hot;
};

const ListCase kLists[] = {
    {"PrivateDesktop", [] { return std::make_unique<CPrivateDesktopAppCtrl>(); },
     "/services/myappall_c.php", "\\PrivateDesktopApp\\alice\\", "解析我的桌面应用时出错！", false,
     false},
    {"PrivateWeb", [] { return std::make_unique<CPrivateWebAppCtrl>(); }, "/services/myappall.php",
     "\\PrivateWebApp\\alice\\", "解析我的网页应用时出错！", true, false},
    {"Hot", [] { return std::make_unique<CHotAppCtrl>(); }, "/services/appallhot.php", "\\HotApp\\",
     "解析热点应用时出错！", false, true},
    {"AllClient", [] { return std::make_unique<CAllClientAppCtrl>(); }, "/services/appall_c.php",
     "\\AllClientApp\\", "解析热点应用时出错！", false, false},
    {"AllWeb", [] { return std::make_unique<CAllWebAppCtrl>(); }, "/services/appall.php",
     "\\AllApp\\", "解析热点应用时出错！", true, false},
};

class AppListTest : public ::testing::TestWithParam<ListCase> {
 protected:
  void SetUp() override {
    UserSession& s = CurrentSession();
    s.userName = "alice";
    s.cookieKey = "ck-1";
    s.loggedIn = 1;
  }
  void TearDown() override { CurrentSession() = UserSession{}; }

  std::unique_ptr<COrvAppListCtrl> RunWith(const std::string& answer) {
    m_server.SetAnswer(GetParam().path, answer);
    auto ctrl = GetParam().make();
    ctrl->RunDefault();
    return ctrl;
  }

  orvtest::TempProgramDir m_dir;
  StubHttpServer m_server;
  ScopedEnv m_app{"ORVANTA_HOST_APP", m_server.HostPort()};
};

TEST_P(AppListTest, RequestsItsPathAndUsesItsFolder) {
  auto ctrl = RunWith(R"({"data":[]})");
  const auto targets = m_server.Targets();
  ASSERT_EQ(targets.size(), 1u);
  const std::string path = GetParam().path;
  if (path.find("myappall") != std::string::npos) {
    EXPECT_EQ(targets[0].substr(0, path.size() + 4), path + "?in=");
    EXPECT_EQ(m_server.LastQueryDecoded(path), R"(in={"page":1,"ckey":"ck-1"})");
  } else {
    EXPECT_EQ(targets[0], path);
  }
  EXPECT_EQ(ctrl->folder, GetParam().folder);
}

TEST_P(AppListTest, DetailsOnlyInSecondObjectAreRead) {
  auto ctrl = RunWith(R"({"page":"1","count":"1","tpage":"1","tcount":"1","data":[
    {"appid":"42","name":"工资条","xh":"3","0":{},
     "1":{"url":"u","remark":"说明","money":"98元","img":"http://h/x/pay.png","type":"client",
          "code":"PayKey","filesize":"5MB","version":"2.3","downurl":"http://h/pay.exe"}}]})");
  ASSERT_EQ(ctrl->apps.size(), 1u);
  const OrvAppInfo& app = ctrl->apps[0];
  EXPECT_EQ(app.appid, 42);
  EXPECT_EQ(app.name, "工资条");
  EXPECT_EQ(app.xh, "3");
  EXPECT_EQ(app.remark, "说明");
  EXPECT_EQ(app.code, "PayKey");
  EXPECT_EQ(app.filesize, "5MB");
  EXPECT_EQ(app.version, "2.3");
  EXPECT_EQ(app.downurl, "http://h/pay.exe");
  EXPECT_EQ(app.setupPath, m_dir.Path() + "/LumoDownloads/工资条2.3.exe");
  EXPECT_EQ(app.iconPath,
            m_dir.Path() + plat::ToNativePath(GetParam().folder) + ImageCacheName(app.img));
  EXPECT_FALSE(app.forceDownload);
}

TEST_P(AppListTest, BothDetailObjectsFilled) {
  auto ctrl = RunWith(R"({"data":[{"appid":"7","name":"发票","xh":"1",
    "0":{"url":"old-url","remark":"旧","money":"0","img":"http://h/old.png","type":"app","isopen":"0"},
    "1":{"url":"new-url","remark":"新","money":"9","img":"http://h/new.png","type":"app","isopen":"1"}}]})");
  ASSERT_EQ(ctrl->apps.size(), 1u);
  const OrvAppInfo& app = ctrl->apps[0];
  if (GetParam().mergesDetails) {
    EXPECT_EQ(app.url, "new-url");
    EXPECT_EQ(app.remark, "新");
    EXPECT_EQ(app.img, "http://h/new.png");
  } else {
    EXPECT_EQ(app.url, "old-url");
    EXPECT_EQ(app.remark, "旧");
    EXPECT_EQ(app.img, "http://h/old.png");
  }
  // "isopen" is read in the hot list only.
  EXPECT_EQ(app.isopen, GetParam().hot ? "0" : "");
  // A web application has no installer data; its installer name lacks a version.
  EXPECT_EQ(app.code, "");
  EXPECT_EQ(app.version, "");
  EXPECT_EQ(app.setupPath, m_dir.Path() + "/LumoDownloads/发票.exe");
}

TEST_P(AppListTest, CountFieldsAndEmptyDataClearTheList) {
  auto ctrl = RunWith(R"({"page":"2","count":"1","tpage":"5","tcount":"41","data":[
    {"appid":"x","name":"a","xh":"1","0":{},"1":{}}]})");
  ASSERT_EQ(ctrl->apps.size(), 1u);
  EXPECT_EQ(ctrl->apps[0].appid, 0);  // not a number
  EXPECT_EQ(ctrl->apps[0].type, "");  // an item without details is still listed
  EXPECT_EQ(ctrl->tcount, 41);
  EXPECT_EQ(ctrl->page, GetParam().hot ? 0 : 2);
  EXPECT_EQ(ctrl->tpage, GetParam().hot ? 0 : 5);

  m_server.SetAnswer(GetParam().path, R"({"tcount":"0","data":[]})");
  ctrl->RunDefault();
  EXPECT_TRUE(ctrl->apps.empty());
}

TEST_P(AppListTest, NonObjectAnswerIsLoggedAndKeepsTheList) {
  auto ctrl =
      RunWith(R"({"tcount":"1","data":[{"appid":"1","name":"a","xh":"1","0":{"type":"app"}}]})");
  ASSERT_EQ(ctrl->apps.size(), 1u);
  for (const char* answer : {R"(["not","an","object"])", "\"text\"", "17"}) {
    m_server.SetAnswer(GetParam().path, answer);
    ctrl->RunDefault();
    EXPECT_EQ(ctrl->apps.size(), 1u) << answer;
    EXPECT_EQ(ctrl->tcount, 1) << answer;
  }
  EXPECT_NE(orvtest::ThreadLogText(m_dir.Path()).find(GetParam().errorText), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Lists, AppListTest, ::testing::ValuesIn(kLists),
                         [](const auto& info) { return std::string(info.param.name); });

// A list controller that always reads the whole tree, as every answer was read before.
template <class Ctrl>
class WholeTree : public Ctrl {
 protected:
  bool ReadStreamed(std::string_view) override { return false; }
};

template <class Ctrl>
void ExpectSameReading(const std::string& text, bool streamed) {
  Ctrl fast;
  WholeTree<Ctrl> whole;
  const RequestResult a = fast.ReadAnswer(text);
  const RequestResult b = whole.ReadAnswer(text);
  EXPECT_EQ(a.status, b.status) << text;
  EXPECT_EQ(a.reason, b.reason) << text;
  EXPECT_EQ(fast.tcount, whole.tcount) << text;
  EXPECT_EQ(fast.page, whole.page) << text;
  ASSERT_EQ(fast.apps.size(), whole.apps.size()) << text;
  for (size_t i = 0; i < fast.apps.size(); ++i) {
    const OrvAppInfo& x = fast.apps[i];
    const OrvAppInfo& y = whole.apps[i];
    EXPECT_EQ(std::tie(x.appid, x.name, x.xh, x.type, x.img, x.code, x.version, x.setupPath),
              std::tie(y.appid, y.name, y.xh, y.type, y.img, y.code, y.version, y.setupPath))
        << text;
  }
  // The plain shape is read without the whole tree: its list is not kept in `root`.
  if (streamed) {
    EXPECT_FALSE(fast.root.isMember("data")) << text;
  }
}

// The list answer is read record by record; whatever that reader does not follow is read
// from the whole tree, so every answer reads as before, refusals and reasons included.
TEST(StreamedListTest, ReadsEveryAnswerAsTheWholeTreeDoes) {
  const std::string item = R"({"appid":"7","name":"记账","xh":"3","0":{"type":"client","code":"K",)"
                           R"("version":"2","img":"http://h/i.png"},"1":{"type":"app","url":"u"}})";
  const struct {
    std::string text;
    bool streamed;
  } kCases[] = {
      {R"({"page":"1","count":2,"tpage":"1","tcount":"2","data":[)" + item + "," + item + "]}",
       true},
      {" {\"data\" : [ " + item + " ] , \"tcount\" : \"1\" } ", true},
      {R"({"data":[],"tcount":"0"})", true},
      {"{}", true},
      {R"({"data":"none","tcount":"4"})", false},
      {R"({"data":[17,"x",null,[]]})", true},
      {"{\"data\":[{\"name\":\"a\xff\xfe b\",\"xh\":\"1\"}]}", true},  // invalid UTF-8
      {R"({"data":[{"name":"\ud800 \"q\" \\","xh":"1"}]})", true},
      {R"({"data":[/* note */)" + item + "]}", false},
      {R"({"data":[1],"data":[)" + item + "]}", false},  // the last member wins
      {R"({"d\u0061ta":[)" + item + "]}", false},
      {R"({"data":[)" + item + ",]}", false},
      {R"({"data":[)" + item + "]} trailing", false},
      {R"({"tcount":truex,"data":[]})", false},
      {R"({"tcount":"1","data":[{"name":"a"})", false},
      {R"({"tcount":1e999,"data":[]})", false},
      {R"({"data":[)" + std::string(300, '[') + std::string(300, ']') + "]}", false},
      {R"(["not an object"])", false},
      {"", false},
  };
  for (const auto& c : kCases) {
    ExpectSameReading<CHotAppCtrl>(c.text, c.streamed);
    ExpectSameReading<CAllWebAppCtrl>(c.text, c.streamed);
    ExpectSameReading<CPrivateDesktopAppCtrl>(c.text, c.streamed);
  }
}

class HotListTest : public ::testing::Test {
 protected:
  orvtest::TempProgramDir m_dir;
  StubHttpServer m_server;
  ScopedEnv m_app{"ORVANTA_HOST_APP", m_server.HostPort()};
};

TEST_F(HotListTest, IconPathIsNamedAfterTheIconUrl) {
  m_server.SetAnswer(server_paths::kHotApps, R"({"tcount":"3","data":[
    {"appid":"1","name":"a","xh":"7","0":{"img":"http://h/icons/1001/icon.png","type":"app"}},
    {"appid":"2","name":"b","xh":"8","0":{"img":"http://other/icons/1001/icon.png","type":"app"}},
    {"appid":"3","name":"c","xh":"9","0":{"img":"http://h/a\\..\\..\\evil.png","type":"app"}}]})");
  CHotAppCtrl hot;
  hot.RunDefault();
  ASSERT_EQ(hot.apps.size(), 3u);
  EXPECT_EQ(hot.apps[0].iconPath, m_dir.Path() + "/HotApp/" + ImageCacheName(hot.apps[0].img));
  // The same file name in another catalogue is another icon.
  EXPECT_NE(hot.apps[0].iconPath, hot.apps[1].iconPath);
  // Separators taken from the answer cannot lead out of the folder.
  EXPECT_EQ(hot.apps[2].iconPath.rfind(m_dir.Path() + "/HotApp/", 0), 0u);
  EXPECT_EQ(hot.apps[2].iconPath.find('/', m_dir.Path().size() + 8), std::string::npos);
}

TEST_F(HotListTest, NamesFromTheAnswerStayInsideTheDownloadFolder) {
  m_server.SetAnswer(server_paths::kHotApps, R"({"data":[
    {"appid":"1","name":"../../etc/x","xh":"1","0":{"type":"client","version":"1/2"}}]})");
  CHotAppCtrl hot;
  hot.RunDefault();
  ASSERT_EQ(hot.apps.size(), 1u);
  EXPECT_EQ(hot.apps[0].setupPath, m_dir.Path() + "/LumoDownloads/.._.._etc_x1_2.exe");
}

TEST_F(HotListTest, AVeryLongNameStillMakesAUsableFileName) {
  const std::string name(10000, 'n');
  m_server.SetAnswer(server_paths::kHotApps, R"({"data":[{"appid":"1","name":")" + name +
                                                 R"(","xh":"1","0":{"type":"client"}}]})");
  CHotAppCtrl hot;
  hot.RunDefault();
  ASSERT_EQ(hot.apps.size(), 1u);
  const std::string file = hot.apps[0].setupPath.substr(hot.apps[0].setupPath.rfind('/') + 1);
  EXPECT_LE(file.size(), 255u);
  EXPECT_EQ(file.substr(file.size() - 4), ".exe");
}

TEST(PrivateListUrlTest, CookieKeyIsEscapedAndPercentEncodedAsGbk) {
  ScopedEnv app("ORVANTA_HOST_APP", "127.0.0.1:1");
  const std::string url = PrivateAppListUrl(server_paths::kMyClientApps, "k\"&#键");
  const std::string query = url.substr(url.find('?') + 1);
  EXPECT_EQ(query.find_first_of("\"&#{} "), std::string::npos) << query;
  EXPECT_EQ(StubHttpServer::PercentDecode(query),
            "in={\"page\":1,\"ckey\":\"k\\\"&#" + plat::Utf8ToGbk("键") + "\"}");
}

}  // namespace
