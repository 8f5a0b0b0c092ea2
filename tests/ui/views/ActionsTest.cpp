// The application actions against stand-in programs: installers and uninstallers that
// record their arguments, a browser launcher first on PATH, and the thread log.
#include <gtest/gtest.h>

#include <QTest>

#include <filesystem>

#include "StandInHost.h"
#include "client/base/CThreadLog.h"
#include "client/base/MachineRegistry.h"
#include "client/base/ServerConfig.h"
#include "client/base/ShellText.h"
#include "platform/LinkGate.h"
#include "platform/ProgramDir.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using orvtest::ReadFile;
using orvtest::WaitUntil;
using orvtest::WriteFile;

// A program that writes its arguments, one per line, to `record`.
std::string RecordingScript(const std::string& record) {
  return "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + record + ".tmp'\nmv '" + record +
         ".tmp' '" + record + "'\n";
}

void WriteProgram(const std::string& path, const std::string& record, bool executable) {
  fs::create_directories(fs::path(path).parent_path());
  WriteFile(path, RecordingScript(record));
  fs::permissions(
      path, executable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
}

void Register(const std::string& code, const std::string& name, const std::string& text) {
  const std::string key = MachineSoftwareKey(std::string(kUninstallPath) + code);
  plat::reg::CreateKey(key);
  plat::reg::Value value;
  value.name = name;
  value.text = text;
  plat::reg::WriteValue(key, value);
}

std::string TodaysLog() {
  CThreadLog::Instance()->Flush();
  return GbkToUtf8(ReadFile(plat::JoinProgramPath(CThreadLog::FileNameFor(std::time(nullptr)))));
}

class ActionsTest : public ::testing::Test {
 protected:
  ActionsTest() : actions(host, host.lists) {
    host.actions = &actions;
    host.session.loggedIn = 1;
    host.session.cookieKey = "ck";
    host.session.userName = "demo";
  }
  std::string Record(const std::string& name) const { return dir.Path() + "/" + name; }
  std::vector<std::string> ArgsIn(const std::string& record) {
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(record); })) << record;
    std::vector<std::string> lines;
    std::string text = ReadFile(record);
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = text.find('\n', pos);
      lines.push_back(text.substr(pos, end - pos));
      pos = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
  }

  orvtest::TempProgramDir dir;
  orvtest::ScopedEnv web{"ORVANTA_HOST_WEB",
                         "127.0.0.1:" + std::to_string(orvtest::ClosedLoopbackPort())};
  StandInHost host;
  CAppActions actions;
  BoxAnswers boxes;
};

TEST(ActionsParseTest, SharePageEncodesWhatIsNotSafe) {
  orvtest::ScopedEnv web("ORVANTA_HOST_WEB", "127.0.0.1:8123");
  EXPECT_EQ(CAppActions::SharePageUrl("AbC-12", "2001"),
            "http://127.0.0.1:8123/index.html?page=share.html?cookiekey=AbC-12&appid=2001");
  EXPECT_EQ(CAppActions::SharePageUrl("a&b c", "7"),
            "http://127.0.0.1:8123/index.html?page=share.html?cookiekey=a%26b%20c&appid=7");
  EXPECT_EQ(CAppActions::SharePageUrl("", "7"),
            "http://127.0.0.1:8123/index.html?page=share.html?cookiekey=&appid=7");
}

