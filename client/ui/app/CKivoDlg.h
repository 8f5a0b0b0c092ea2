#pragma once
// The client's one top-level window: the caption-less skinned 850 × 550 window with the
// tab strip over five pages (home with the hot-apps strip and the banner, app centre, my
// apps, diagnosis, service desk), the status texts, the tray icon and the message popup.
// It starts the background workers, takes every numbered message at one dispatch point,
// and is the download window that icon and installer downloads report to.
//
// Threads: everything here runs on the GUI thread and never waits for another. Core calls
// (lists, service types, banner, update check, logout) run through the shell's core calls;
// the Uninstall watcher and the push channel post to the window's inbox; the app-log worker
// takes records from a queue. All of it is bound to the window's lifetime.
#include <QDialog>
#include <QPixmap>
#include <QPointer>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "client/requests/ImageFetch.h"
#include "client/requests/PushMessage.h"
#include "client/requests/ServiceDeskCtrls.h"
#include "client/ui/app/KivoLayout.h"
#include "client/ui/notify/CaptionDrag.h"
#include "client/ui/shell/CoreCall.h"
#include "client/ui/shell/IKivoHost.h"
#include "client/ui/shell/IKivoPage.h"
#include "client/update/UpdatePrompts.h"
#include "common/download/qt/FCDownloadFileWndBase.h"

class CAdvImage;
class CAppActions;
class CAppCenterDlg;
class CAppGridPage;
class CAppLists;
class CAppLogWorker;
class CCometMiniNews;
class CHotAppStrip;
class CLoginService;
class CLoginTcpSocket;
class CMyAppDlg;
class CServiceDialog;
class CSkinBtn;
class CSystemDiagnoseDlg;
class CSystemNotifyTray;
class CXTabCtrl;
class QLabel;
class UninstallKeyWatcher;

// One numbered message with what it carries.
struct KivoMessage {
  int id = 0;
  int index = 0;      // 1125 page; 1179 tray activation; 3024 result code
  bool flag = false;  // 3024: the check was requested by the user
  AppRecord record;   // 1289..1293
  AppListKind list = AppListKind::Hot;
  PushMessage push;                                          // 2026
  std::vector<CQueryCustomerServiceCtrl::Service> services;  // 2027
};

