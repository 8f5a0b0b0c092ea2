#include "client/ui/app/CKivoDlg.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QShortcut>
#include <QTimerEvent>

#include <algorithm>
#include <functional>

#include "client/account/CLoginService.h"
#include "client/apps/CAppLists.h"
#include "client/base/CThreadLog.h"
#include "client/base/MachineRegistry.h"
#include "client/base/OwnVersion.h"
#include "client/base/ShellText.h"
#include "client/base/UserSession.h"
#include "client/requests/CLoginTcpSocket.h"
#include "client/requests/CQueryAdvertisementCtrl.h"
#include "client/ui/app/CAppActions.h"
#include "client/ui/app/CAppLogWorker.h"
#include "client/ui/app/KivoAccessibility.h"
#include "client/ui/dialogs/CServiceDialog.h"
#include "client/ui/dialogs/CSystemDiagnoseDlg.h"
#include "client/ui/dialogs/CUserLogonDlg.h"
#include "client/ui/notify/CCometMiniNews.h"
#include "client/ui/notify/CSystemNotifyTray.h"
#include "client/ui/shell/CoreCall.h"
#include "client/ui/shell/MessageBoxes.h"
#include "client/ui/views/CAdvImage.h"
#include "client/ui/views/CAppCenterDlg.h"
#include "client/ui/views/CHotAppStrip.h"
#include "client/ui/views/CMyAppDlg.h"
#include "client/ui/views/TileLook.h"
#include "client/update/UpdateCheck.h"
#include "common/download/DownloadStarter.h"
#include "common/download/DownloadStopFlag.h"
#include "controls/CMessageBoxDialog.h"
#include "controls/CSkinBtn.h"
#include "controls/CXTabCtrl.h"
#include "controls/SkinImages.h"

using namespace kivo_layout;

namespace {

// How long the close waits for the calls in flight to notice their abort flags.
constexpr int kCallsEndMs = 1000;

enum StatusTextIndex { kVersionText, kUpdateText, kConnectionText, kReminderText, kLoginText };

// The home page: the banner and the hot-apps strip, both children of the window.
class HomePage final : public IKivoPage {
 public:
  HomePage(CHotAppStrip& strip, QWidget& banner, std::function<QRect()> stripRect)
      : m_strip(strip), m_banner(banner), m_stripRect(std::move(stripRect)) {}
  void Enter() override {
    m_strip.Rebuild(m_stripRect());
    m_strip.RefreshStates(true);
    m_banner.show();
  }
  void Leave() override {
    m_strip.RefreshStates(false);
    m_banner.hide();
  }
  void RefreshIcon(const std::string& key) override { m_strip.RefreshIcon(key); }
  void ShowProgress(const std::string& url, int percent) override {
    m_strip.SetProgress(url, percent);
  }
  void RefreshStates(bool shown) override { m_strip.RefreshStates(shown); }

 private:
  CHotAppStrip& m_strip;
  QWidget& m_banner;
  std::function<QRect()> m_stripRect;
};

CSkinBtn* MakeSkinButton(QWidget* parent, const SkinButtonSpec& spec, int clientWidth) {
  auto* button = new CSkinBtn(parent);
  button->SetImages(QString::fromUtf8(spec.images[0]), QString::fromUtf8(spec.images[1]),
                    QString::fromUtf8(spec.images[2]), QString::fromUtf8(spec.images[3]));
  button->setText(QString());
  button->setAccessibleName(QString::fromUtf8(spec.accessibleName));
  button->move(clientWidth - spec.fromRight, spec.top);
  return button;
}

}  // namespace

CKivoDlg::CKivoDlg(UserSession& session, Services services)
    : FCDownloadFileWndBase<QDialog>(nullptr, Qt::Window | Qt::FramelessWindowHint |
                                                  Qt::WindowMinimizeButtonHint |
                                                  Qt::WindowSystemMenuHint),
      m_session(session),
      m_services(std::move(services)),
      m_loginService(std::make_shared<CLoginService>(session)) {
  // The watcher and the push channel reach this window through its inbox: posts bound to
  // the window's lifetime and dropped once it shuts down.
  m_inbox = std::make_shared<shell::Inbox>(this);
  if (!m_services.openLogin)
    m_services.openLogin = [this] {
      CUserLogonDlg dialog(
          *m_loginService, [this] { RefreshLoginDisplay(); }, this);
      dialog.SetServiceOwner(m_loginService);
      dialog.exec();
    };
  if (!m_services.launchUpdater) m_services.launchUpdater = LaunchUpdater;
  if (!m_services.openUrl) m_services.openUrl = [](const std::string& url) { return OpenUrl(url); };

  // List fetches run on the shell's workers; their answers come back to this window.
  m_lists = std::make_unique<CAppLists>(
      session, [this](const ListFetch& fetch, std::function<void(FetchedList)> done) {
        shell::RunCoreCall(
            this, [fetch](AbortFlag& abort) { return CAppLists::Fetch(fetch, abort); },
            std::move(done));
      });
  m_actions = std::make_unique<CAppActions>(*this, *m_lists);
  m_popup = std::make_unique<CCometMiniNews>(m_services.openUrl);
  m_tray = std::make_unique<CSystemNotifyTray>([this] { return m_session.loggedIn == 1; },
                                               [this](int command) { OnTrayCommand(command); },
                                               [this](QSystemTrayIcon::ActivationReason reason) {
                                                 KivoMessage message;
                                                 message.id = kivo_msg::kTrayCallback;
                                                 message.index = static_cast<int>(reason);
                                                 Dispatch(message);
                                               });
  m_appLog = std::make_unique<CAppLogWorker>();
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
}

