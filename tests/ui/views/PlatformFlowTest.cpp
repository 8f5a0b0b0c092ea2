// The my-apps page, the app centre and the actions against the stand-in platform, with a
// registry root of the test's own and a real download window: an application installed
// from its tile turns to "运行" when its installer registers it, and back to "未安装" when
// its uninstaller removes the registration; adding and deleting change the user's list.
#include <gtest/gtest.h>

#include <QTest>

#include <filesystem>

#include "StandInHost.h"
#include "client/apps/InstallState.h"
#include "client/base/MachineRegistry.h"
#include "client/ui/views/CAppCenterDlg.h"
#include "client/ui/views/CMyAppDlg.h"
#include "client/ui/views/COrvAppButton.h"
#include "common/download/qt/FCDownloadFileWndBase.h"
#include "support/TestSupport.h"
#include "ui/UiTestSupport.h"

namespace {

namespace fs = std::filesystem;
using orvtest::PlatformSim;
using orvtest::WaitPumping;

// The stand-in window with a real download window under it: finished downloads and
// progress reach the pages as the main window routes them.
class DownloadHost final : public FCDownloadFileWndBase<QWidget>, public StandInHost {
 public:
  using StandInHost::actions;
  using StandInHost::window;
  void OnCheckTime(std::string, std::string) override {}
  void OnDownFinished(std::string url, const char*, int64_t) override { finished.push_back(url); }
  void OnDownError(std::string url) override { failed.push_back(url); }
  void OnDownProgress(std::string url, int64_t done, int64_t total) override {
    const int percent = total == 0 ? 0 : static_cast<int>(done * 100 / total);
    if (centre) centre->ShowProgress(url, percent);
  }
  int DownloadFile(const std::string& url, const std::string& localPath, int priority) override {
    StandInHost::DownloadFile(url, localPath, priority);
    return FCDownloadFileWndBase<QWidget>::DownloadFile(url, localPath, priority);
  }

  std::vector<std::string> finished;
  std::vector<std::string> failed;
  CAppCenterDlg* centre = nullptr;
};

COrvAppButton* TileOf(const std::vector<COrvAppButton*>& tiles, int appid) {
  for (COrvAppButton* tile : tiles)
    if (tile->Record()->appid == appid) return tile;
  return nullptr;
}

int CountImg(const AppList& list, const std::string& img) {
  int n = 0;
  for (const AppRecord& record : list.records) n += record->img == img;
  return n;
}

class PlatformFlowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_sim = new PlatformSim; }
  static void TearDownTestSuite() {
    delete s_sim;
    s_sim = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(s_sim->Started()) << "the simulator did not start";
    m_env = s_sim->ExportHosts();
    m_env.push_back(std::make_unique<orvtest::ScopedEnv>("ORVANTA_BIN", ORV_BIN_DIR));
    m_env.push_back(
        std::make_unique<orvtest::ScopedEnv>("ORVANTA_APPS_ROOT", m_dir.Path() + "/apps"));
    host.useLists = true;
    host.allowFetch = true;
    host.session.loggedIn = 1;
    host.session.cookieKey = "demo-ckey";
    host.session.userName = "demo";
    host.actions = &actions;
  }

  // The list after a request (fetches run at once here).
  const AppList& Fetched(AppListKind kind) {
    host.lists.Request(kind);
    return host.lists.Held(kind);
  }
  // Installs application 1002 from its my-apps tile, then uninstalls it; waitMs bounds
  // each wait for the registry and the tile.
  void InstallFromMyAppsThenUninstall(int waitMs);

  static PlatformSim* s_sim;
  std::vector<std::unique_ptr<orvtest::ScopedEnv>> m_env;
  orvtest::TempProgramDir m_dir;
  DownloadHost host;
  CAppActions actions{host, host.lists};
  BoxAnswers boxes;
};

PlatformSim* PlatformFlowTest::s_sim = nullptr;

// Installers served while this lives pause `seconds` after creating their Uninstall key
// and between its values, as an installer that registers slowly does.
class SlowRegistration {
 public:
  SlowRegistration(const PlatformSim& sim, double seconds) : m_sim(sim) {
    m_ok = Set("{\"pause\": " + std::to_string(seconds) + "}");
  }
  ~SlowRegistration() { Set("{}"); }
  bool Ok() const { return m_ok; }

