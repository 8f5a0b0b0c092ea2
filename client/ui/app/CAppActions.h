#pragma once
// The five application actions of the main window (activate, add, delete, upgrade,
// uninstall) and *run local file*. Each writes its start and end lines to the thread log
// and queues one usage record through the window. Main thread.
#include <functional>
#include <string>
#include <vector>

#include "client/apps/AppActions.h"
#include "client/base/RequestResult.h"
#include "client/requests/SubscriptionCtrls.h"

#include "client/ui/shell/IKivoHost.h"

class CAppLists;

class CAppActions {
 public:
  CAppActions(IKivoHost& host, CAppLists& lists);

  // The handler of message 1289..1293; false when it lacked what it needs.
  bool Handle(AppAction action, const AppRecord& record, AppListKind list);

  // *run local file*: "本地文件不存在!" and -1 when the file is missing, else starts it
  // with the parameters and returns 0. The update hand-off uses it too.
  int RunLocalFile(const std::string& path, const std::string& parameters);

  // The share page of a web application with the cookie key, on the platform web server.
  static std::string SharePageUrl(const std::string& cookieKey, const std::string& appid);

 private:
  bool OnActivateOrvApp(const AppRecord& record, AppListKind list);
  // The action's plan for `app`; a plan that needs the user signed in opens the login
  // dialog first and is decided again (or refused).
  ActionPlan Decide(AppAction action, const OrvAppInfo& app);
  // Carries a plan out and queues its usage record (made from `usageRecord`).
  void Carry(const ActionPlan& plan, const OrvAppInfo& usageRecord);
  bool OnAddOrvApp(const AppRecord& record);
  bool OnDeleteOrvApp(const AppRecord& record);
  // A subscription request's answer: its status, and the text the user is shown.
  struct SubscriptionAnswer {
    RequestResult result;
    CSubscriptionCtrl::Status status = CSubscriptionCtrl::Status::None;
    std::string text;
  };
  // Runs one add or delete request on a worker; `answered` runs on the GUI thread unless
  // the window is gone by then.
  template <class Ctrl>
  void RunSubscription(const std::string& url,
                       std::function<void(const SubscriptionAnswer&)> answered);
  void OnAddAnswered(const OrvAppInfo& app, const SubscriptionAnswer& answer);
  void OnDeleteAnswered(const OrvAppInfo& app, const SubscriptionAnswer& answer);
  bool OnUpgradeOrvApp(const AppRecord& record, AppListKind list);
  bool OnUnInstallOrvApp(const AppRecord& record);

  // The list's record with the same xh (the lookups of the controller), else the record.
  OrvAppInfo LookUp(const OrvAppInfo& record, AppListKind list) const;
  void QueueLog(const OrvAppInfo& app, int clientType);
  void Message(const std::string& text);

  IKivoHost& m_host;
  CAppLists& m_lists;
};
