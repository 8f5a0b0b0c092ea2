// The diagnosis page: the run's progress and rows, a stop request, a second run, the
// software report from row 6, and closing the page while checks hang on the network.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QProgressBar>
#include <QTest>

#include "DialogTestSupport.h"
#include "client/base/CIniFile.h"
#include "client/ui/dialogs/CSystemDiagnoseDlg.h"
#include "client/ui/dialogs/DialogWidgets.h"
#include "controls/CSkinBtn.h"
#include "controls/SkinImages.h"
#include "requests/StubHttpServer.h"

namespace {

using orvtest::MessageBoxCatcher;
using orvtest::ProcessUntil;
using orvtest::ScopedEnv;
using Dlg = CSystemDiagnoseDlg;

const char* const kReportPath = "/lumo-server/client/systemCheck/addOrModify.action";

using orvtest::SilentServer;

class SystemDiagnoseDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Settings with every address empty: the network checks fail at once.
    mkdir((m_dir.Path() + "/image").c_str(), 0755);
    orvtest::WriteFile(m_dir.Path() + "/image/config.ini", "[NetWork]\r\nTestPoint1=\r\n");
    m_report.SetAnswer(kReportPath, R"({"hintInfo":"操作成功"})");
    m_page = std::make_unique<Dlg>();
    m_page->show();
    QObject::connect(Progress(), &QProgressBar::valueChanged,
                     [this](int v) { m_progress.emplace_back(v, m_clock.elapsed()); });
    m_clock.start();
  }

  QProgressBar* Progress() { return m_page->findChild<QProgressBar*>("progress"); }
  CClickText* Text(const char* kind, int row) {
    return m_page->findChild<CClickText*>(QString::fromUtf8(kind) + QString::number(row));
  }
  CPngPicture* Icon(int row) {
    return m_page->findChild<CPngPicture*>(QStringLiteral("rowIcon") + QString::number(row));
  }
  QString Status() { return m_page->findChild<QLabel*>("status")->text(); }
  void ClickStartStop() { m_page->findChild<CSkinBtn*>("startStop")->click(); }
  bool RunUntilState(int state) {
    return ProcessUntil([&] { return m_page->CurrentRunState() == state; });
  }
  int ReportsSent() const {
    int n = 0;
    for (const std::string& t : m_report.Targets()) n += t.rfind(kReportPath, 0) == 0;
    return n;
  }
  void ExpectIdleRows() {
    for (int row = 1; row <= Dlg::kRowCount; ++row) {
      EXPECT_EQ(Text("rowName", row)->text().toStdString(), DiagnosisCheckName(row)) << row;
      EXPECT_EQ(Text("rowResult", row)->text(), "") << row;
      EXPECT_EQ(Icon(row)->ImageName(), "image\\SystemDiagnose\\current.png") << row;
    }
  }

  orvtest::TempProgramDir m_dir;
  orvtest::StubHttpServer m_report;
  ScopedEnv m_diagnosisHost{"ORVANTA_HOST_DIAGNOSIS", m_report.HostPort()};
  ScopedEnv m_updateHost{"ORVANTA_HOST_UPDATE",
                         "127.0.0.1:" + std::to_string(orvtest::ClosedLoopbackPort())};
  std::unique_ptr<Dlg> m_page;
  QElapsedTimer m_clock;
  std::vector<std::pair<int, qint64>> m_progress;  // value, ms since start
};