CKivoDlg::~CKivoDlg() {
  Shutdown();
  // Children that call back into the window (tiles, pages) go before its members.
  m_pages = {};
  m_home.reset();
  m_strip.reset();
  qDeleteAll(findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly));
}

bool CKivoDlg::OnInitDialog(const std::function<void()>& publish) {
  // 1. The window icon (the minimise box comes with the window flags).
  SetIcons();
  // 2. The process's download window and image fetcher; a second start can find it now.
  BecomeDownloadWindow(publish);
  // 3. The customer-service, advertisement and application-log workers.
  StartWorkers();
  // 4. The Uninstall watcher, which posts 2025.
  StartUninstallWatcher();
  // 5. The four skin bitmaps; a missing one ends the program.
  if (!LoadSkin()) return false;
  // 6. Position, size and the rounded region.
  PlaceWindow();
  // 7. The four pages, hidden.
  CreatePages();
  // 8. The tab strip of five image tabs.
  CreateTabStrip();
  // 9. The banner under the tab strip (rotated by timer 448) and the hot-apps strip.
  CreateHomePage();
  // 10. The four skinned buttons.
  CreateSkinButtons();
  // 11. The title, and the window centred on the screen.
  SetTitle();
  // 12. The status texts and the keyboard shortcuts.
  CreateStatusTexts();
  // 13. The push channel.
  ConnectPushChannel();
  // 14. The message reminder (not changed afterwards) and the login display.
  ShowReminder();
  // 15. The tray icon.
  AddTrayIcon();
  // 16 and 17. Timers 233 and 447 (the window needs no COM).
  StartTimers();
  // 18. The quiet update check.
  StartUpdateCheck(false);
  return true;
}

void CKivoDlg::SetIcons() { setWindowIcon(ResourceIcon()); }

void CKivoDlg::BecomeDownloadWindow(const std::function<void()>& publish) {
  m_downloadScope.emplace(*this);
  {
    std::weak_ptr<shell::Inbox> inbox = m_inbox;
    m_images = std::make_unique<ImageFetcher>([this, inbox](const std::string& url) {
      if (auto in = inbox.lock()) in->Post([this, url] { OnDownFinished(url, nullptr, 0); });
    });
    m_imageScope.emplace(*m_images);
  }
  if (publish) publish();
}

void CKivoDlg::StartWorkers() {
  StartCustomerServiceWorker();
  StartAdvertisementWorker();
  m_appLog->Start();
}

void CKivoDlg::StartUninstallWatcher() {
  m_uninstallWatcher = std::make_unique<UninstallKeyWatcher>([this] {
    m_inbox->Post([this] {
      KivoMessage message;
      message.id = kivo_msg::kUninstallKeyChanged;
      Dispatch(message);
    });
  });
  m_uninstallWatcher->Start();
}

bool CKivoDlg::LoadSkin() {
  for (size_t i = 0; i < kSkinBitmaps.size(); ++i) {
    m_skin[i] = QPixmap(SkinImagePath(QString::fromUtf8(kSkinBitmaps[i])));
    if (m_skin[i].isNull()) return false;
  }
  return true;
}

