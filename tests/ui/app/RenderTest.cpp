// Renders the main window's home page (hot strip and banner from the stand-in platform),
// the message popup, the about box and the update prompts to PNG when ORV_APP_SHOTS names a
// folder, for a person to look at.
#include <gtest/gtest.h>

#include <QDir>
#include <QTest>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/base/UserSession.h"
#include "client/ui/app/CKivoDlg.h"
#include "client/ui/notify/CCometMiniNews.h"
#include "client/ui/views/CAdvImage.h"
#include "client/ui/views/COrvAppButton.h"
#include "controls/CMessageBoxDialog.h"
#include "support/TestSupport.h"
#include "ui/MessageBoxAnswers.h"
#include "ui/UiTestSupport.h"

namespace {

TEST(MainWindowRender, RenderTheWindowAndItsBoxesToPng) {
  const QString out = qEnvironmentVariable("ORV_APP_SHOTS");
  if (out.isEmpty()) GTEST_SKIP() << "ORV_APP_SHOTS not set";
  QDir().mkpath(out);
  orvtest::PlatformSim sim;
  ASSERT_TRUE(sim.Started()) << "the simulator did not start";
  const auto scoped = sim.ExportHosts();
  orvtest::TempProgramDir dir;

  UserSession session;
  int boxes = 0;
  QString step;  // names the boxes of the call that follows
  int answer = CMessageBoxDialog::kIdOk;
  CKivoDlg::Services services;
  // Each box is built as the window builds it, saved, and answered.
  orvtest::BoxAnswers answers;
  answers.onBox = [&](CMessageBoxDialog& box) {
    box.grab().save(out + QStringLiteral("/box-%1-%2.png").arg(++boxes).arg(step));
    return answer;
  };
  services.openLogin = [] {};
  services.launchUpdater = [] { return LaunchResult::Missing; };
  services.openUrl = [](const std::string&) { return true; };
  CKivoDlg window(session, services);
  ASSERT_TRUE(window.OnInitDialog());
  window.show();

  // The hot strip (timer 447) and the first banner's picture.
  ASSERT_TRUE(orvtest::WaitPumping([&] {
    return !window.findChildren<COrvHotAppButton*>().isEmpty() && window.Banner()->HasPicture();
  }));
  QTest::qWait(1000);  // the tiles' icons
  window.grab().save(out + QStringLiteral("/home.png"));

  KivoMessage push;
  push.id = kivo_msg::kPushMessage;
  push.push = {"系统维护通知",
               "平台将于今晚 22:00 进行例行维护，届时部分服务暂停，请提前保存数据。感谢您的理解与"
               "支持，维护结束后服务将自动恢复。",
               "http://127.0.0.1:9/"};
  window.Dispatch(push);
  window.Popup()->Window()->grab().save(out + QStringLiteral("/popup.png"));

  step = QStringLiteral("about");
  window.ShowAbout();
  step = QStringLiteral("update-declined");  // the question, then the answer to a no
  answer = CMessageBoxDialog::kIdCancel;
  window.OnUpdateCheckResult(2, false);
  step = QStringLiteral("update-failed");  // the question, the missing updater, the failure
  answer = CMessageBoxDialog::kIdOk;
  window.OnUpdateCheckResult(1, false);
  step = QStringLiteral("up-to-date");
  window.OnUpdateCheckResult(0, true);
  step = QStringLiteral("no-information");
  window.OnUpdateCheckResult(-1, true);
  EXPECT_EQ(boxes, 8);
  window.Shutdown();
}

}  // namespace