TEST_F(SystemDiagnoseDlgTest, RunStepsTheProgressAndReaches100OnlyAfterThePause) {
  EXPECT_EQ(Status(), "请点击开始扫描");
  ExpectIdleRows();
  ClickStartStop();
  EXPECT_EQ(m_page->CurrentRunState(), Dlg::kRunning);
  EXPECT_EQ(Status(), "正在进行检测，请稍候...");
  EXPECT_EQ(m_page->findChild<CPngPicture*>("statePicture")->ImageName(),
            "image\\SystemDiagnose\\scanning.png");
  ASSERT_TRUE(RunUntilState(Dlg::kFinished));

  std::vector<int> values;
  for (const auto& [v, t] : m_progress) values.push_back(v);
  EXPECT_EQ(values, (std::vector<int>{10, 20, 40, 60, 70, 80, 90, 100}));
  ASSERT_EQ(m_progress.size(), 8u);
  EXPECT_GE(m_progress[7].second - m_progress[6].second, Dlg::kFinalPauseMs - 50);

  EXPECT_EQ(Status(), "检测完成！");
  EXPECT_EQ(m_page->findChild<CPngPicture*>("statePicture")->ImageName(),
            "image\\SystemDiagnose\\detectOver.png");
  EXPECT_EQ(m_page->findChild<CSkinBtn*>("startStop")->accessibleName(), "开始扫描");
  // Rows as the outcome table says: an unreachable network, the software row to submit.
  EXPECT_EQ(Text("rowName", 1)->text(), "网络连通检测：请检查是否接入互联网，或与管理员联系");
  EXPECT_EQ(Text("rowResult", 1)->text(), "异常");
  EXPECT_EQ(Icon(1)->ImageName(), "image\\SystemDiagnose\\检测未通过.png");
  EXPECT_EQ(Text("rowResult", 6)->text(), "点击提交");
  EXPECT_EQ(Icon(6)->ImageName(), "image\\SystemDiagnose\\检测通过.png");
  EXPECT_EQ(Text("rowName", 5)->text(), "财务控件安装情况检测：未检测到财税控件");
  EXPECT_EQ(Text("rowResult", 5)->text(), "正常");
  EXPECT_EQ(Icon(5)->ImageName(), "image\\SystemDiagnose\\检测异常.png");
  // The rows speak their label and result.
  EXPECT_EQ(Text("rowName", 1)->accessibleDescription(), "异常");
  EXPECT_EQ(Text("rowResult", 1)->accessibleName(),
            "网络连通检测：请检查是否接入互联网，或与管理员联系：异常");
  orvtest::SaveShot(*m_page, "diagnosis_finished");
}

// A stop request lets the checks finish, then the page is idle with the rows cleared.
TEST_F(SystemDiagnoseDlgTest, StopDuringARunEndsOnTheIdlePage) {
  ClickStartStop();
  ClickStartStop();  // running: a stop request, not a second run
  EXPECT_EQ(m_page->CurrentRunState(), Dlg::kRunning);
  ASSERT_TRUE(ProcessUntil([&] { return m_page->CurrentRunState() == Dlg::kIdle; }));
  ASSERT_FALSE(m_progress.empty());
  EXPECT_EQ(m_progress.back().first, 0);
  EXPECT_EQ(m_progress[m_progress.size() - 2].first, 100);  // every check ran
  EXPECT_EQ(Status(), "请点击开始扫描");
  ExpectIdleRows();

  // The next run finishes normally again.
  ASSERT_TRUE(ProcessUntil([&] {
    ClickStartStop();
    return m_page->CurrentRunState() == Dlg::kRunning;
  }));
  ASSERT_TRUE(RunUntilState(Dlg::kFinished));
}

TEST_F(SystemDiagnoseDlgTest, SecondRunStartsFromAResetPageWithoutAccumulatingDetails) {
  ClickStartStop();
  ASSERT_TRUE(RunUntilState(Dlg::kFinished));
  const QString failed = Text("rowName", 1)->text();
  ClickStartStop();
  EXPECT_EQ(Progress()->value(), 0);
  ExpectIdleRows();
  ASSERT_TRUE(RunUntilState(Dlg::kFinished));
  EXPECT_EQ(Text("rowName", 1)->text(), failed);
  EXPECT_EQ(Text("rowName", 2)->text(), "服务器检测：无法连接VPN服务器，请与管理员联系");
}