void CKivoDlg::PlaceWindow() {
  setGeometry(0, 0, kWidth, kHeight);
  setFixedSize(kWidth, kHeight);
  QPainterPath outline;
  outline.addRoundedRect(QRectF(1, 1, kWidth - 1, kHeight - 1), kCornerEllipse / 2.0,
                         kCornerEllipse / 2.0);
  setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

void CKivoDlg::CreatePages() {
  const QRect pageRect = PageRect(width());
  m_appCenter = new CAppCenterDlg(*this, this);
  m_myApps = new CMyAppDlg(*this, this);
  m_diagnose = new CSystemDiagnoseDlg(this);
  m_serviceDesk = new CServiceDialog(this);
  m_pages[1] = m_appCenter;
  m_pages[2] = m_myApps;
  m_pages[3] = m_diagnose;
  m_pages[4] = m_serviceDesk;
  for (int page = 1; page < kPageCount; ++page) {
    QWidget* widget = Page(page);
    widget->setGeometry(pageRect);
    widget->setAccessibleName(QString::fromUtf8(kPageNames[page]));
    widget->hide();
  }
  for (CAppGridPage* page :
       {static_cast<CAppGridPage*>(m_appCenter), static_cast<CAppGridPage*>(m_myApps)})
    connect(page, &CAppGridPage::actionRequested, this, &CKivoDlg::SendAppAction);
}

void CKivoDlg::CreateTabStrip() {
  m_tabs = new CXTabCtrl(this, 1127);
  m_tabs->SetBackgroundColor(
      XRgb(kTabBackground.red(), kTabBackground.green(), kTabBackground.blue()));
  for (int id : kTabImages) m_tabs->AddImage(ResourceImage(id));
  for (int i = 0; i < static_cast<int>(kTabImages.size()); ++i) m_tabs->AddTab(QString(), i);
  m_tabs->setGeometry(kTabStripRect);
  m_tabs->setAccessibleName(QStringLiteral("页面"));
  QStringList pageNames;
  for (const char* name : kPageNames) pageNames << QString::fromUtf8(name);
  m_tabs->setProperty("orvTabNames", pageNames);
  connect(m_tabs, &CXTabCtrl::tabMessage, this, [this](int id, int index) {
    KivoMessage message;
    message.id = id;
    message.index = index;
    Dispatch(message);
  });
}

void CKivoDlg::CreateHomePage() {
  m_banner = new CAdvImage(this, m_services.openUrl);
  m_banner->setGeometry(kBannerRect);
  MakeKeyboardLink(m_banner);
  m_banner->show();
  m_tabs->raise();
  if (!m_banners.empty()) ShowBanner(0);
  StartTimer(kBannerTimer, kBannerPeriodMs);
  m_strip = std::make_unique<CHotAppStrip>(*this, this);
  connect(m_strip.get(), &CHotAppStrip::actionRequested, this, &CKivoDlg::SendAppAction);
  m_home = std::make_unique<HomePage>(*m_strip, *m_banner, [this] { return HotStripRect(); });
  m_pages[0] = m_home.get();
}

void CKivoDlg::CreateSkinButtons() {
  m_login = MakeSkinButton(this, kLoginButton, width());
  m_logout = MakeSkinButton(this, kLogoutButton, width());
  m_minimize = MakeSkinButton(this, kMinimizeButton, width());
  m_close = MakeSkinButton(this, kCloseButton, width());
  m_logout->hide();
  connect(m_login, &QPushButton::clicked, this, [this] { OpenLoginDialog(false); });
  connect(m_logout, &QPushButton::clicked, this, [this] { Logout(); });
  connect(m_minimize, &QPushButton::clicked, this, [this] { showMinimized(); });
  connect(m_close, &QPushButton::clicked, this, [this] { ConfirmExit(); });
}

void CKivoDlg::SetTitle() {
  setWindowTitle(QString::fromUtf8(kWindowTitle));
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

void CKivoDlg::CreateStatusTexts() {
  const QPoint positions[5] = {QPoint(kVersionTextX, height() - kStatusTextBottomOffset),
                               QPoint(kUpdateLinkX, height() - kStatusTextBottomOffset),
                               QPoint(kConnectionTextX, height() - kStatusTextBottomOffset),
                               QPoint(kReminderTextX, height() - kStatusTextBottomOffset),
                               kLoginTextPos};
  QFont font(QString::fromUtf8(kTextFont));
  font.setPixelSize(kTextPixelHeight);
  for (int i = 0; i < 5; ++i) {
    auto* label = new QLabel(this);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kTextColor);
    label->setPalette(palette);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setMargin(0);
    label->move(positions[i]);
    m_texts[i] = label;
  }
  m_texts[kUpdateText]->setProperty("orvAccessibleRole", static_cast<int>(QAccessible::Link));
  MakeKeyboardLink(m_texts[kUpdateText]);
  AddKeyboardShortcuts();
  SetStatusText(kVersionText,
                QString::fromUtf8(kVersionPrefix) + QString::fromStdString(GetOwnVersion()));
  SetStatusText(kUpdateText, QString::fromUtf8(kUpdateLinkText));
  SetStatusText(kConnectionText, QString::fromUtf8(kConnecting));
}

void CKivoDlg::ShowReminder() {
  SetStatusText(kReminderText, QString::fromUtf8(kReminderFormat).arg(0));
  RefreshLoginDisplay();
}

void CKivoDlg::AddTrayIcon() { m_tray->Add(QString::fromUtf8(kTrayTip)); }

void CKivoDlg::StartTimers() {
  // Timer 445 runs only while downloads report (DownloadActivity), so the window has no
  // wake-ups at rest.
  StartTimer(kDelayedCheckTimer, kDelayedCheckMs);
  StartTimer(kHotStripTimer, kHotStripMs);
}

void CKivoDlg::Shutdown() {
  if (m_shutDown) return;
  m_shutDown = true;
  for (const auto& [qtId, id] : m_timerIds) killTimer(qtId);
  m_timerIds.clear();
  // From now on nothing posted reaches this window.
  m_inbox->Close();
  m_imageScope.reset();
  m_images.reset();  // its fetches in flight end at once
  // The app-log worker is waited for; its request in flight ends at once.
  m_appLog->Stop();
  if (m_lists) m_lists->AbortAll();
  // Every core call in flight ends now; their results are dropped.
  shell::AbortAllCalls();
  if (m_push) m_push->Stop();
  if (m_uninstallWatcher) m_uninstallWatcher->Stop();
  // Calls that were asking this window for an icon download get 0 from the detached link
  // and end; the wait is bounded so a call that ignores its flag cannot hold the close.
  if (!shell::WaitForCalls(kCallsEndMs))
    CThreadLog::Instance()->Write("CKivoDlg::Shutdown: calls still running at close");
  m_downloadScope.reset();  // waits for the calls still inside this window
  EndDownloads();
  m_tray->Remove();
}

// ---- The one dispatch point ----

int CKivoDlg::Dispatch(const KivoMessage& message) {
  switch (message.id) {
    case kivo_msg::kPageSwitch:
      OnPageSwitch(message.index);
      return 1;
    case kivo_msg::kTrayCallback:
      // A left click shows the window; the menu comes with the context click by itself.
      if (message.index == QSystemTrayIcon::Trigger) {
        showNormal();
        raise();
      }
      return 1;
    case kivo_msg::kActivateApp:
    case kivo_msg::kAddApp:
    case kivo_msg::kDeleteApp:
    case kivo_msg::kUpgradeApp:
    case kivo_msg::kUninstallApp:
      return m_actions->Handle(static_cast<AppAction>(message.id), message.record, message.list)
                 ? 1
                 : 0;
    case kivo_msg::kUninstallKeyChanged:
      m_lists->RefreshInstallStates();
      for (int page = 0; page < kPageCount; ++page)
        if (m_pages[page]) m_pages[page]->RefreshStates(page == m_page);
      return 1;
    case kivo_msg::kPushMessage:
      m_popup->ShowMessage(message.push);
      return 1;
    case kivo_msg::kCustomerService:
      if (m_serviceDesk) m_serviceDesk->ReplaceServiceTypes(message.services);
      return 1;
    case kivo_msg::kUpdateResult:
      OnUpdateCheckResult(message.index, message.flag);
      return 1;
    default:
      return 0;
  }
}

void CKivoDlg::OnPageSwitch(int page) {
  if (page < 0 || page >= kPageCount || !m_pages[page]) return;
  m_page = page;
  IKivoPage& chosen = *m_pages[page];
  if (chosen.NeedsLogin() && m_session.loggedIn == 0) {
    OpenLoginDialog(true);
    if (m_session.loggedIn == 0) {
      shell::ShowMessage(this, QString::fromUtf8(kLoginFirst), QString(), CMessageBoxDialog::kOk);
      // The page index stays, but the previous page's contents stay on show, and so does
      // the tab that shows them.
      if (m_tabs) m_tabs->Select(m_shownPage);
      return;
    }
  }
  // A page shows at once with the lists it holds; it fills in as their answers arrive.
  chosen.Enter();
  m_shownPage = page;
  for (int other = 0; other < kPageCount; ++other)
    if (other != page && m_pages[other]) m_pages[other]->Leave();
}

QWidget* CKivoDlg::Page(int index) const {
  // The home page is no widget of its own: null for it, as for an index out of range.
  if (index < 0 || index >= kPageCount) return nullptr;
  return dynamic_cast<QWidget*>(m_pages[index]);
}

void CKivoDlg::ShowProgress(const std::string& url, int percent) {
  // The hot strip shows progress on every page; the other pages while they are on show.
  if (m_pages[0]) m_pages[0]->ShowProgress(url, percent);
  if (m_page != 0 && m_pages[m_page]) m_pages[m_page]->ShowProgress(url, percent);
}

QRect CKivoDlg::HotStripRect() const {
  return kivo_layout::HotStripRect(width(), m_skin[kTopmost].height(),
                                   m_skin[kStartBackground].height());
}

// ---- Timers ----

void CKivoDlg::StartTimer(int id, int ms) {
  KillTimer(id);
  m_timerIds[startTimer(ms)] = id;
}

void CKivoDlg::KillTimer(int id) {
  for (auto it = m_timerIds.begin(); it != m_timerIds.end(); ++it) {
    if (it->second == id) {
      killTimer(it->first);
      m_timerIds.erase(it);
      return;
    }
  }
}

void CKivoDlg::timerEvent(QTimerEvent* event) {
  auto it = m_timerIds.find(event->timerId());
  if (it == m_timerIds.end()) return QDialog::timerEvent(event);
  OnTimer(it->second);
}

void CKivoDlg::OnTimer(int id) {
  switch (id) {
    case kDelayedCheckTimer:
      RunUpdateCheck();
      ConnectPushChannel();
      KillTimer(kDelayedCheckTimer);
      break;
    case kFinishedDownloadsTimer: {
      std::vector<std::string> finished;
      {
        std::lock_guard lock(m_finishedMutex);
        finished.swap(m_finished);
      }
      // A tick with nothing drained and no report since the last one ends the timer; the
      // next report starts it again.
      if (finished.empty() && !m_downloadReported) KillTimer(kFinishedDownloadsTimer);
      m_downloadReported = false;
      for (const std::string& url : finished) {
        if (m_pages[m_page]) m_pages[m_page]->RefreshIcon(url);
        // The picture of the banner on show may have arrived after the list.
        if (m_bannerIndex >= 0 && m_bannerIndex < static_cast<int>(m_banners.size()) &&
            m_banners[m_bannerIndex].url == url && !m_banner->HasPicture())
          ShowBanner(m_bannerIndex);
      }
      break;
    }
    case kHotStripTimer:
      KillTimer(kHotStripTimer);
      RebuildHotStrip();
      break;
    case kBannerTimer: {
      int next = NextBannerIndex(m_bannerIndex, static_cast<int>(m_banners.size()));
      if (next >= 0) ShowBanner(next);
      break;
    }
    default:
      break;
  }
}

void CKivoDlg::RebuildHotStrip() {
  if (m_strip) m_strip->Rebuild(HotStripRect());
}

size_t CKivoDlg::PendingFinishedDownloads() const {
  std::lock_guard lock(m_finishedMutex);
  return m_finished.size();
}

// ---- Banner ----

void CKivoDlg::ReplaceBannerList(std::vector<BannerEntry> banners) {
  m_banners = std::move(banners);
  m_bannerIndex = -1;
  if (!m_banners.empty() && m_banner) ShowBanner(0);
}

void CKivoDlg::ShowBanner(int index) {
  m_bannerIndex = index;
  if (m_banner) m_banner->SetAdvertisement(m_banners[index].file, m_banners[index].link);
}

// ---- Workers ----

void CKivoDlg::StartCustomerServiceWorker() {
  using Services = std::vector<CQueryCustomerServiceCtrl::Service>;
  shell::RunCoreCall(
      this,
      [](AbortFlag& abort) {
        CQueryCustomerServiceCtrl controller;
        controller.UseAbortFlag(abort);
        CallResult<Services> out;
        out.result = controller.RunDefault();
        out.value = std::move(controller.services);
        return out;
      },
      [this](CallResult<Services> done) {
        // The built-in service types stay unless the request was answered.
        if (!done.result.Ok()) return;
        KivoMessage message;
        message.id = kivo_msg::kCustomerService;
        message.services = std::move(done.value);
        Dispatch(message);
      });
}

void CKivoDlg::StartAdvertisementWorker() {
  shell::RunCoreCall(
      this,
      [](AbortFlag& abort) {
        CQueryAdvertisementCtrl controller;
        controller.UseAbortFlag(abort);
        CallResult<std::vector<BannerEntry>> out;
        out.result = controller.RunDefault();
        for (const OrvAppInfo& app : controller.apps) {
          std::string fileName = app.iconPath.substr(app.iconPath.find_last_of('/') + 1);
          auto found = controller.advLinks.find(fileName);
          out.value.push_back(
              {app.iconPath, found != controller.advLinks.end() ? found->second : "", app.img});
        }
        return out;
      },
      [this](CallResult<std::vector<BannerEntry>> done) {
        // Without an answer the banner list stays as it is.
        if (done.result.Ok()) ReplaceBannerList(std::move(done.value));
      });
}

void CKivoDlg::ConnectPushChannel() {
  if (!m_push) {
    m_push = std::make_unique<CLoginTcpSocket>([this](const PushMessage& push) {
      m_inbox->Post([this, push] {
        KivoMessage message;
        message.id = kivo_msg::kPushMessage;
        message.push = push;
        Dispatch(message);
      });
    });
  }
  bool started = m_push->StartPushThread();
  SetStatusText(kConnectionText, QString::fromUtf8(started ? kConnected : kConnectFailed));
}

void CKivoDlg::QueueAppLog(const S_OrvAppLogRequestInfo& record) { m_appLog->Queue(record); }

// ---- Update check ----

void CKivoDlg::StartUpdateCheck(bool userRequested) {
  m_updateUserRequested = userRequested;
  RunUpdateCheck();
}

void CKivoDlg::RunUpdateCheck() {
  // One check at a time; the delayed check takes the flag of the latest start.
  if (m_shutDown || m_updateCall.Pending()) return;
  m_updateCall = shell::RunCoreCall(
      this,
      [](AbortFlag& abort) {
        // The code carries the check's outcome, an unanswered check included.
        return CallResult<int>{RequestResult::Success(), CheckForUpdateDetailed({}, &abort).code};
      },
      [this](CallResult<int> done) {
        KivoMessage message;
        message.id = kivo_msg::kUpdateResult;
        message.index = done.value;
        message.flag = m_updateUserRequested;
        Dispatch(message);
      });
}

void CKivoDlg::OnUpdateCheckResult(int code, bool userRequested) {
  HandleUpdateCheckResult(code, userRequested, *this, m_services.launchUpdater);
}

void CKivoDlg::ShowInformation(const char* text) {
  shell::ShowMessage(this, QString::fromUtf8(text), QString(),
                     CMessageBoxDialog::kOk | CMessageBoxDialog::kIconInformation);
}

bool CKivoDlg::Confirm(const char* caption, const char* text) {
  return shell::ShowMessage(this, QString::fromUtf8(text), QString::fromUtf8(caption),
                            CMessageBoxDialog::kOkCancel) == CMessageBoxDialog::kIdOk;
}

void CKivoDlg::ExitForUpdate() {
  // The updater has taken over: the window's life ends now, and with it the program.
  m_exitedForUpdate = true;
  DownloadStopFlag = true;
  done(0);
}

// ---- Session ----

void CKivoDlg::RefreshLoginDisplay() {
  LoginDisplay display = LoginDisplayFor(m_session);
  if (m_login) m_login->setVisible(display.loginButtonVisible);
  if (m_logout) m_logout->setVisible(!display.loginButtonVisible);
  SetStatusText(kLoginText, display.text);
}

void CKivoDlg::Logout() {
  // The logout waits for the login server on a worker; the window takes input meanwhile
  // and refreshes its login display when the logout has ended.
  // The session is signed out here, on its one writer thread; the worker only sends.
  if (m_logoutCall.Pending()) return;
  m_logoutCall = shell::RunCoreCall(
      this,
      [service = m_loginService, cookieKey = m_loginService->SignOut()](AbortFlag& abort) {
        service->SendLogout(cookieKey, abort);
        return CallResult<bool>{RequestResult::Success(), true};
      },
      [this](CallResult<bool>) { RefreshLoginDisplay(); });
}

void CKivoDlg::OpenLoginDialog(bool partialRepaint) {
  m_fullRepaint = !partialRepaint;
  m_services.openLogin();
  m_fullRepaint = true;
}

void CKivoDlg::SetStatusText(int which, const QString& text) {
  QLabel* label = m_texts[which];
  if (!label) return;
  label->setText(text);
  label->setAccessibleName(text);
  label->adjustSize();
  if (m_fullRepaint)
    update();
  else
    update(QRect(QPoint(kLoginAreaLeft, kLoginAreaTop), QPoint(width() - 1, kLoginAreaBottom - 1)));
}

QString CKivoDlg::StatusText(int which) const {
  return which >= 0 && which < 5 && m_texts[which] ? m_texts[which]->text() : QString();
}

// ---- Lists, actions, pages ----

bool CKivoDlg::RequestList(AppListKind kind, QObject* receiver, ListAnswer answer) {
  CAppLists::Answer bound;
  if (answer)
    bound = [guard = QPointer<QObject>(receiver), answer = std::move(answer)](
                const RequestResult& result, const AppList& list) {
      if (guard) answer(result, list);
    };
  return m_lists->Request(kind, std::move(bound)) != CAppLists::Requested::Held;
}

const AppList& CKivoDlg::HeldList(AppListKind kind) const { return m_lists->Held(kind); }

bool CKivoDlg::SendAppAction(AppAction action, const AppRecord& record, AppListKind list) {
  KivoMessage message;
  message.id = static_cast<int>(action);
  message.record = record;
  message.list = list;
  return Dispatch(message) != 0;
}

int CKivoDlg::DownloadFile(const std::string& url, const std::string& localPath, int priority) {
  return FCDownloadFileWndBase<QDialog>::DownloadFile(url, localPath, priority);
}

void CKivoDlg::SwitchToPage(int page) {
  if (m_tabs) m_tabs->Select(page);
  KivoMessage message;
  message.id = kivo_msg::kPageSwitch;
  message.index = page;
  Dispatch(message);
}

void CKivoDlg::RebuildMyApps() {
  if (m_myApps) m_myApps->RebuildButtons();
}

// ---- Download notifications ----

void CKivoDlg::OnCheckTime(std::string, std::string) {}

void CKivoDlg::OnDownError(std::string) { DownloadActivity(); }

void CKivoDlg::DownloadActivity() {
  m_downloadReported = true;
  if (m_shutDown) return;
  for (const auto& entry : m_timerIds)
    if (entry.second == kFinishedDownloadsTimer) return;
  StartTimer(kFinishedDownloadsTimer, kFinishedDownloadsMs);
}

void CKivoDlg::OnDownFailed(std::string url, DownloadFailure, long) {
  ShowProgress(url, tile_look::kProgressFailed);
  OnDownError(std::move(url));
}

void CKivoDlg::OnDownFinished(std::string url, const char*, int64_t) {
  // Only every second progress report reaches the tiles, so the last one shown may be 98%:
  // a finished download returns its tiles to their plain name.
  DownloadActivity();
  ShowProgress(url, 100);
  std::lock_guard lock(m_finishedMutex);
  m_finished.push_back(std::move(url));
}

void CKivoDlg::OnDownProgress(std::string url, int64_t done, int64_t total) {
  DownloadActivity();
  int percent = ProgressPercent(done, total);
  if (!m_progress.Pass()) return;
  ShowProgress(url, percent);
}

// ---- Window behaviour ----

void CKivoDlg::RestoreAndRaise() {
  if (isMinimized() || isHidden()) showNormal();
  raise();
  activateWindow();
}

bool CKivoDlg::ConfirmExit() {
  int answer = shell::ShowMessage(this, QString::fromUtf8(kExitQuestion),
                                  QString::fromUtf8(kExitCaption), CMessageBoxDialog::kOkCancel);
  if (answer != CMessageBoxDialog::kIdOk) return false;
  CloseSequence();
  return true;
}

void CKivoDlg::CloseSequence() {
  DownloadStopFlag = true;
  KillTimer(kDelayedCheckTimer);
  if (m_strip) m_strip->Clear();
  done(0);
}

void CKivoDlg::OnTrayCommand(int command) {
  switch (command) {
    case CSystemNotifyTray::kShowWindow:
      showNormal();
      raise();
      break;
    case CSystemNotifyTray::kLogin:
      // While signed in the item reads "注销" and logs out.
      if (m_session.loggedIn == 1)
        Logout();
      else
        OpenLoginDialog(false);
      break;
    case CSystemNotifyTray::kQuit:
      ConfirmExit();
      break;
    case CSystemNotifyTray::kShowMessage:
      m_popup->TakeKeyboard();
      break;
    default:
      break;
  }
}

void CKivoDlg::paintEvent(QPaintEvent* event) {
  const qreal ratio = devicePixelRatioF();
  const QSize pixels = (QSizeF(size()) * ratio).toSize();
  if (m_backdrop.size() != pixels) {
    m_backdrop = QPixmap(pixels);
    m_backdrop.setDevicePixelRatio(ratio);
    QPainter painter(&m_backdrop);
    const int w = width(), h = height();
    painter.fillRect(rect(), kFrameColor);
    painter.fillRect(QRect(QPoint(0, kTopBandHeight), QPoint(w - 1, h - kPageAreaBottomMargin - 1)),
                     kPageAreaColor);
    // Each bitmap tiled over its band from the band's top-left corner.
    painter.drawTiledPixmap(QRect(0, 0, w, kTopBandHeight), m_skin[kTopmost]);
    painter.drawTiledPixmap(QRect(0, h - kStatusBandHeight, w, kStatusBandHeight),
                            m_skin[kStatusBar]);
    painter.drawTiledPixmap(
        QRect(QPoint(0, kTopBandHeight), QPoint(w - 1, h - kBackgroundBottomMargin - 1)),
        m_skin[kStartBackground]);
  }
  // Rectangle by rectangle: each is a plain copy, where a copy under a clip of many
  // rectangles would be spread over the pool.
  QPainter painter(this);
  for (const QRect& part : event->region()) {
    painter.setClipRect(part);
    painter.drawPixmap(part.topLeft(), m_backdrop,
                       QRectF(QPointF(part.topLeft()) * ratio, QSizeF(part.size()) * ratio));
  }
}

void CKivoDlg::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QDialog::mousePressEvent(event);
  const QPoint pos = event->position().toPoint();
  m_updateLinkPressed = UpdateLinkRect(height()).contains(pos);
  // The top band acts as the caption.
  m_drag.Press(*this, *event, !m_updateLinkPressed && pos.y() < kDragBandHeight);
}

