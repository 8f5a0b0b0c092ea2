// The Qt window base: hooks arrive on the GUI thread in order, calls from other threads never
// wait for it, the process registration ends safely while calls are in flight, and a window
// with a hung worker is destroyed in bounded time.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QThread>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "DownloadTestSupport.h"
#include "common/download/qt/FCDownloadFileWndBase.h"

using namespace dltest;
using namespace std::chrono_literals;

namespace {

class TestDownloadDlg final : public FCDownloadFileWndBase<QDialog> {
 public:
  explicit TestDownloadDlg(QWidget* parent = nullptr) : FCDownloadFileWndBase<QDialog>(parent) {}
  ~TestDownloadDlg() override { EndDownloads(); }

  void OnCheckTime(std::string, std::string) override { Add("checktime"); }
  void OnStartDownload(std::string) override { Add("start"); }
  void OnDownProgress(std::string, int64_t done, int64_t total) override {
    if (hooks.empty() || hooks.back() != "progress") Add("progress");
    lastDone = done;
    lastTotal = total;
  }
  void OnDownFinished(std::string, const char*, int64_t size) override {
    Add("finished");
    finishedSize = size;
  }
  void OnDownError(std::string) override { Add("error"); }

  using FCDownloadFileWndBase<QDialog>::SetDownloadWorkerKind;

  std::vector<std::string> hooks;
  bool allOnGuiThread = true;
  int64_t lastDone = 0, lastTotal = 0, finishedSize = -1;

 private:
  void Add(const std::string& hook) {
    hooks.push_back(hook);
    allOnGuiThread = allOnGuiThread && QThread::currentThread() == qApp->thread();
  }
};

bool Ended(const std::vector<std::string>& hooks) {
  return !hooks.empty() && (hooks.back() == "finished" || hooks.back() == "error");
}

class DownloadWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearProxyEnvironment();
    ASSERT_TRUE(m_server.Ready());
  }
  HttpStandIn m_server;
  orvtest::TempDir m_dir;
};

TEST_F(DownloadWindowTest, HooksArriveOnTheGuiThreadInOrder) {
  TestDownloadDlg dlg;
  const std::string target = m_dir.File("icons/app.png");
  ASSERT_EQ(dlg.DownloadFile(m_server.Url("/file/100000"), target, 0), 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Ended(dlg.hooks); }, 30000));
  EXPECT_EQ(dlg.hooks, (std::vector<std::string>{"checktime", "start", "progress", "finished"}));
  EXPECT_TRUE(dlg.allOnGuiThread);
  EXPECT_EQ(dlg.lastDone, 100000);
  EXPECT_EQ(dlg.lastTotal, 100000);
  EXPECT_EQ(dlg.finishedSize, 100000);
  EXPECT_EQ(orvtest::ReadFile(target), Body(100000));
}

TEST_F(DownloadWindowTest, DownloadFileFromAnotherThreadNeverWaitsForTheGuiThread) {
  TestDownloadDlg dlg;
  const std::string url = m_server.Url("/slow/40000");
  int first = -1, second = -1;
  std::thread caller([&] {
    first = dlg.DownloadFile(url, m_dir.File("a.bin"), 1);
    second = dlg.DownloadFile(url, m_dir.File("a.bin"), 1);
  });
  // The GUI thread runs no event loop while it waits: the calls must not need it.
  caller.join();
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Ended(dlg.hooks); }, 30000));
  EXPECT_EQ(dlg.hooks.back(), "finished");
  EXPECT_TRUE(dlg.allOnGuiThread);
}

TEST_F(DownloadWindowTest, WindowTornDownDuringBannerDownloadsNeitherCrashesNorDeadlocks) {
  for (int round = 0; round < 5; ++round) {
    auto dlg = std::make_unique<TestDownloadDlg>();
    auto scope = std::make_unique<ProcessDownloadWindowScope>(*dlg);
    std::atomic<bool> stop{false};
    std::atomic<int> started{0};
    // A request thread starting banner downloads while the window goes.
    std::thread requests([&] {
      for (int i = 0; !stop; ++i) {
        started += StartProcessDownload(m_server.Url("/slow/16384?b=" + std::to_string(i)),
                                        m_dir.File("banner" + std::to_string(i)), 1);
      }
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return started > 3; }, 10000));
    const auto begin = std::chrono::steady_clock::now();
    scope.reset();  // the GUI thread ends the registration while calls are in flight
    dlg.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
    EXPECT_EQ(StartProcessDownload(m_server.Url("/file/1"), m_dir.File("late"), 1), 0);
    stop = true;
    requests.join();
  }
}

TEST_F(DownloadWindowTest, FtpWorkerKindReportsErrorForAnUnreachableServer) {
  TestDownloadDlg dlg;
  dlg.SetDownloadWorkerKind(DownloadWorkerKind::Ftp);
  ASSERT_EQ(dlg.DownloadFile("ftp://u:p@127.0.0.1:1/Setup.exe", m_dir.File("s.bin"), -15), 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Ended(dlg.hooks); }, 30000));
  EXPECT_EQ(dlg.hooks, (std::vector<std::string>{"error"}));
}

TEST_F(DownloadWindowTest, DestroyingTheWindowEndsAWaitingTransferAtOnce) {
  auto dlg = std::make_unique<TestDownloadDlg>();
  ASSERT_EQ(dlg->DownloadFile(m_server.Url("/hang"), m_dir.File("hang.bin"), 0), 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Hits(m_server, "/hang") == 1; }, 10000));
  auto started = std::chrono::steady_clock::now();
  dlg.reset();
  // The worker sees its owner gone within about a second and ends; no 10 s wait.
  EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
  EXPECT_FALSE(plat::FileExists(m_dir.File("hang.bin")));
}

TEST_F(DownloadWindowTest, DestroyingTheWindowWithAHungWorkerWaitsTenSecondsAtMost) {
  // A FIFO without a reader in place of the temporary file: opening it blocks the worker
  // where it cannot see its owner go.
  const std::string target = m_dir.File("stuck.bin");
  ASSERT_EQ(mkfifo((target + ".part").c_str(), 0600), 0);
  auto dlg = std::make_unique<TestDownloadDlg>();
  ASSERT_EQ(dlg->DownloadFile(m_server.Url("/file/100000"), target, 0), 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->hooks.size() == 2; }, 10000));  // started
  auto started = std::chrono::steady_clock::now();
  dlg.reset();
  auto took = std::chrono::steady_clock::now() - started;
  EXPECT_GE(took, 9s);
  EXPECT_LT(took, 11s);
  // Nothing queued for the dead window runs afterwards.
  QTest::qWait(20);
}

}  // namespace

int main(int argc, char** argv) {
  // Offscreen unless the environment says otherwise (test discovery runs without it).
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