TEST_F(ActionsTest, ActivateDownloadsTheInstallerThenRunsItSilently) {
  auto app = std::make_shared<OrvAppInfo>(*MakeRecord(1001, "client", "1", "Sample1001", "1.0"));
  app->setupPath = plat::JoinProgramPath("\\LumoDownloads\\应用10011.0.exe");
  const std::string record = Record("installer-args");
  // The stand-in download writes the installer without its run bit, as a download does.
  host.onDownload = [&](const std::string&, const std::string& path) {
    WriteProgram(path, record, false);
    return 1;
  };

  EXPECT_TRUE(host.SendAppAction(AppAction::Activate, app, AppListKind::PrivateDesktop));
  ASSERT_EQ(host.downloads.size(), 1u);
  EXPECT_EQ(host.downloads[0].url, app->downurl);
  EXPECT_EQ(host.downloads[0].path, app->setupPath);
  EXPECT_EQ(host.downloads[0].priority, -15);
  EXPECT_TRUE(boxes.shown_boxes.empty());
  EXPECT_FALSE(fs::exists(record));

  EXPECT_TRUE(host.SendAppAction(AppAction::Activate, app, AppListKind::PrivateDesktop));
  EXPECT_EQ(host.downloads.size(), 1u);
  EXPECT_EQ(ArgsIn(record), std::vector<std::string>{"/silent"});
  EXPECT_TRUE(boxes.shown_boxes.empty());

  ASSERT_EQ(host.appLogs.size(), 2u);
  EXPECT_EQ(host.appLogs[0].appwz, 2);
  EXPECT_EQ(host.appLogs[0].appclienttype, 2);
  EXPECT_EQ(host.appLogs[0].app.appid, 1001);
  const std::string log = TodaysLog();
  EXPECT_NE(log.find("    CKivoDlg::OnActivateOrvApp    "), std::string::npos);
  EXPECT_NE(log.find("CKivoDlg::ActivateLocalApp 执行成功！"), std::string::npos);
  EXPECT_NE(log.find("CKivoDlg::OnActivateOrvApp 执行成功!"), std::string::npos);
}

TEST_F(ActionsTest, ActivateStartsTheRegisteredProgramDespiteAnIconIndex) {
  const std::string program = Record("my app/start.sh");
  const std::string record = Record("start-args");
  WriteProgram(program, record, true);
  Register("Installed1", "DisplayIcon", "\"" + program + "\",0");
  auto app = MakeRecord(1001, "client", "1", "Installed1", "1.0");
  host.SendAppAction(AppAction::Activate, app, AppListKind::Hot);
  EXPECT_EQ(ArgsIn(record), std::vector<std::string>{});
  EXPECT_TRUE(boxes.shown_boxes.empty());

  // A registered program that is gone: the box.
  Register("Gone", "DisplayIcon", Record("gone/run.sh"));
  host.SendAppAction(AppAction::Activate, MakeRecord(1002, "client", "2", "Gone"),
                     AppListKind::Hot);
  ASSERT_EQ(boxes.shown_boxes.size(), 1u);
  EXPECT_EQ(boxes.shown_boxes[0].text, QStringLiteral("本地文件不存在!"));
}

TEST_F(ActionsTest, UninstallRunsTheRegisteredCommandWithSilentAppended) {
  const std::string program = Record("un dir/uninstall.sh");
  const std::string record = Record("uninstall-args");
  WriteProgram(program, record, true);
  Register("App1", "UninstallString", "\"" + program + "\" --keep-data");
  host.SendAppAction(AppAction::Uninstall, MakeRecord(1001, "client", "1", "App1"),
                     AppListKind::PrivateDesktop);
  EXPECT_EQ(ArgsIn(record), (std::vector<std::string>{"--keep-data", "/silent"}));

  // Unregistered: the log line only.
  boxes.shown_boxes.clear();
  EXPECT_TRUE(host.SendAppAction(AppAction::Uninstall, MakeRecord(1002, "client", "2", "None"),
                                 AppListKind::PrivateDesktop));
  EXPECT_TRUE(boxes.shown_boxes.empty());
  EXPECT_EQ(host.appLogs.size(), 2u);
  EXPECT_NE(TodaysLog().find("CKivoDlg::OnUnInstallOrvApp 程序未安装!"), std::string::npos);

  // A registered uninstaller that does not exist.
  Register("App3", "UninstallString", Record("missing/uninstall.sh") + " /x");
  host.SendAppAction(AppAction::Uninstall, MakeRecord(1003, "client", "3", "App3"),
                     AppListKind::PrivateDesktop);
  ASSERT_EQ(boxes.shown_boxes.size(), 1u);
  EXPECT_EQ(boxes.shown_boxes[0].text, QStringLiteral("本地文件不存在!"));
}

TEST_F(ActionsTest, UpgradeWithoutInstallerStartsTheDownloadAndSaysSo) {
  auto app = std::make_shared<OrvAppInfo>(*MakeRecord(1001, "client", "1", "A", "2.0"));
  app->setupPath = Record("LumoDownloads/a.exe");
  host.SendAppAction(AppAction::Upgrade, app, AppListKind::Hot);
  ASSERT_EQ(host.downloads.size(), 1u);
  EXPECT_EQ(host.downloads[0].priority, -15);
  ASSERT_EQ(boxes.shown_boxes.size(), 1u);
  EXPECT_EQ(boxes.shown_boxes[0].text, QStringLiteral("正在后台下载，请稍后重试"));
  ASSERT_EQ(host.appLogs.size(), 1u);
  EXPECT_EQ(host.appLogs[0].appclienttype, 3);
}