void CKivoDlg::mouseMoveEvent(QMouseEvent* event) {
  if (m_drag.Move(*this, *event)) return;
  setCursor(UpdateLinkRect(height()).contains(event->position().toPoint()) ? Qt::PointingHandCursor
                                                                           : Qt::ArrowCursor);
}

void CKivoDlg::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QDialog::mouseReleaseEvent(event);
  m_drag.Release();
  bool clicked =
      m_updateLinkPressed && UpdateLinkRect(height()).contains(event->position().toPoint());
  m_updateLinkPressed = false;
  if (clicked) StartUpdateCheck(true);
}

void CKivoDlg::contextMenuEvent(QContextMenuEvent* event) {
  // The window has no system menu of its own on Linux: the about item is offered from the
  // top band's context menu.
  if (event->pos().y() >= kDragBandHeight) return;
  QMenu menu(this);
  QAction* about = menu.addAction(QString::fromUtf8(kAboutItem));
  if (menu.exec(event->globalPos()) == about) ShowAbout();
}

void CKivoDlg::ShowAbout() {
  shell::ShowMessage(this,
                     QString::fromUtf8(kAboutText).arg(QString::fromStdString(GetOwnVersion())),
                     QString::fromUtf8(kAboutCaption),
                     CMessageBoxDialog::kOk | CMessageBoxDialog::kIconInformation);
}

