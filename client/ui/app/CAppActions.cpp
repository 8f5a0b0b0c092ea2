#include "client/ui/app/CAppActions.h"

#include <QString>
#include <QWidget>

#include "client/apps/CAppLists.h"
#include "client/apps/InstallState.h"
#include "client/base/CThreadLog.h"
#include "client/base/ShellText.h"
#include "client/base/UserSession.h"
#include "client/requests/SubscriptionCtrls.h"
#include "client/ui/shell/CoreCall.h"
#include "client/ui/shell/MessageBoxes.h"

namespace {

void Log(const std::string& line) { CThreadLog::Instance()->Write(line); }

bool IsDesktop(const OrvAppInfo& app) { return app.type == "client"; }

}  // namespace

CAppActions::CAppActions(IKivoHost& host, CAppLists& lists) : m_host(host), m_lists(lists) {}

bool CAppActions::Handle(AppAction action, const AppRecord& record, AppListKind list) {
  switch (action) {
    case AppAction::Activate:
      return OnActivateOrvApp(record, list);
    case AppAction::Add:
      return OnAddOrvApp(record);
    case AppAction::Delete:
      return OnDeleteOrvApp(record);
    case AppAction::Upgrade:
      return OnUpgradeOrvApp(record, list);
    case AppAction::Uninstall:
      return OnUnInstallOrvApp(record);
  }
  return false;
}

std::string CAppActions::SharePageUrl(const std::string& cookieKey, const std::string& appid) {
  return ::SharePageUrl(cookieKey, appid);
}

int CAppActions::RunLocalFile(const std::string& path, const std::string& parameters) {
  // A downloaded installer arrives without its run bit; the shell's open gives it one
  // before starting it (a "#!" script or an ELF program).
  if (RunLocalProgram(path, parameters)) return 0;
  Message(kNoLocalFileText);
  return -1;
}

void CAppActions::Message(const std::string& text) {
  shell::ShowMessage(m_host.HostWidget(), QString::fromStdString(text));
}

void CAppActions::QueueLog(const OrvAppInfo& app, int clientType) {
  S_OrvAppLogRequestInfo info;
  info.app = app;
  info.appwz = 2;
  info.appclienttype = clientType;
  m_host.QueueAppLog(info);
}

OrvAppInfo CAppActions::LookUp(const OrvAppInfo& record, AppListKind list) const {
  if (AppRecord held = m_lists.FindByXh(list, record.xh)) return *held;
  return record;
}

ActionPlan CAppActions::Decide(AppAction action, const OrvAppInfo& app) {
  ActionPlan plan = PlanAction(action, app, m_host.Session());
  if (plan.step != ActionPlan::Step::NeedLogin) return plan;
  m_host.OpenLoginDialog(plan.partialRepaint);
  return m_host.Session().loggedIn != 0 ? PlanAction(action, app, m_host.Session())
                                        : PlanAfterRefusedLogin(action);
}

void CAppActions::Carry(const ActionPlan& plan, const OrvAppInfo& usageRecord) {
  using Step = ActionPlan::Step;
  switch (plan.step) {
    case Step::ShowText:
      Message(plan.text);
      break;
    case Step::OpenUrl:
      OpenUrl(plan.url);
      break;
    case Step::OpenShare:
      OpenUrlPrivately(plan.url);
      break;
    case Step::Run:
      RunLocalFile(plan.program, plan.parameters);
      break;
    case Step::Download:
      m_host.DownloadFile(plan.url, plan.path, kInstallerDownloadPriority);
      if (!plan.text.empty()) Message(plan.text);
      break;
    case Step::LogOnly:
      Log(plan.text);
      break;
    case Step::Nothing:
    case Step::NeedLogin:
    case Step::Subscribe:
      break;
  }
  if (plan.usage >= 0) QueueLog(usageRecord, plan.usage);
}

bool CAppActions::OnActivateOrvApp(const AppRecord& record, AppListKind list) {
  Log("CKivoDlg::OnActivateOrvApp");
  if (!record) return false;
  if (IsDesktop(*record)) {
    Log("CKivoDlg::ActivateLocalApp");
    // The lookup reads the lists as held; requesting them fetches those never answered yet.
    m_lists.Request(AppListKind::Hot);
    m_lists.Request(AppListKind::AllWeb);
    Carry(Decide(AppAction::Activate, LookUp(*record, list)), *record);
    Log("CKivoDlg::ActivateLocalApp 执行成功！");
  } else {
    Log("CKivoDlg::ActivateWebApp");
    Carry(Decide(AppAction::Activate, *record), *record);
    Log("CKivoDlg::ActivateWebApp 执行成功！");
  }
  Log("CKivoDlg::OnActivateOrvApp 执行成功!");
  return true;
}