TEST_F(ActionsTest, AnInstallerWithoutAnAddressIsRefusedWithABoxNotSilence) {
  for (AppAction action : {AppAction::Activate, AppAction::Upgrade}) {
    boxes.shown_boxes.clear();
    auto app = std::make_shared<OrvAppInfo>(*MakeRecord(1001, "client", "1", "A", "2.0"));
    app->downurl.clear();
    app->setupPath = Record("LumoDownloads/a.exe");
    host.SendAppAction(action, app, AppListKind::Hot);
    EXPECT_TRUE(host.downloads.empty());
    ASSERT_EQ(boxes.shown_boxes.size(), 1u);  // one box: not also "downloading"
    EXPECT_EQ(boxes.shown_boxes[0].text, QStringLiteral("无法下载安装程序!"));
  }
}

TEST_F(ActionsTest, WebApplicationOpensTheSharePageWithTheCookieKey) {
  const std::string bin = Record("bin");
  const std::string record = Record("browser-args");
  WriteProgram(bin + "/xdg-open", record, true);
  orvtest::ScopedEnv path("PATH", bin + ":" + std::getenv("PATH"));
  const std::string runtime = Record("run");
  fs::create_directories(runtime);
  fs::permissions(runtime, fs::perms::owner_all);
  orvtest::ScopedEnv xdg("XDG_RUNTIME_DIR", runtime);
  host.session.cookieKey = "";  // signed in with an empty key: the key is still sent
  host.SendAppAction(AppAction::Activate, MakeRecord(2001, "app", "1"), AppListKind::PrivateWeb);
  // The browser gets an owner-only redirect page, not the URL with its key.
  const std::vector<std::string> args = ArgsIn(record);
  ASSERT_EQ(args.size(), 1u);
  const std::string prefix = "file://" + runtime + "/";
  ASSERT_EQ(args[0].rfind(prefix, 0), 0u) << args[0];
  EXPECT_EQ(ReadFile(args[0].substr(7)),
            plat::RedirectPageHtml(
                ServerUrl(ServerKind::Web, "/index.html?page=share.html?cookiekey=&appid=2001")));
  EXPECT_TRUE(host.loginDialogs.empty());
  EXPECT_NE(TodaysLog().find("CKivoDlg::ActivateWebApp 执行成功！"), std::string::npos);
}

TEST_F(ActionsTest, SignedOutAndLoginCancelledShowsLoginFailedAndSendsNothing) {
  const std::string bin = Record("bin");
  const std::string record = Record("browser-args");
  WriteProgram(bin + "/xdg-open", record, true);
  orvtest::ScopedEnv path("PATH", bin + ":" + std::getenv("PATH"));
  host.session.loggedIn = 0;
  const AppRecord app = MakeRecord(2001, "app", "1");
  for (AppAction action : {AppAction::Delete, AppAction::Add, AppAction::Activate}) {
    EXPECT_TRUE(host.SendAppAction(action, app, AppListKind::PrivateWeb));
  }
  // Add clears the window's full repaint while its dialog is open; the others do not.
  EXPECT_EQ(host.loginDialogs, (std::vector<bool>{false, true, false}));
  ASSERT_EQ(boxes.shown_boxes.size(), 3u);
  for (const ShownBox& box : boxes.shown_boxes) EXPECT_EQ(box.text, QStringLiteral("登录失败！"));
  // Only the activation queues its usage record, whatever its outcome.
  ASSERT_EQ(host.appLogs.size(), 1u);
  EXPECT_EQ(host.appLogs[0].appclienttype, 2);
  EXPECT_EQ(host.myAppsRebuilds, 0);
  EXPECT_TRUE(host.pages.empty());
  EXPECT_EQ(host.lists.FetchCount(AppListKind::PrivateWeb), 0);
  QTest::qWait(200);
  EXPECT_FALSE(fs::exists(record));

  // Without a record nothing is done.
  EXPECT_FALSE(host.SendAppAction(AppAction::Delete, nullptr, AppListKind::PrivateWeb));
}

}  // namespace
