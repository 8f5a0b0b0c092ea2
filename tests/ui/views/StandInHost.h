#pragma once
// A stand-in for the main window as the pages and actions see it: lists set by the test (or
// requested through a real CAppLists), every call and every action a tile emits recorded.
// Message boxes are answered by the test.
#include <QLabel>
#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/apps/CAppLists.h"
#include "client/base/UserSession.h"
#include "client/ui/app/CAppActions.h"
#include "client/ui/shell/IKivoHost.h"
#include "controls/CMessageBoxDialog.h"
#include "ui/MessageBoxAnswers.h"

struct SentAction {
  AppAction action;
  AppRecord record;
  AppListKind list;
};

using orvtest::BoxAnswers;
using orvtest::ShownBox;

class StandInHost : public IKivoHost {
 public:
  // A fetch runs at once on the calling thread when allowed (against the stand-in platform),
  // else it stays unanswered until the test answers it (pendingFetches).
  StandInHost()
      : lists(session, [this](const ListFetch& fetch, std::function<void(FetchedList)> done) {
          if (allowFetch) {
            AbortFlag abort{false};
            done(CAppLists::Fetch(fetch, abort));
          } else {
            pendingFetches.push_back({fetch, std::move(done)});
          }
        }) {
    for (int i = 0; i < 5; ++i) fixed[i].kind = static_cast<AppListKind>(i);
    window.resize(850, 550);
  }

  QWidget* HostWidget() override { return &window; }
  const UserSession& Session() const override { return session; }
  bool RequestList(AppListKind kind, QObject* receiver, ListAnswer answer) override {
    ++requests[static_cast<int>(kind)];
    if (!useLists) return false;
    CAppLists::Answer bound;
    if (answer)
      bound = [guard = QPointer<QObject>(receiver), answer](const RequestResult& r,
                                                            const AppList& l) {
        if (guard) answer(r, l);
      };
    return lists.Request(kind, std::move(bound)) != CAppLists::Requested::Held;
  }
  const AppList& HeldList(AppListKind kind) const override {
    return useLists ? lists.Held(kind) : fixed[static_cast<int>(kind)];
  }
  // What the window does with an action a tile emits: records it, then hands it to the
  // actions when they are set.
  bool SendAppAction(AppAction action, const AppRecord& record, AppListKind list) {
    sent.push_back({action, record, list});
    return actions ? actions->Handle(action, record, list) : true;
  }
  // Takes the actions `source` (a tile, a page or the hot strip) emits.
  template <class Source>
  Source& Listen(Source& source) {
    QObject::connect(&source, &Source::actionRequested, &window,
                     [this](AppAction action, const AppRecord& record, AppListKind list) {
                       SendAppAction(action, record, list);
                     });
    return source;
  }
  void OpenLoginDialog(bool partialRepaint) override {
    loginDialogs.push_back(partialRepaint);
    if (onLogin) onLogin(session);
  }
  int DownloadFile(const std::string& url, const std::string& localPath, int priority) override {
    downloads.push_back({url, localPath, priority});
    return onDownload ? onDownload(url, localPath) : 1;
  }
  void QueueAppLog(const S_OrvAppLogRequestInfo& record) override { appLogs.push_back(record); }
  void SwitchToPage(int page) override { pages.push_back(page); }
  void RebuildMyApps() override { ++myAppsRebuilds; }

  void SetList(AppListKind kind, std::vector<AppRecord> records) {
    fixed[static_cast<int>(kind)].records = std::move(records);
  }

  struct Download {
    std::string url, path;
    int priority;
  };

  QWidget window;
  UserSession session;
  CAppLists lists;
  bool useLists = false;
  bool allowFetch = false;  // unit tests never reach a server
  struct PendingFetch {
    ListFetch fetch;
    std::function<void(FetchedList)> done;
  };
  std::vector<PendingFetch> pendingFetches;
  std::array<AppList, 5> fixed;
  std::array<int, 5> requests{};
  CAppActions* actions = nullptr;
  std::vector<SentAction> sent;
  std::vector<bool> loginDialogs;
  std::function<void(UserSession&)> onLogin;
  std::vector<Download> downloads;
  std::function<int(const std::string&, const std::string&)> onDownload;
  std::vector<S_OrvAppLogRequestInfo> appLogs;
  std::vector<int> pages;
  int myAppsRebuilds = 0;
};

// A catalogue record for tests.
inline AppRecord MakeRecord(int appid, const std::string& type, const std::string& xh,
                            const std::string& code = {}, const std::string& version = {}) {
  auto app = std::make_shared<OrvAppInfo>();
  app->appid = appid;
  app->name = "应用" + std::to_string(appid);
  app->xh = xh;
  app->type = type;
  app->remark = "说明" + std::to_string(appid);
  app->img = "http://127.0.0.1:9/icons/" + std::to_string(appid) + "/icon.png";
  app->code = code;
  app->version = version;
  app->downurl = type == "client" ? "http://127.0.0.1:9/downloads/" + std::to_string(appid) : "";
  return app;
}