class CKivoDlg final : public FCDownloadFileWndBase<QDialog>,
                       public IKivoHost,
                       public IUpdatePrompts {
  Q_OBJECT
 public:
  // What the window asks of its surroundings; each has a default (the real dialogs), so
  // the program passes nothing. Message boxes go through shell::ShowMessage.
  struct Services {
    // Opens the login dialog modally.
    std::function<void()> openLogin;
    // Starts the updater (LaunchUpdater).
    std::function<LaunchResult()> launchUpdater;
    // Opens a link of the banner or the popup in the browser.
    std::function<bool(const std::string& url)> openUrl;
  };

  explicit CKivoDlg(UserSession& session, Services services = {});
  ~CKivoDlg() override;

  // The initialisation, in order; false when a skin bitmap is missing (the program ends).
  // publish: called once the window exists, so a second start can find it.
  bool OnInitDialog(const std::function<void()>& publish = {});
  // After the modal loop: stops the workers (the app-log worker's request in flight is
  // aborted), ends the downloads and removes the tray icon. Idempotent.
  void Shutdown();

  // The one dispatch point of the numbered messages; the handler's answer.
  int Dispatch(const KivoMessage& message);
  // Timers 233, 445, 447 and 448.
  void OnTimer(int id);
  // *refresh login display*.
  void RefreshLoginDisplay();
  // Restores and raises the window, also from minimised or hidden (a second start).
  void RestoreAndRaise();
  // The window's inbox, for a thread that posts to it and may outlive it.
  std::shared_ptr<shell::Inbox> SharedInbox() const { return m_inbox; }
  // Asks before the close sequence (close button, tray quit); true when it ran.
  bool ConfirmExit();
  // The about box (the top band's context menu).
  void ShowAbout();
  // Logout (button 1004, tray item while signed in).
  void Logout();
  // One banner: the image file (full path), its link, and the URL it is downloaded from.
  struct BannerEntry {
    std::string file;
    std::string link;
    std::string url;
  };
  // The advertisement worker's list replaces the banner list; its first entry shows.
  void ReplaceBannerList(std::vector<BannerEntry> banners);

  // IKivoHost
  QWidget* HostWidget() override { return this; }
  const UserSession& Session() const override { return m_session; }
  bool RequestList(AppListKind kind, QObject* receiver, ListAnswer answer) override;
  const AppList& HeldList(AppListKind kind) const override;
  void OpenLoginDialog(bool partialRepaint) override;
  int DownloadFile(const std::string& url, const std::string& localPath, int priority) override;
  void QueueAppLog(const S_OrvAppLogRequestInfo& record) override;
  void SwitchToPage(int page) override;
  void RebuildMyApps() override;

  // Messages 1289 to 1293 (a tile's action, forwarded by its page) through the one
  // dispatch point; the handler's result.
  bool SendAppAction(AppAction action, const AppRecord& record, AppListKind list);

  // IUpdatePrompts
  void ShowInformation(const char* text) override;
  bool Confirm(const char* caption, const char* text) override;
  void ExitForUpdate() override;
  // Message 3024.
  void OnUpdateCheckResult(int code, bool userRequested);
  // The update link ("检测更新").
  void StartUpdateCheck(bool userRequested);

  // What the window shows now (read by its tests and by the accessibility layer).
  int PageIndex() const { return m_page; }
  bool FullRepaint() const { return m_fullRepaint; }
  QString StatusText(
      int which) const;  // 0 version, 1 update link, 2 connection, 3 reminder, 4 login
  CSkinBtn* LoginButton() const { return m_login; }
  CSkinBtn* LogoutButton() const { return m_logout; }
  CSkinBtn* CloseButton() const { return m_close; }
  CSkinBtn* MinimizeButton() const { return m_minimize; }
  CXTabCtrl* Tabs() const { return m_tabs; }
  CAdvImage* Banner() const { return m_banner; }
  int BannerIndex() const { return m_bannerIndex; }
  QWidget* Page(int index) const;
  CSystemNotifyTray* Tray() const { return m_tray.get(); }
  CCometMiniNews* Popup() const { return m_popup.get(); }
  size_t PendingFinishedDownloads() const;
  bool ExitedForUpdate() const { return m_exitedForUpdate; }

 protected:
  // Download notifications.
  void OnCheckTime(std::string url, std::string lastModified) override;
  void OnDownFinished(std::string url, const char* data, int64_t size) override;
  void OnDownError(std::string url) override;
  // An installer download that failed for good shows on its tiles.
  void OnDownFailed(std::string url, DownloadFailure failure, long status) override;
  void OnDownProgress(std::string url, int64_t done, int64_t total) override;

  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Tab order: the title band's buttons, the tab strip, the open page's content, the update
  // link, round again.
  bool focusNextPrevChild(bool next) override;
  void closeEvent(QCloseEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  // Ctrl+Tab / Ctrl+Shift+Tab and Ctrl+1..Ctrl+5 open pages as the tabs do; Ctrl+M gives the
  // keyboard to the message popup.
  void AddKeyboardShortcuts();
  // The start-up steps of OnInitDialog, in order.
  void SetIcons();
  void BecomeDownloadWindow(const std::function<void()>& publish);
  void StartWorkers();
  void StartUninstallWatcher();
  bool LoadSkin();
  void PlaceWindow();
  void CreatePages();
  void CreateTabStrip();
  void CreateHomePage();
  void CreateSkinButtons();
  void SetTitle();
  void CreateStatusTexts();
  void ShowReminder();
  void AddTrayIcon();
  void StartTimers();

  void StartTimer(int id, int ms);
  void KillTimer(int id);
  void StartCustomerServiceWorker();
  void StartAdvertisementWorker();
  void ConnectPushChannel();
  void CloseSequence();
  void RunUpdateCheck();
  // A download reported: timer 445 runs until a tick finds nothing new.
  void DownloadActivity();
  void OnPageSwitch(int page);
  void RebuildHotStrip();
  void ShowBanner(int index);
  void SetStatusText(int which, const QString& text);
  void OnTrayCommand(int command);
  QRect HotStripRect() const;
  // Download progress to the hot strip on every page, and to the page on show (the app
  // centre, or my apps, where most installs start).
  void ShowProgress(const std::string& url, int percent);

  UserSession& m_session;
  Services m_services;
  // Shared with a logout still running on a worker when the window goes.
  std::shared_ptr<CLoginService> m_loginService;
  shell::CallHandle m_logoutCall;
  // The process's download window registration (icon downloads of the request workers).
  std::optional<ProcessDownloadWindowScope> m_downloadScope;
  // Icons and banner pictures of the request workers; an arrival goes where a finished
  // download goes.
  std::unique_ptr<ImageFetcher> m_images;
  std::optional<ProcessImageFetcherScope> m_imageScope;
  std::shared_ptr<shell::Inbox> m_inbox;

  std::array<QPixmap, 4> m_skin;
  bool m_fullRepaint = true;
  int m_page = 0;
  int m_shownPage = 0;  // the page whose contents show (differs after a refused login)
  bool m_updateLinkPressed = false;
  CaptionDrag m_drag;
  bool m_shutDown = false;
  bool m_exitedForUpdate = false;

  CXTabCtrl* m_tabs = nullptr;
  CAdvImage* m_banner = nullptr;
  CSkinBtn* m_login = nullptr;
  CSkinBtn* m_logout = nullptr;
  CSkinBtn* m_minimize = nullptr;
  CSkinBtn* m_close = nullptr;
  std::array<QLabel*, 5> m_texts{};

  std::unique_ptr<CAppLists> m_lists;
  std::unique_ptr<CAppActions> m_actions;
  std::unique_ptr<CHotAppStrip> m_strip;
  CAppCenterDlg* m_appCenter = nullptr;
  CMyAppDlg* m_myApps = nullptr;
  CSystemDiagnoseDlg* m_diagnose = nullptr;
  CServiceDialog* m_serviceDesk = nullptr;
  // The five pages by tab index; the home page is the banner and the hot strip.
  static constexpr int kPageCount = 5;
  std::unique_ptr<IKivoPage> m_home;
  std::array<IKivoPage*, kPageCount> m_pages{};

  std::unique_ptr<CSystemNotifyTray> m_tray;
  std::unique_ptr<CCometMiniNews> m_popup;
  std::unique_ptr<CLoginTcpSocket> m_push;
  std::unique_ptr<UninstallKeyWatcher> m_uninstallWatcher;
  std::unique_ptr<CAppLogWorker> m_appLog;
  // The update check in flight; the flag of the latest start.
  shell::CallHandle m_updateCall;
  bool m_updateUserRequested = false;

  std::vector<BannerEntry> m_banners;
  int m_bannerIndex = -1;

  mutable std::mutex m_finishedMutex;
  std::vector<std::string> m_finished;
  kivo_layout::ProgressGate m_progress;
  bool m_downloadReported = false;

  std::map<int, int> m_timerIds;  // Qt timer id -> timer number
};