 private:
  bool Set(const std::string& body) const {
    const auto it = m_sim.Hosts().find("ORVANTA_SIM_CONTROL");
    if (it == m_sim.Hosts().end()) return false;
    const std::string script =
        "import sys,urllib.request\n"
        "urllib.request.urlopen(sys.argv[1], data=sys.argv[2].encode()).read()\n";
    return orvtest::RunCommand({ORV_PYTHON, "-c", script,
                                "http://" + it->second + "/slow-registration", body}) == 0;
  }
  const PlatformSim& m_sim;
  bool m_ok = false;
};

void PlatformFlowTest::InstallFromMyAppsThenUninstall(int waitMs) {
  CMyAppDlg page(host, &host.window);
  host.Listen(page);
  page.resize(846, 435);
  // The window works the held states out again and refreshes the my-apps page's states
  // when the Uninstall key changes.
  UninstallKeyWatcher watcher(
      [this, &page] {
        QMetaObject::invokeMethod(&page, [this, &page] {
          host.lists.RefreshInstallStates();
          page.RefreshStates();
        });
      },
      200);
  ASSERT_TRUE(watcher.Start());

  page.ChooseTab(0);
  COrvAppButton* tile = TileOf(page.DesktopTiles(), 1002);
  ASSERT_NE(tile, nullptr);
  EXPECT_EQ(tile->State(), tile_state::kNotInstalled);
  const AppRecord record = tile->Record();

  // First start: the installer is downloaded.
  boxes.answers = {CMessageBoxDialog::kIdYes};
  tile->click();
  ASSERT_EQ(host.downloads.size(), 1u);
  EXPECT_EQ(host.downloads[0].priority, -15);
  ASSERT_TRUE(WaitPumping([&] { return !host.finished.empty() || !host.failed.empty(); }));
  ASSERT_TRUE(host.failed.empty());
  ASSERT_TRUE(fs::exists(record->setupPath));

  // Second start: the installer runs with /silent and registers the application; the
  // watcher turns the tile to "运行" without a restart.
  QTest::qWait(50);
  tile = TileOf(page.DesktopTiles(), 1002);
  boxes.answers = {CMessageBoxDialog::kIdYes};
  tile->click();
  ASSERT_TRUE(WaitPumping(
      [&] {
        COrvAppButton* t = TileOf(page.DesktopTiles(), 1002);
        return t && t->State() == tile_state::kRun;
      },
      waitMs));
  tile = TileOf(page.DesktopTiles(), 1002);
  EXPECT_EQ(tile->accessibleDescription(), QStringLiteral("运行"));
  EXPECT_TRUE(boxes.shown_boxes.size() == 2u);
  // The tile may turn before the installer's last value (a slow one's UninstallString).
  ASSERT_TRUE(WaitPumping(
      [&] { return !ReadUninstallValue(record->code, "UninstallString").empty(); }, waitMs));

  // Uninstall: the registered uninstaller runs and the tile is "未安装" again.
  EXPECT_TRUE(host.SendAppAction(AppAction::Uninstall, record, AppListKind::PrivateDesktop));
  ASSERT_TRUE(WaitPumping(
      [&] {
        COrvAppButton* t = TileOf(page.DesktopTiles(), 1002);
        return t && t->State() == tile_state::kNotInstalled;
      },
      waitMs));
  // Its installer stays under LumoDownloads, so the next press installs at once.
  EXPECT_EQ(TileOf(page.DesktopTiles(), 1002)->accessibleDescription(),
            QStringLiteral("已下载，再次按下即可安装"));
  EXPECT_EQ(boxes.shown_boxes.size(), 2u);  // no "本地文件不存在!"
  watcher.Stop();
}

TEST_F(PlatformFlowTest, InstallFromMyAppsThenUninstallFollowsTheRegistry) {
  InstallFromMyAppsThenUninstall(20000);
}

TEST_F(PlatformFlowTest, AnInstallerThatRegistersSlowlyStillTurnsTheTileToRun) {
  // 1.5 s after creating its key, then 1.5 s before each value: the watcher reads the
  // entry part-written, and only the later writes bring the tile to "运行".
  SlowRegistration slow(*s_sim, 1.5);
  ASSERT_TRUE(slow.Ok());
  InstallFromMyAppsThenUninstall(60000);
}