void CKivoDlg::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return;  // Enter does nothing
    case Qt::Key_Escape:
      // Escape backs out of things: it asks before ending the program, as the close button.
      ConfirmExit();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

void CKivoDlg::AddKeyboardShortcuts() {
  auto add = [this](QKeySequence keys, std::function<void()> run) {
    connect(new QShortcut(keys, this), &QShortcut::activated, this, std::move(run));
  };
  const int pages = m_tabs->Count();
  // The focus moves to the strip, so a screen reader says which page opened.
  auto open = [this](int page) {
    m_tabs->SelectByUser(page);
    m_tabs->setFocus(Qt::ShortcutFocusReason);
  };
  auto step = [this, pages, open](int by) { open((m_tabs->Selected() + by + pages) % pages); };
  add(QKeySequence(Qt::CTRL | Qt::Key_Tab), [step] { step(1); });
  // Shift+Tab arrives as Backtab on X11, as Shift+Tab elsewhere.
  add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), [step] { step(-1); });
  add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), [step] { step(-1); });
  for (int i = 0; i < pages && i < 9; ++i)
    add(QKeySequence(Qt::CTRL | (Qt::Key_1 + i)), [open, i] { open(i); });
  add(QKeySequence(Qt::CTRL | Qt::Key_M), [this] { m_popup->TakeKeyboard(); });
  m_tray->SetHasMessage([this] { return m_popup->HasMessage(); });
}