TEST_F(SystemDiagnoseDlgTest, RowSixSubmitsOnlyAfterARunEvenWithEverySlotEmpty) {
  MessageBoxCatcher boxes;
  QTest::mouseClick(Text("rowResult", 6), Qt::LeftButton);
  orvtest::ProcessFor(std::chrono::milliseconds(100));
  EXPECT_EQ(ReportsSent(), 0);
  EXPECT_TRUE(boxes.Texts().isEmpty());

  ClickStartStop();
  ASSERT_TRUE(RunUntilState(Dlg::kFinished));
  QTest::mouseClick(Text("rowResult", 6), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.Texts().size() == 1; }, 10000));
  EXPECT_EQ(ReportsSent(), 1);
  EXPECT_EQ(boxes.Texts()[0], "提交成功！");
  const std::string query = m_report.LastQueryDecoded(kReportPath);
  for (const char* product : {"\"ufidaU8\":null", "\"graspPersonal\":null"}) {
    EXPECT_NE(query.find(product), std::string::npos) << query;
  }

  // A refused report can be sent again.
  m_report.SetAnswer(kReportPath, R"({"hintInfo":"操作失败"})");
  QTest::mouseClick(Text("rowResult", 6), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.Texts().size() == 2; }, 10000));
  EXPECT_EQ(ReportsSent(), 2);
  EXPECT_EQ(boxes.Texts()[1], "提交失败！");
  EXPECT_EQ(boxes.Captions()[1], "Orvanta");
}

// Closing the page while a check waits on a silent server ends the run at once, whichever
// check is waiting: a probe (check 1), the file-list fetch (3) or the update check (4).
TEST_F(SystemDiagnoseDlgTest, DestroyingThePageDuringARunReturnsWithinASecond) {
  SilentServer silent;
  const std::string silentHost = silent.Url().substr(7, silent.Url().size() - 8);
  struct Case {
    const char* section;
    const char* key;
    int progressBefore;  // the last step shown before the waiting check
  };
  for (const Case c :
       {Case{"NetWork", "TestPoint1", -1}, Case{"Completeness", "ServerCompleteness", 20},
        Case{nullptr, nullptr, 40}}) {
    orvtest::WriteFile(m_dir.Path() + "/image/config.ini", "");
    if (c.section) {
      ASSERT_TRUE(CIniFile("\\image\\config.ini").WriteString(c.section, c.key, silent.Url()));
    }
    ScopedEnv update("ORVANTA_HOST_UPDATE", c.section ? "127.0.0.1:1" : silentHost);
    m_page = std::make_unique<Dlg>();
    m_progress.clear();
    QObject::connect(Progress(), &QProgressBar::valueChanged,
                     [this](int v) { m_progress.emplace_back(v, 0); });
    ClickStartStop();
    orvtest::ProcessFor(std::chrono::milliseconds(400));
    EXPECT_EQ(m_progress.empty() ? -1 : m_progress.back().first, c.progressBefore);
    if (c.section == nullptr) orvtest::SaveShot(*m_page, "diagnosis_running");
    QElapsedTimer clock;
    clock.start();
    m_page.reset();
    EXPECT_LT(clock.elapsed(), 1000) << c.progressBefore;
    // Whatever the worker still had queued is dropped with the page.
    orvtest::ProcessFor(std::chrono::milliseconds(100));
  }
}

TEST_F(SystemDiagnoseDlgTest, DrawsTheBackgroundAndFitsEveryRowWithAName) {
  const QImage back = ResourceImage(167);
  ASSERT_FALSE(back.isNull());
  const QImage shot = m_page->grab().toImage();
  EXPECT_EQ(shot.pixelColor(800, 420).rgb(), back.pixelColor(800, 420).rgb());
  orvtest::ExpectEveryReachableControlNamed(*m_page);
  // Every row lies inside the page.
  for (int row = 1; row <= Dlg::kRowCount; ++row) {
    EXPECT_TRUE(m_page->rect().contains(Text("rowResult", row)->geometry())) << row;
  }
  orvtest::SaveShot(*m_page, "diagnosis_idle");
}

}  // namespace
