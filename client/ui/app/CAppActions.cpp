#include "client/ui/app/CAppActions.h"

#include <QString>

#include "client/base/CThreadLog.h"
#include "client/base/JsonText.h"
#include "client/base/MachineRegistry.h"
#include "client/base/ServerConfig.h"
#include "client/base/ShellText.h"
#include "client/base/UserSession.h"
#include "client/requests/RequestText.h"
#include "client/requests/SubscriptionCtrls.h"
#include "client/ui/app/BlockingCall.h"
#include "client/ui/app/CAppLists.h"
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

bool IsDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  return "\"" + arg + "\"";
}

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

std::string CAppActions::ProgramOfDisplayIcon(const std::string& value) {
  std::string text = Trim(value);
  if (!text.empty() && text.front() == '"') {
    const size_t close = text.find('"', 1);
    return close == std::string::npos ? text.substr(1) : text.substr(1, close - 1);
  }
  const size_t comma = text.rfind(',');
  if (comma != std::string::npos) {
    std::string index = Trim(text.substr(comma + 1));
    if (!index.empty() && index.front() == '-') index.erase(0, 1);
    if (IsDigits(index)) text = Trim(text.substr(0, comma));
  }
  return text;
}

std::pair<std::string, std::string> CAppActions::SplitCommandLine(const std::string& value) {
  const std::vector<std::string> parts = plat::SplitParameters(value);
  if (parts.empty()) return {};
  std::string parameters;
  for (size_t i = 1; i < parts.size(); ++i) {
    if (!parameters.empty()) parameters += ' ';
    parameters += QuoteArgument(parts[i]);
  }
  return {parts[0], parameters};
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
    OpenUrlPrivately(SharePageUrl(session.cookieKey, appid));
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
    CAddOrvAppCtrl ctrl;
    const std::string url = CAddOrvAppCtrl::UrlFor(app.appid, m_host.Session().cookieKey);
    RunKeepingPainted([&] { ctrl.Run(url, CAddOrvAppCtrl::kFolder); });
    QueueLog(app, 1);
    if (!ctrl.statusText.empty()) Message(ctrl.statusText);
    if (ctrl.statusText == CAddOrvAppCtrl::kSuccessText) {
      m_lists.Request(AppListKind::PrivateWeb);
      m_lists.Request(AppListKind::PrivateDesktop);
      auto holds = [&](AppListKind kind) {
        for (const AppRecord& held : m_lists.Request(kind).records)
          if (held->img == app.img) return true;
        return false;
      };
      if (!holds(AppListKind::PrivateWeb) && !holds(AppListKind::PrivateDesktop)) {
        m_lists.Append(IsDesktop(app) ? AppListKind::PrivateDesktop : AppListKind::PrivateWeb, app);
        m_host.RebuildMyApps();
      }
    }
    m_host.SwitchToPage(2);
  }
  Log("CKivoDlg::OnAddOrvApp 执行成功！");
  return true;
}

bool CAppActions::OnDeleteOrvApp(const AppRecord& record) {
  Log("CKivoDlg::OnDeleteOrvApp");
  if (!record) return false;
  const OrvAppInfo app = *record;
  if (m_host.Session().loggedIn == 0) m_host.OpenLoginDialog(false);
  if (m_host.Session().loggedIn == 0) {
    Message(kLoginFailed);
  } else {
    CDeleteOrvAppCtrl ctrl;
    const std::string url = CDeleteOrvAppCtrl::UrlFor(app.appid, m_host.Session().cookieKey);
    RunKeepingPainted([&] { ctrl.Run(url, CDeleteOrvAppCtrl::kFolder); });
    QueueLog(app, 0);
    if (ctrl.statusText == CDeleteOrvAppCtrl::kSuccessText) {
      const AppListKind kind =
          IsDesktop(app) ? AppListKind::PrivateDesktop : AppListKind::PrivateWeb;
      m_lists.Request(kind);
      m_lists.RemoveFirstWithImg(kind, app.img);
      m_host.RebuildMyApps();
    }
    if (!ctrl.statusText.empty()) Message(ctrl.statusText);
  }
  Log("CKivoDlg::OnDeleteOrvApp 执行成功！");
  return true;
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
