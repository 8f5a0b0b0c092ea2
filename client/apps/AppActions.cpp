#include "client/apps/AppActions.h"

#include "client/apps/InstallState.h"
#include "client/base/JsonText.h"
#include "client/base/MachineRegistry.h"
#include "client/base/ServerConfig.h"
#include "client/base/UserSession.h"
#include "client/requests/RequestText.h"
#include "client/requests/SubscriptionCtrls.h"
#include "platform/ProgramDir.h"
#include "platform/Shell.h"

namespace {

bool IsDesktop(const OrvAppInfo& app) { return app.type == "client"; }

bool HasFile(const std::string& path) { return !path.empty() && plat::FileExists(path); }

ActionPlan InstallerPlan(const OrvAppInfo& app) {
  ActionPlan plan;
  if (HasFile(app.setupPath)) {
    plan.step = ActionPlan::Step::Run;
    plan.program = app.setupPath;
    plan.parameters = kSilentArgument;
  } else if (app.downurl.empty() || app.setupPath.empty()) {
    // Without an address or a file name no download could start: the user is told, rather
    // than left with a click that does nothing.
    plan.step = ActionPlan::Step::ShowText;
    plan.text = kNoInstallerText;
  } else {
    plan.step = ActionPlan::Step::Download;
    plan.url = app.downurl;
    plan.path = app.setupPath;
  }
  return plan;
}

}  // namespace

std::string SharePageUrl(const std::string& cookieKey, const std::string& appid) {
  // Both values go into the address percent-encoded where they are not already safe.
  return ServerUrl(ServerKind::Web,
                   "/index.html?page=share.html?cookiekey=" + orvreq::QueryValue(cookieKey) +
                       "&appid=" + orvreq::QueryValue(appid));
}

ActionPlan PlanAction(AppAction action, const OrvAppInfo& app, const UserSession& session) {
  ActionPlan plan;
  const bool signedIn = session.loggedIn != 0;
  switch (action) {
    case AppAction::Activate:
      if (IsDesktop(app)) {
        const std::string icon = ReadUninstallValue(app.code, "DisplayIcon");
        if (icon.empty()) {
          plan = InstallerPlan(app);
        } else {
          plan.step = ActionPlan::Step::Run;
          plan.program = ProgramOfDisplayIcon(icon);
        }
      } else if (!signedIn) {
        plan.step = ActionPlan::Step::NeedLogin;
      } else {
        plan.step = ActionPlan::Step::OpenShare;
        plan.url = SharePageUrl(session.cookieKey, DecimalText(app.appid));
      }
      // A start queues its usage record whatever its outcome, once it is decided.
      if (plan.step != ActionPlan::Step::NeedLogin) plan.usage = 2;
      return plan;
    case AppAction::Add:
    case AppAction::Delete:
      if (!signedIn) {
        plan.step = ActionPlan::Step::NeedLogin;
        plan.partialRepaint = action == AppAction::Add;
        return plan;
      }
      plan.step = ActionPlan::Step::Subscribe;
      plan.url = action == AppAction::Add ? CAddOrvAppCtrl::UrlFor(app.appid, session.cookieKey)
                                          : CDeleteOrvAppCtrl::UrlFor(app.appid, session.cookieKey);
      return plan;
    case AppAction::Upgrade:
      plan = InstallerPlan(app);
      if (plan.step == ActionPlan::Step::Download) plan.text = kDownloadingLaterText;
      plan.usage = 3;
      return plan;
    case AppAction::Uninstall: {
      const std::string command = ReadUninstallValue(app.code, "UninstallString");
      if (command.empty()) {
        plan.step = ActionPlan::Step::LogOnly;
        plan.text = kNotInstalledLog;
      } else {
        auto [program, parameters] = SplitCommandLine(command);
        if (!parameters.empty()) parameters += ' ';
        parameters += kSilentArgument;
        plan.step = ActionPlan::Step::Run;
        plan.program = program;
        plan.parameters = parameters;
      }
      plan.usage = 2;
      return plan;
    }
  }
  return plan;
}

ActionPlan PlanAfterRefusedLogin(AppAction action) {
  ActionPlan plan;
  plan.step = ActionPlan::Step::ShowText;
  plan.text = kLoginFailedText;
  // A web activation queues its usage record whatever its outcome.
  if (action == AppAction::Activate) plan.usage = 2;
  return plan;
}

bool RunLocalProgram(const std::string& program, const std::string& parameters) {
  if (!HasFile(program)) return false;
  plat::ShellOpen(program, parameters);
  return true;
}