bool CAppActions::OnAddOrvApp(const AppRecord& record) {
  Log("CKivoDlg::OnAddOrvApp");
  if (!record) return false;
  const OrvAppInfo app = *record;  // the record may leave its list below
  const ActionPlan plan = Decide(AppAction::Add, app);
  if (plan.step == ActionPlan::Step::Subscribe)
    RunSubscription<CAddOrvAppCtrl>(
        plan.url, [this, app](const SubscriptionAnswer& answer) { OnAddAnswered(app, answer); });
  else
    Carry(plan, app);
  Log("CKivoDlg::OnAddOrvApp 执行成功！");
  return true;
}

void CAppActions::OnAddAnswered(const OrvAppInfo& app, const SubscriptionAnswer& answer) {
  {
    QueueLog(app, 1);
    if (!answer.text.empty()) Message(answer.text);
    if (answer.result.Ok() && answer.status == CSubscriptionCtrl::Status::Confirmed) {
      // Both private lists are requested again; once both have answered, a record that
      // neither holds is appended to its list.
      auto pending = std::make_shared<int>(3);
      auto settle = [this, app, pending] {
        if (--*pending > 0) return;
        auto holds = [&](AppListKind kind) {
          for (const AppRecord& held : m_lists.Held(kind).records)
            if (held->img == app.img) return true;
          return false;
        };
        if (!holds(AppListKind::PrivateWeb) && !holds(AppListKind::PrivateDesktop)) {
          m_lists.Append(IsDesktop(app) ? AppListKind::PrivateDesktop : AppListKind::PrivateWeb,
                         app);
          m_host.RebuildMyApps();
        }
      };
      for (AppListKind kind : {AppListKind::PrivateWeb, AppListKind::PrivateDesktop})
        if (m_lists.Request(kind, [settle](const RequestResult&, const AppList&) { settle(); }) ==
            CAppLists::Requested::Held)
          settle();
      settle();
    }
    m_host.SwitchToPage(2);
  }
}

bool CAppActions::OnDeleteOrvApp(const AppRecord& record) {
  Log("CKivoDlg::OnDeleteOrvApp");
  if (!record) return false;
  const OrvAppInfo app = *record;
  const ActionPlan plan = Decide(AppAction::Delete, app);
  if (plan.step == ActionPlan::Step::Subscribe)
    RunSubscription<CDeleteOrvAppCtrl>(
        plan.url, [this, app](const SubscriptionAnswer& answer) { OnDeleteAnswered(app, answer); });
  else
    Carry(plan, app);
  Log("CKivoDlg::OnDeleteOrvApp 执行成功！");
  return true;
}

void CAppActions::OnDeleteAnswered(const OrvAppInfo& app, const SubscriptionAnswer& answer) {
  {
    QueueLog(app, 0);
    if (answer.result.Ok() && answer.status == CSubscriptionCtrl::Status::Confirmed) {
      const AppListKind kind =
          IsDesktop(app) ? AppListKind::PrivateDesktop : AppListKind::PrivateWeb;
      // The list is requested again, and the record leaves it once it answered.
      auto remove = [this, kind, img = app.img] {
        m_lists.RemoveFirstWithImg(kind, img);
        m_host.RebuildMyApps();
      };
      if (m_lists.Request(kind, [remove](const RequestResult&, const AppList&) { remove(); }) ==
          CAppLists::Requested::Held)
        remove();
    }
    if (!answer.text.empty()) Message(answer.text);
  }
}

template <class Ctrl>
void CAppActions::RunSubscription(const std::string& url,
                                  std::function<void(const SubscriptionAnswer&)> answered) {
  shell::RunCoreCall(
      m_host.HostWidget(),
      [url](AbortFlag& abort) {
        Ctrl ctrl;
        ctrl.UseAbortFlag(abort);
        CallResult<SubscriptionAnswer> out;
        out.result = ctrl.Run(url, Ctrl::kFolder);
        out.value = {out.result, ctrl.status, ctrl.statusText};
        return out;
      },
      [answered = std::move(answered)](CallResult<SubscriptionAnswer> done) {
        answered(done.value);
      });
}

bool CAppActions::OnUpgradeOrvApp(const AppRecord& record, AppListKind list) {
  Log("CKivoDlg::OnUpgradeOrvApp");
  if (!record) return false;
  Carry(Decide(AppAction::Upgrade, LookUp(*record, list)), *record);
  Log("CKivoDlg::OnUpgradeOrvApp 执行成功!");
  return true;
}

bool CAppActions::OnUnInstallOrvApp(const AppRecord& record) {
  Log("CKivoDlg::OnUnInstallOrvApp");
  if (!record) return false;
  Carry(Decide(AppAction::Uninstall, *record), *record);
  Log("CKivoDlg::OnUnInstallOrvApp 执行成功!");
  return true;
}
