// The five actions as decisions, from the record, the session and this machine's Uninstall
// registrations and files.
#include <gtest/gtest.h>

#include "client/apps/AppActions.h"
#include "client/base/MachineRegistry.h"
#include "client/base/UserSession.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

namespace {

using Step = ActionPlan::Step;

void Register(const std::string& code, const std::string& name, const std::string& text) {
  const std::string key = MachineSoftwareKey(std::string(kUninstallPath) + code);
  ASSERT_TRUE(plat::reg::CreateKey(key));
  plat::reg::Value value;
  value.name = name;
  value.text = text;
  ASSERT_TRUE(plat::reg::WriteValue(key, value));
}

TEST(AppActionsTest, EachActionDecidesWhatToDoFromTheMachineAndTheSession) {
  orvtest::TempProgramDir dir;
  orvtest::ScopedEnv web("ORVANTA_HOST_WEB", "127.0.0.1:8123");
  const std::string installer = dir.Path() + "/setup.sh";
  orvtest::WriteFile(installer, "#!/bin/sh\n");
  Register("Installed", "DisplayIcon", "\"/opt/acct/run\",0");
  Register("Installed", "UninstallString", "\"/opt/acct/un install.sh\" --keep");

  OrvAppInfo desktop;
  desktop.appid = 7;
  desktop.type = "client";
  desktop.code = "Installed";
  desktop.downurl = "http://127.0.0.1:9/setup";
  desktop.setupPath = dir.Path() + "/missing.sh";
  OrvAppInfo fresh = desktop;  // not installed, installer not downloaded
  fresh.code = "Unregistered";
  OrvAppInfo noAddress = fresh;  // not installed, nowhere to download the installer from
  noAddress.downurl.clear();
  OrvAppInfo downloaded = fresh;  // not installed, installer on disk
  downloaded.setupPath = installer;
  OrvAppInfo webApp;
  webApp.appid = 9;
  webApp.type = "app";

  UserSession out;
  UserSession in;
  in.loggedIn = 1;
  in.cookieKey = "k 1";

  struct Case {
    AppAction action;
    const OrvAppInfo* app;
    const UserSession* session;
    Step step;
    std::string what;  // program, url or path
    std::string parameters;
    int usage;
  };
  const Case cases[] = {
      {AppAction::Activate, &desktop, &out, Step::Run, "/opt/acct/run", "", 2},
      {AppAction::Activate, &fresh, &out, Step::Download, fresh.setupPath, "", 2},
      {AppAction::Activate, &downloaded, &out, Step::Run, installer, "/silent", 2},
      {AppAction::Activate, &webApp, &out, Step::NeedLogin, "", "", -1},
      {AppAction::Activate, &webApp, &in, Step::OpenShare,
       "http://127.0.0.1:8123/index.html?page=share.html?cookiekey=k%201&appid=9", "", 2},
      {AppAction::Add, &webApp, &out, Step::NeedLogin, "", "", -1},
      {AppAction::Delete, &webApp, &in, Step::Subscribe, "", "", -1},
      {AppAction::Upgrade, &fresh, &in, Step::Download, fresh.setupPath, "", 3},
      {AppAction::Upgrade, &noAddress, &in, Step::ShowText, "", "", 3},
      {AppAction::Upgrade, &downloaded, &in, Step::Run, installer, "/silent", 3},
      {AppAction::Uninstall, &desktop, &out, Step::Run, "/opt/acct/un install.sh", "--keep /silent",
       2},
      {AppAction::Uninstall, &fresh, &out, Step::LogOnly, "", "", 2},
  };
  for (const Case& c : cases) {
    const ActionPlan plan = PlanAction(c.action, *c.app, *c.session);
    const std::string label =
        std::to_string(static_cast<int>(c.action)) + " " + std::to_string(c.app->appid);
    EXPECT_EQ(plan.step, c.step) << label;
    EXPECT_EQ(plan.usage, c.usage) << label;
    if (c.step == Step::Run) {
      EXPECT_EQ(plan.program, c.what) << label;
      EXPECT_EQ(plan.parameters, c.parameters) << label;
    }
    if (c.step == Step::Download) {
      EXPECT_EQ(plan.path, c.what) << label;
    }
    if (c.step == Step::OpenShare) {
      EXPECT_EQ(plan.url, c.what) << label;
    }
    if (c.step == Step::ShowText) {
      EXPECT_EQ(plan.text, kNoInstallerText) << label;
    }
    if (c.step == Step::Subscribe) {
      EXPECT_NE(plan.url.find("k%201"), std::string::npos) << label;
    }
  }
  // Only the add action's login dialog repaints just the login area; an upgrade that has to
  // download says so.
  EXPECT_TRUE(PlanAction(AppAction::Add, webApp, out).partialRepaint);
  EXPECT_FALSE(PlanAction(AppAction::Delete, webApp, out).partialRepaint);
  EXPECT_EQ(PlanAction(AppAction::Upgrade, fresh, in).text, kDownloadingLaterText);
  // Still signed out after the login dialog: the text, and a usage record only for a start.
  EXPECT_EQ(PlanAfterRefusedLogin(AppAction::Add).text, kLoginFailedText);
  EXPECT_EQ(PlanAfterRefusedLogin(AppAction::Add).usage, -1);
  EXPECT_EQ(PlanAfterRefusedLogin(AppAction::Activate).usage, 2);
}

}  // namespace
