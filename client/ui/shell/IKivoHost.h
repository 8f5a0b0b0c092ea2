#pragma once
// What the pages and the application actions ask of the main window (tiles ask nothing:
// they emit the actions their users choose). CKivoDlg implements it; widget tests
// implement it with a stand-in. Main (GUI) thread only.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/apps/AppList.h"
#include "client/base/RequestResult.h"
#include "client/requests/OrvAppInfo.h"
#include "client/ui/shell/KivoMessages.h"

class QObject;
class QWidget;
struct UserSession;

// A list request's answer on the GUI thread: the fetch's status and the list as now held.
using ListAnswer = std::function<void(const RequestResult& result, const AppList& list)>;

class IKivoHost {
 public:
  virtual ~IKivoHost() = default;

  // The main window: owner of message boxes and modal dialogs.
  virtual QWidget* HostWidget() = 0;
  virtual const UserSession& Session() const = 0;

  // *request list*(kind) with the window's rules (hot and catalogue lists only while not
  // held, a catalogue list again after an empty answer, the private lists on every call; a
  // request of a list in flight joins it). Never waits: true when a fetch started or was
  // joined, and `answer` then runs on the GUI thread when it ends, unless `receiver` is
  // gone by then; false when the held list stands (`answer` is not called).
  virtual bool RequestList(AppListKind kind, QObject* receiver, ListAnswer answer) = 0;
  // The list as held now, without a request (empty before its first answer).
  virtual const AppList& HeldList(AppListKind kind) const = 0;

  // Opens the login dialog modally; callers read Session().loggedIn afterwards.
  // partialRepaint: the window repaints only its login-text area while the dialog is open
  // (the full-repaint flag is cleared: page switch to my apps, add action).
  virtual void OpenLoginDialog(bool partialRepaint) = 0;

  // A download reported to the window (FCDownloadFileWndBase::DownloadFile).
  virtual int DownloadFile(const std::string& url, const std::string& localPath, int priority) = 0;
  // *queue app log*: one usage record for the app-log worker.
  virtual void QueueAppLog(const S_OrvAppLogRequestInfo& record) = 0;
  // Selects tab `page` in the tab strip and runs the page switch.
  virtual void SwitchToPage(int page) = 0;
  // The my-apps page's RebuildButtons.
  virtual void RebuildMyApps() = 0;
};