TEST_F(PlatformFlowTest, AddAndDeleteChangeTheUsersList) {
  host.lists.Request(AppListKind::AllDesktop);
  const AppList& all = host.lists.Held(AppListKind::AllDesktop);
  ASSERT_FALSE(all.records.empty());
  AppRecord held, fresh;
  for (const AppRecord& r : all.records) {
    if (r->appid == 1002) held = r;
    if (r->appid == 1004) fresh = r;
  }
  ASSERT_TRUE(held && fresh);
  host.lists.Request(AppListKind::PrivateDesktop);
  const AppRecord oldRecord = host.lists.Held(AppListKind::PrivateDesktop).records.at(0);

  // The subscription requests run on a worker: their answers come back a moment later.
  auto answered = [&](size_t pages) {
    return QTest::qWaitFor([&] { return host.pages.size() == pages; }, 10000);
  };
  // Already among the user's applications: the server's answer, no duplicate, my apps.
  EXPECT_TRUE(host.SendAppAction(AppAction::Add, held, AppListKind::AllDesktop));
  ASSERT_TRUE(answered(1));
  ASSERT_EQ(boxes.shown_boxes.size(), 1u);
  EXPECT_EQ(boxes.shown_boxes[0].text, QStringLiteral("已安装过应用"));
  EXPECT_EQ(CountImg(host.lists.Held(AppListKind::PrivateDesktop), held->img), 1);
  EXPECT_EQ(host.pages, std::vector<int>{2});

  // A new one: confirmed; the lists fetched again hold it once.
  EXPECT_TRUE(host.SendAppAction(AppAction::Add, fresh, AppListKind::AllDesktop));
  ASSERT_TRUE(answered(2));
  EXPECT_EQ(boxes.shown_boxes.back().text, QStringLiteral("安装验证成功"));
  EXPECT_EQ(CountImg(host.lists.Held(AppListKind::PrivateDesktop), fresh->img), 1);
  EXPECT_EQ(host.pages, (std::vector<int>{2, 2}));
  ASSERT_EQ(host.appLogs.size(), 2u);
  EXPECT_EQ(host.appLogs[1].appclienttype, 1);

  // A tile's record from before the lists were fetched again is still whole.
  EXPECT_FALSE(oldRecord->name.empty());
  EXPECT_FALSE(oldRecord->img.empty());

  // Delete a web application: only its list changes, my apps is rebuilt.
  AppRecord web = Fetched(AppListKind::PrivateWeb).records.at(0);
  const int rebuilds = host.myAppsRebuilds;
  EXPECT_TRUE(host.SendAppAction(AppAction::Delete, web, AppListKind::PrivateWeb));
  ASSERT_TRUE(QTest::qWaitFor([&] { return host.myAppsRebuilds == rebuilds + 1; }, 10000));
  EXPECT_EQ(boxes.shown_boxes.back().text, QStringLiteral("删除成功"));
  EXPECT_EQ(CountImg(host.lists.Held(AppListKind::PrivateWeb), web->img), 0);
  EXPECT_EQ(host.myAppsRebuilds, rebuilds + 1);
  EXPECT_EQ(host.appLogs.back().appclienttype, 0);
}

TEST_F(PlatformFlowTest, AppCentreShowsTheCatalogueWithTheUsersStates) {
  CAppCenterDlg page(host, &host.window);
  page.resize(846, 435);
  // The sim's subscriptions change between tests: the user's lists say what to expect.
  const AppRecord myWeb = Fetched(AppListKind::PrivateWeb).records.at(0);
  const AppRecord myDesktop = Fetched(AppListKind::PrivateDesktop).records.at(0);
  page.RebuildButtons();
  ASSERT_EQ(page.WebTiles().size(), 20u);
  for (COrvAppButton* tile : page.WebTiles()) {
    const bool mine = CountImg(host.lists.Held(AppListKind::PrivateWeb), tile->Key()) > 0;
    EXPECT_EQ(tile->Added(), mine);
    EXPECT_EQ(tile->State(), mine ? tile_state::kRun : tile_state::kNone);
  }
  EXPECT_TRUE(TileOf(page.WebTiles(), myWeb->appid)->Added());
  page.ChooseTab(0);
  ASSERT_EQ(page.DesktopTiles().size(), 20u);
  for (COrvAppButton* tile : page.DesktopTiles()) {
    const bool mine = CountImg(host.lists.Held(AppListKind::PrivateDesktop), tile->Key()) > 0;
    EXPECT_EQ(tile->Added(), mine);
    EXPECT_EQ(tile->State(), mine ? tile_state::kNotInstalled : tile_state::kNone);
  }
  EXPECT_TRUE(TileOf(page.DesktopTiles(), myDesktop->appid)->Added());
  // The catalogue is held: a second rebuild fetches nothing.
  page.RebuildButtons();
  EXPECT_EQ(host.lists.FetchCount(AppListKind::AllDesktop), 1);
}

}  // namespace
