// The hot strip against the stand-in platform: download progress reaches the tiles on every
// second notification, and a finished download returns the caption to the plain name even
// when the last report that reached the tile was below 100.
#include <gtest/gtest.h>

#include "client/base/UserSession.h"
#include "client/ui/app/CKivoDlg.h"
#include "client/ui/views/COrvAppButton.h"
#include "common/download/DownloadHooks.h"
#include "controls/CMessageBoxDialog.h"
#include "support/TestSupport.h"
#include "ui/MessageBoxAnswers.h"
#include "ui/UiTestSupport.h"

namespace {

TEST(HotStripProgress, FinishedDownloadReturnsTheCaptionToTheName) {
  orvtest::PlatformSim sim;
  ASSERT_TRUE(sim.Started()) << "the simulator did not start";
  const auto scoped = sim.ExportHosts();
  orvtest::TempProgramDir dir;

  UserSession session;
  CKivoDlg::Services services;
  orvtest::BoxAnswers answers;
  answers.fallback = CMessageBoxDialog::kIdOk;
  services.openLogin = [] {};
  services.launchUpdater = [] { return LaunchResult::Started; };
  services.openUrl = [](const std::string&) { return true; };
  CKivoDlg window(session, services);
  // The download engine reaches the window through its hooks.
  IDownloadHooks& hooks = window;
  ASSERT_TRUE(window.OnInitDialog());
  window.show();

  // Timer 447 builds the strip from the hot list.
  COrvHotAppButton* tile = nullptr;
  ASSERT_TRUE(orvtest::WaitPumping([&] {
    for (COrvHotAppButton* t : window.findChildren<COrvHotAppButton*>())
      if (t->Record() && t->Record()->type == "client" && !t->Record()->downurl.empty()) tile = t;
    return tile != nullptr;
  }));
  const std::string url = tile->Record()->downurl;
  const QString name = QString::fromStdString(tile->Record()->name);

  // One counter serves every download, and the icon downloads count too: a report that
  // is not passed on is followed by one that is (no event runs between direct calls).
  hooks.OnDownProgress(url, 50, 100);
  if (tile->Caption() == name) hooks.OnDownProgress(url, 50, 100);
  EXPECT_EQ(tile->Caption(), name + ":50%");
  // The 100% report is the skipped one; the download then finishes.
  hooks.OnDownProgress(url, 100, 100);
  EXPECT_EQ(tile->Caption(), name + ":50%");
  hooks.OnDownFinished(url, "", 100);
  EXPECT_EQ(tile->Caption(), name);

  window.Shutdown();
}

}  // namespace
