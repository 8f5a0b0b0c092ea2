// The window against a platform whose every server accepts and never answers: each user
// action takes effect at once and closing the window ends everything in flight.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "client/base/UserSession.h"
#include "client/ui/app/CKivoDlg.h"
#include "client/ui/shell/CoreCall.h"
#include "client/ui/views/CAppGridPage.h"
#include "controls/CXTabCtrl.h"
#include "support/TestSupport.h"
#include "ui/MessageBoxAnswers.h"

namespace {

// Generous: a noisy machine must not fail it. The benchmark prints the real figures.
constexpr qint64 kTakesEffectMs = 1000;
constexpr qint64 kEndsMs = 2000;

TEST(SilentPlatform, PagesLoginDialogAndCloseTakeEffectAtOnce) {
  orvtest::TempProgramDir dir;
  orvtest::SilentServer server;
  orvtest::SilentServer loginServer;  // its own, to know when the login is waiting on it
  const std::string silent = "127.0.0.1:" + std::to_string(server.Port());
  std::vector<std::unique_ptr<orvtest::ScopedEnv>> env;
  for (const char* kind : {"APP", "PORTAL", "OA", "LOG", "DIAGNOSIS", "MESSAGE", "UPDATE", "PUSH"})
    env.push_back(
        std::make_unique<orvtest::ScopedEnv>(std::string("ORVANTA_HOST_") + kind, silent));
  env.push_back(std::make_unique<orvtest::ScopedEnv>(
      "ORVANTA_HOST_WEB", "127.0.0.1:" + std::to_string(loginServer.Port())));

  UserSession session;
  session.loggedIn = 1;  // my apps shows its page (its lists are requested from the server)
  session.cookieKey = "ck";
  session.userName = "demo";
  CKivoDlg::Services services;  // the real login dialog
  orvtest::BoxAnswers answers;
  answers.fallback = CMessageBoxDialog::kIdOk;
  auto window = std::make_unique<CKivoDlg>(session, services);
  ASSERT_TRUE(window->OnInitDialog());
  window->show();
  // Start-up's requests (hot list, banner, service types, update check, push) are waiting.
  ASSERT_TRUE(orvtest::WaitUntil([&] { return server.Accepted() >= 3; }));

  // Every page: page and tab change together, at once.
  for (int page : {1, 2, 3, 4, 0, 2, 1}) {
    QElapsedTimer clock;
    clock.start();
    window->SwitchToPage(page);
    EXPECT_LT(clock.elapsed(), kTakesEffectMs) << page;
    EXPECT_EQ(window->PageIndex(), page);
    EXPECT_EQ(window->Tabs()->Selected(), page);
    for (int other = 1; other <= 4; ++other)
      EXPECT_EQ(window->Page(other)->isVisible(), other == page) << page << " " << other;
    // A page whose list is unanswered shows the quiet busy cue.
    if (page == 1 || page == 2) {
      EXPECT_TRUE(static_cast<CAppGridPage*>(window->Page(page))->Busy()) << page;
    }
  }

  // The login dialog opens at once, and closes at once with its login to the silent server
  // in flight (its modal loop runs the timer).
  qint64 openedAfter = -1;
  bool loginInFlight = false;
  QElapsedTimer clock;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) return;
    openedAfter = clock.elapsed();
    poll.stop();
    const int accepted = loginServer.Accepted();
    dialog->findChild<QPushButton*>("login")->click();
    loginInFlight = orvtest::WaitUntil([&] { return loginServer.Accepted() > accepted; });
    clock.restart();
    dialog->close();
  });
  poll.start();
  clock.start();
  window->OpenLoginDialog(false);
  const qint64 closedAfter = clock.elapsed();
  ASSERT_GE(openedAfter, 0);
  ASSERT_TRUE(loginInFlight);
  EXPECT_LT(openedAfter, kTakesEffectMs);
  EXPECT_LT(closedAfter, kTakesEffectMs);

  // The window manager's close ends the window at once; the teardown ends what is in flight.
  QSignalSpy finished(window.get(), &QDialog::finished);
  clock.restart();
  window->close();
  EXPECT_EQ(finished.count(), 1);
  window->Shutdown();
  window.reset();
  EXPECT_TRUE(orvtest::WaitUntil([] { return shell::CallsInFlight() == 0; },
                                 std::chrono::milliseconds(kEndsMs)))
      << "a call still runs, so the program would not end";
  EXPECT_LT(clock.elapsed(), kEndsMs);
}

}  // namespace