bool CKivoDlg::focusNextPrevChild(bool next) {
  std::vector<QWidget*> stops;
  auto usable = [this](QWidget* w) {
    return w && w->isVisibleTo(this) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus);
  };
  for (QWidget* w : {static_cast<QWidget*>(m_login), static_cast<QWidget*>(m_logout),
                     static_cast<QWidget*>(m_minimize), static_cast<QWidget*>(m_close),
                     static_cast<QWidget*>(m_tabs)})
    if (usable(w)) stops.push_back(w);
  const size_t fixed = stops.size();
  // The content, in the window's own chain: the open page's controls, or the hot tiles.
  for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
    if (!usable(w) || w == m_texts[kUpdateText] || w->focusProxy() ||
        std::find(stops.begin(), stops.begin() + fixed, w) != stops.begin() + fixed)
      continue;
    stops.push_back(w);
  }
  if (usable(m_texts[kUpdateText])) stops.push_back(m_texts[kUpdateText]);
  if (stops.empty()) return QDialog::focusNextPrevChild(next);
  QWidget* current = focusWidget();
  while (current && current->focusProxy()) current = current->focusProxy();
  // A control inside a stop (the line edit of a combo box) counts as the stop.
  auto at = std::find_if(stops.begin(), stops.end(), [current](QWidget* w) {
    return current && (w == current || w->isAncestorOf(current));
  });
  const int count = static_cast<int>(stops.size());
  int index = at == stops.end() ? (next ? -1 : 0) : static_cast<int>(at - stops.begin());
  index = (index + (next ? 1 : -1) + count) % count;
  stops[index]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  return true;
}

void CKivoDlg::closeEvent(QCloseEvent* event) {
  // A close request from the window manager (Alt+F4): no question.
  event->accept();
  if (isVisible()) CloseSequence();
}
