// One client per user session: a second start restores and raises the first window (also
// from minimised or hidden) and ends with 0 showing nothing; a start while the first is
// still initialising waits for its window.
#include <gtest/gtest.h>

#include <QApplication>

#include <atomic>
#include <thread>

#include "client/base/CSingleInstance.h"
#include "client/base/UserSession.h"
#include "client/ui/app/CKivoApp.h"
#include "client/ui/app/CKivoDlg.h"
#include "support/TestSupport.h"

namespace {

bool WaitProcessingEvents(const std::function<bool()>& pred) {
  return orvtest::WaitUntil([&] {
    QApplication::processEvents();
    return pred();
  });
}

class SingleInstanceTest : public ::testing::Test {
 protected:
  orvtest::TempDir runtime;
  orvtest::ScopedEnv env{"XDG_RUNTIME_DIR", runtime.Path()};
  UserSession session;
  CKivoDlg window{session};
};

}  // namespace

TEST_F(SingleInstanceTest, SecondStartRestoresTheFirstWindowFromMinimisedOrHidden) {
  CSingleInstance first("{ORV-TEST-RAISE}");
  ASSERT_TRUE(first.Check());
  ASSERT_TRUE(CKivoApp::PublishWindow(first, window));

  window.show();
  window.showMinimized();
  ASSERT_TRUE(window.isMinimized());
  std::thread([] {
    CSingleInstance second("{ORV-TEST-RAISE}");
    EXPECT_FALSE(second.Check());
    EXPECT_TRUE(second.Find(5000));
  }).join();
  EXPECT_TRUE(WaitProcessingEvents([&] { return !window.isMinimized(); }));
  EXPECT_TRUE(window.isVisible());

  window.hide();
  std::thread([] {
    CSingleInstance second("{ORV-TEST-RAISE}");
    EXPECT_FALSE(second.Check());
    EXPECT_TRUE(second.Find(5000));
  }).join();
  EXPECT_TRUE(WaitProcessingEvents([&] { return window.isVisible(); }));
}

TEST_F(SingleInstanceTest, StartDuringTheFirstsInitialisationWaitsForItsWindow) {
  CSingleInstance first("{ORV-TEST-WAIT}");
  ASSERT_TRUE(first.Check());
  window.hide();
  std::atomic<bool> found{false};
  std::thread second([&] {
    CSingleInstance guard("{ORV-TEST-WAIT}");
    EXPECT_FALSE(guard.Check());
    found = guard.Find(-1);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(found.load());  // still waiting for the publication

  ASSERT_TRUE(CKivoApp::PublishWindow(first, window));
  second.join();
  EXPECT_TRUE(found.load());
  EXPECT_TRUE(WaitProcessingEvents([&] { return window.isVisible(); }));
}

TEST_F(SingleInstanceTest, TheProgramStartedAgainEndsWithZeroAndRaisesTheFirst) {
  CSingleInstance first;  // the program's own name
  ASSERT_TRUE(first.Check());
  ASSERT_TRUE(CKivoApp::PublishWindow(first, window));
  window.show();
  window.showMinimized();

  std::string out, err;
  int code =
      orvtest::RunCommand({std::string(ORV_BIN_DIR) + "/Orvanta"}, &out, &err,
                          {{"XDG_RUNTIME_DIR", runtime.Path()}, {"QT_QPA_PLATFORM", "offscreen"}});
  EXPECT_EQ(code, 0) << err;
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(WaitProcessingEvents([&] { return !window.isMinimized(); }));
}

TEST_F(SingleInstanceTest, AFirstThatNeverAnswersEndsTheSecondStartWithItsMessage) {
  CSingleInstance first;  // holds the lock, never publishes: a hung first client
  ASSERT_TRUE(first.Check());
  const auto start = std::chrono::steady_clock::now();
  // Its standard error joined to the output: the message is written there as the box opens.
  orvtest::ChildProcess second(
      {"/bin/sh", "-c", "exec \"$0\" 2>&1", ORV_BIN_DIR "/Orvanta"},
      {{"XDG_RUNTIME_DIR", runtime.Path()}, {"QT_QPA_PLATFORM", "offscreen"}});
  std::string line;
  ASSERT_TRUE(second.ReadLine(line, std::chrono::seconds(15)));
  EXPECT_EQ(line, CSingleInstance::kNotAnsweringText);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  // Unanswered, the box closes by itself and the start ends with its failure code.
  EXPECT_EQ(second.Wait(std::chrono::seconds(60)), CSingleInstance::kNotAnsweringExitCode);
}
