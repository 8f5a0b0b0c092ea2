#include "client/ui/app/CAppActions.h"

#include <QString>
#include <QWidget>

#include "client/apps/CAppLists.h"
#include "client/apps/InstallState.h"
#include "client/base/CThreadLog.h"
#include "client/base/JsonText.h"
#include "client/base/MachineRegistry.h"
#include "client/base/ServerConfig.h"
#include "client/base/ShellText.h"
#include "client/base/UserSession.h"
#include "client/requests/RequestText.h"
#include "client/requests/SubscriptionCtrls.h"
#include "client/ui/shell/CoreCall.h"
#include "client/ui/views/TileMessageBox.h"
#include "platform/ProgramDir.h"
#include "platform/Shell.h"

namespace {

constexpr int kIdlePriority = -15;
constexpr const char* kSilent = "/silent";
constexpr const char* kLoginFailed = "登录失败！";
constexpr const char* kNoLocalFile = "本地文件不存在!";
constexpr const char* kDownloadingLater = "正在后台下载，请稍后重试";

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
  // Both values go into the address percent-encoded where they are not already safe.
  return ServerUrl(ServerKind::Web,
                   "/index.html?page=share.html?cookiekey=" + orvreq::QueryValue(cookieKey) +
                       "&appid=" + orvreq::QueryValue(appid));
}

int CAppActions::RunLocalFile(const std::string& path, const std::string& parameters) {
  if (path.empty() || !plat::FileExists(path)) {
    Message(kNoLocalFile);
    return -1;
  }
  plat::ShellOpen(path, parameters);
  return 0;
}

void CAppActions::Message(const std::string& text) {
  ShowMessageText(m_host.HostWidget(), QString::fromStdString(text));
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

void CAppActions::DownloadInstaller(const OrvAppInfo& app) {
  m_host.DownloadFile(app.downurl, app.setupPath, kIdlePriority);
}

void CAppActions::RunInstaller(const std::string& setupPath) {
  // A downloaded installer arrives without its run bit; the shell's open gives it one
  // before starting it (a "#!" script or an ELF program).
  RunLocalFile(setupPath, kSilent);
}

bool CAppActions::OnActivateOrvApp(const AppRecord& record, AppListKind list) {
  Log("CKivoDlg::OnActivateOrvApp");
  if (!record) return false;
  if (IsDesktop(*record))
    ActivateLocalApp(*record, list);
  else
    ActivateWebApp(DecimalText(record->appid));
  QueueLog(*record, 2);
  Log("CKivoDlg::OnActivateOrvApp 执行成功!");
  return true;
}

void CAppActions::ActivateLocalApp(const OrvAppInfo& record, AppListKind list) {
  Log("CKivoDlg::ActivateLocalApp");
  // The lookup reads the lists as held; requesting them fetches those never answered yet.
  m_lists.Request(AppListKind::Hot);
  m_lists.Request(AppListKind::AllWeb);
  const OrvAppInfo app = LookUp(record, list);
  const std::string icon = ReadUninstallValue(app.code, "DisplayIcon");
  if (icon.empty()) {
    if (app.setupPath.empty() || !plat::FileExists(app.setupPath))
      DownloadInstaller(app);
    else
      RunInstaller(app.setupPath);
  } else {
    RunLocalFile(ProgramOfDisplayIcon(icon), {});
  }
  Log("CKivoDlg::ActivateLocalApp 执行成功！");
}

void CAppActions::ActivateWebApp(const std::string& appid) {
  Log("CKivoDlg::ActivateWebApp");
  if (m_host.Session().loggedIn == 0) m_host.OpenLoginDialog(false);
  const UserSession& session = m_host.Session();
  if (session.loggedIn != 0)
    OpenUrl(SharePageUrl(session.cookieKey, appid));
  else
    Message(kLoginFailed);
  Log("CKivoDlg::ActivateWebApp 执行成功！");
}

bool CAppActions::OnAddOrvApp(const AppRecord& record) {
  Log("CKivoDlg::OnAddOrvApp");
  if (!record) return false;
  const OrvAppInfo app = *record;  // the record may leave its list below
  if (m_host.Session().loggedIn == 0) m_host.OpenLoginDialog(true);
  if (m_host.Session().loggedIn == 0) {
    Message(kLoginFailed);
  } else {
    const std::string url = CAddOrvAppCtrl::UrlFor(app.appid, m_host.Session().cookieKey);
    RunSubscription<CAddOrvAppCtrl>(
        url, [this, app](const SubscriptionAnswer& answer) { OnAddAnswered(app, answer); });
  }
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
  if (m_host.Session().loggedIn == 0) m_host.OpenLoginDialog(false);
  if (m_host.Session().loggedIn == 0) {
    Message(kLoginFailed);
  } else {
    const std::string url = CDeleteOrvAppCtrl::UrlFor(app.appid, m_host.Session().cookieKey);
    RunSubscription<CDeleteOrvAppCtrl>(
        url, [this, app](const SubscriptionAnswer& answer) { OnDeleteAnswered(app, answer); });
  }
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
  const OrvAppInfo app = LookUp(*record, list);
  if (app.setupPath.empty() || !plat::FileExists(app.setupPath)) {
    DownloadInstaller(app);
    Message(kDownloadingLater);
  } else {
    RunInstaller(app.setupPath);
  }
  QueueLog(*record, 3);
  Log("CKivoDlg::OnUpgradeOrvApp 执行成功!");
  return true;
}

bool CAppActions::OnUnInstallOrvApp(const AppRecord& record) {
  Log("CKivoDlg::OnUnInstallOrvApp");
  if (!record) return false;
  const std::string command = ReadUninstallValue(record->code, "UninstallString");
  if (command.empty()) {
    Log("CKivoDlg::OnUnInstallOrvApp 程序未安装!");
  } else {
    auto [program, parameters] = SplitCommandLine(command);
    if (!parameters.empty()) parameters += ' ';
    parameters += kSilent;
    RunLocalFile(program, parameters);
  }
  QueueLog(*record, 2);
  Log("CKivoDlg::OnUnInstallOrvApp 执行成功!");
  return true;
}
