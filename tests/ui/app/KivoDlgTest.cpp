// The main window: page-switch rules, the login display, the timers' work (finished
// downloads, banner rotation), progress forwarding, the exit confirmation versus a close
// from the window manager, the tray's login item, the update prompts and the teardown
// against a log server that never answers.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "client/base/UserSession.h"
#include "client/ui/app/CKivoDlg.h"
#include "client/ui/app/KivoLayout.h"
#include "client/ui/notify/CCometMiniNews.h"
#include "client/ui/notify/CSystemNotifyTray.h"
#include "client/ui/shell/CoreCall.h"
#include "client/ui/views/CAdvImage.h"
#include "client/ui/views/CImageCache.h"
#include "controls/CMessageBoxDialog.h"
#include "controls/CSkinBtn.h"
#include "controls/CXTabCtrl.h"
#include "support/TestSupport.h"
#include "ui/MessageBoxAnswers.h"

namespace {

using namespace kivo_layout;

class KivoDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    answers.fallback = CMessageBoxDialog::kIdOk;
    CKivoDlg::Services services;
    services.openLogin = [this] {
      ++logins;
      fullRepaintDuringLogin = window->FullRepaint();
      if (loginSucceeds) {
        session.loggedIn = 1;
        session.userName = "demo";
        window->RefreshLoginDisplay();
      }
    };
    services.launchUpdater = [this] {
      ++launches;
      return launch;
    };
    services.openUrl = [this](const std::string& url) {
      opened.push_back(url);
      return true;
    };
    window = std::make_unique<CKivoDlg>(session, services);
    ASSERT_TRUE(window->OnInitDialog());
    window->show();
  }
  void TearDown() override {
    if (window) window->Shutdown();
  }

  std::string WriteBannerImage(const std::string& name, QColor colour) {
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(colour);
    std::string path = dir.Path() + "/" + name;
    image.save(QString::fromStdString(path));
    return path;
  }

  orvtest::TempProgramDir dir;
  UserSession session;
  std::unique_ptr<CKivoDlg> window;
  // Every box is answered OK unless the test says otherwise.
  orvtest::BoxAnswers answers;
  std::vector<orvtest::ShownBox>& boxes = answers.shown_boxes;
  int logins = 0;
  bool loginSucceeds = false;
  bool fullRepaintDuringLogin = true;
  int launches = 0;
  LaunchResult launch = LaunchResult::Started;
  std::vector<std::string> opened;
};

}  // namespace

TEST_F(KivoDlgTest, BuildsTheDescribedWindow) {
  EXPECT_EQ(window->size(), QSize(kWidth, kHeight));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("澄野奥凡云平台"));
  EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
  for (int page = 1; page <= 4; ++page) {
    EXPECT_EQ(window->Page(page)->geometry(), QRect(2, 85, kWidth - 4, 435)) << page;
    EXPECT_FALSE(window->Page(page)->isVisible()) << page;
  }
  EXPECT_EQ(window->Tabs()->Count(), 5);
  EXPECT_EQ(window->Tabs()->geometry(), QRect(170, 3, 398, 82));
  EXPECT_TRUE(window->Banner()->isVisible());
  EXPECT_EQ(window->Banner()->geometry(), QRect(0, 80, 850, 325));
  EXPECT_EQ(window->LoginButton()->pos(), QPoint(kWidth - 120, 35));
  EXPECT_EQ(window->CloseButton()->pos(), QPoint(kWidth - 50, 5));
  EXPECT_EQ(window->MinimizeButton()->pos(), QPoint(kWidth - 84, 5));
  EXPECT_TRUE(window->StatusText(0).startsWith(QStringLiteral("程序版本号:")));
  EXPECT_EQ(window->StatusText(1), QStringLiteral("检测更新"));
  EXPECT_EQ(window->StatusText(3), QStringLiteral("消息提醒(0)"));
  EXPECT_EQ(window->StatusText(4), QStringLiteral("您尚未登录!"));
  // Every control a user reaches has a name.
  for (QWidget* w :
       {static_cast<QWidget*>(window->LoginButton()), static_cast<QWidget*>(window->LogoutButton()),
        static_cast<QWidget*>(window->CloseButton()),
        static_cast<QWidget*>(window->MinimizeButton()), static_cast<QWidget*>(window->Tabs()),
        static_cast<QWidget*>(window->Banner())})
    EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
  EXPECT_TRUE(boxes.empty());
}

TEST_F(KivoDlgTest, ScreenReadersSeeTheTabsTheBannerLinkAndTheStatusTexts) {
  QAccessibleInterface* tabs = QAccessible::queryAccessibleInterface(window->Tabs());
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->role(), QAccessible::PageTabList);
  ASSERT_EQ(tabs->childCount(), 5);
  const char* names[] = {"首页", "应用中心", "我的应用", "系统诊断", "服务台"};
  for (int i = 0; i < 5; ++i) {
    QAccessibleInterface* tab = tabs->child(i);
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(tab->role(), QAccessible::PageTab);
    EXPECT_EQ(tab->text(QAccessible::Name), QString::fromUtf8(names[i]));
    EXPECT_EQ(tab->state().selected, i == 0) << i;
    EXPECT_EQ(tab->parent(), tabs);
  }
  window->SwitchToPage(3);
  EXPECT_TRUE(tabs->child(3)->state().selected);

  QAccessibleInterface* banner = QAccessible::queryAccessibleInterface(window->Banner());
  ASSERT_NE(banner, nullptr);
  EXPECT_EQ(banner->role(), QAccessible::Link);
  EXPECT_FALSE(banner->text(QAccessible::Name).isEmpty());

  // The update link reads as a link, the other status texts as text with their content.
  int links = 0;
  for (QLabel* label : window->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
    QAccessibleInterface* text = QAccessible::queryAccessibleInterface(label);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(QAccessible::Name), label->text());
    if (text->role() == QAccessible::Link) {
      ++links;
      EXPECT_EQ(label->text(), QStringLiteral("检测更新"));
    }
  }
  EXPECT_EQ(links, 1);

  // The popup's four areas.
  KivoMessage message;
  message.id = kivo_msg::kPushMessage;
  message.push = {"标题", "内容", "http://127.0.0.1:9/"};
  window->Dispatch(message);
  QAccessibleInterface* popup = QAccessible::queryAccessibleInterface(window->Popup()->Window());
  ASSERT_NE(popup, nullptr);
  ASSERT_EQ(popup->childCount(), 4);
  EXPECT_EQ(popup->child(mini_news::kClose)->role(), QAccessible::Button);
  EXPECT_EQ(popup->child(mini_news::kClose)->text(QAccessible::Name), QStringLiteral("关闭"));
  EXPECT_EQ(popup->child(mini_news::kOpen)->role(), QAccessible::Button);
  EXPECT_EQ(popup->child(mini_news::kTitleText)->text(QAccessible::Name), QStringLiteral("标题"));
  EXPECT_EQ(popup->child(mini_news::kMessageText)->role(), QAccessible::Link);
}

TEST_F(KivoDlgTest, MyAppsWhileSignedOutAsksForLoginAndCancelKeepsPageIndexTwo) {
  window->SwitchToPage(1);
  ASSERT_TRUE(window->Page(1)->isVisible());
  window->SwitchToPage(2);
  EXPECT_EQ(logins, 1);
  EXPECT_FALSE(fullRepaintDuringLogin);  // only the login area repaints meanwhile
  EXPECT_TRUE(window->FullRepaint());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, QStringLiteral("请先登录！"));
  EXPECT_EQ(boxes[0].title, QStringLiteral("Orvanta"));  // no caption of its own
  EXPECT_EQ(window->PageIndex(), 2);
  // The previous page's contents stay, and so does its tab.
  EXPECT_TRUE(window->Page(1)->isVisible());
  EXPECT_EQ(window->Tabs()->Selected(), 1);
  EXPECT_FALSE(window->Page(2)->isVisible());
}

TEST_F(KivoDlgTest, MyAppsAfterASuccessfulLoginShowsThePage) {
  loginSucceeds = true;
  window->SwitchToPage(2);
  EXPECT_EQ(logins, 1);
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(window->Page(2)->isVisible());
  EXPECT_FALSE(window->Banner()->isVisible());
  // Signed in, no second login.
  window->SwitchToPage(3);
  window->SwitchToPage(2);
  EXPECT_EQ(logins, 1);
  window->SwitchToPage(0);
  EXPECT_TRUE(window->Banner()->isVisible());
  for (int page = 1; page <= 4; ++page) EXPECT_FALSE(window->Page(page)->isVisible()) << page;
}

TEST_F(KivoDlgTest, LoginDisplayFollowsTheSession) {
  session.loggedIn = 1;
  session.userName = "张三";
  window->RefreshLoginDisplay();
  EXPECT_EQ(window->StatusText(4), QStringLiteral("欢迎您,张三"));
  EXPECT_FALSE(window->LoginButton()->isVisible());
  EXPECT_TRUE(window->LogoutButton()->isVisible());

  session.loggedIn = 0;
  window->RefreshLoginDisplay();
  EXPECT_EQ(window->StatusText(4), QStringLiteral("您尚未登录!"));
  EXPECT_TRUE(window->LoginButton()->isVisible());
  EXPECT_FALSE(window->LogoutButton()->isVisible());
}

TEST_F(KivoDlgTest, TrayLoginItemLogsOutWhileSignedIn) {
  session.loggedIn = 1;
  session.userName = "demo";
  session.cookieKey = "ck";
  window->RefreshLoginDisplay();
  CSystemNotifyTray* tray = window->Tray();
  tray->PrepareMenu();
  ASSERT_EQ(tray->Action(CSystemNotifyTray::kLogin)->text(), QStringLiteral("注销"));
  tray->Action(CSystemNotifyTray::kLogin)->trigger();
  // The logout runs on a worker; the display follows when it has ended.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return window->StatusText(4) == QStringLiteral("您尚未登录!"); }, 10000));
  EXPECT_EQ(logins, 0);  // no login dialog under the text "注销"
  EXPECT_EQ(session.loggedIn, 0);
  tray->PrepareMenu();
  EXPECT_EQ(tray->Action(CSystemNotifyTray::kLogin)->text(), QStringLiteral("登录"));
  tray->Action(CSystemNotifyTray::kLogin)->trigger();
  EXPECT_EQ(logins, 1);
}

TEST_F(KivoDlgTest, Timer445DrainsTheFinishedDownloadsAndShowsALateBannerPicture) {
  const std::string file = dir.Path() + "/banner1.png";
  window->ReplaceBannerList({{file, "http://127.0.0.1:9/a", "http://127.0.0.1:9/banner1.png"}});
  EXPECT_FALSE(window->Banner()->HasPicture());  // not downloaded yet

  IDownloadHooks& hooks = *window;
  hooks.OnDownFinished("http://127.0.0.1:9/icon1.png", nullptr, 10);
  hooks.OnDownFinished("http://127.0.0.1:9/icon2.png", nullptr, 10);
  WriteBannerImage("banner1.png", Qt::red);
  hooks.OnDownFinished("http://127.0.0.1:9/banner1.png", nullptr, 10);
  EXPECT_EQ(window->PendingFinishedDownloads(), 3u);
  window->OnTimer(kFinishedDownloadsTimer);
  EXPECT_EQ(window->PendingFinishedDownloads(), 0u);
  ASSERT_TRUE(CImageCache::Instance().WaitIdle(10000));
  EXPECT_TRUE(window->Banner()->HasPicture());
  EXPECT_EQ(window->Banner()->Link(), "http://127.0.0.1:9/a");
}

TEST_F(KivoDlgTest, Timer448RotatesTheBannersAndWraps) {
  window->OnTimer(kBannerTimer);  // no banners yet: nothing
  EXPECT_EQ(window->BannerIndex(), -1);

  std::vector<CKivoDlg::BannerEntry> banners;
  for (int i = 0; i < 3; ++i)
    banners.push_back({WriteBannerImage("b" + std::to_string(i) + ".png", Qt::blue),
                       "http://127.0.0.1:9/" + std::to_string(i), ""});
  window->ReplaceBannerList(banners);
  EXPECT_EQ(window->BannerIndex(), 0);
  EXPECT_EQ(window->Banner()->Link(), "http://127.0.0.1:9/0");
  const int expected[] = {1, 2, 0, 1};
  for (int index : expected) {
    window->OnTimer(kBannerTimer);
    EXPECT_EQ(window->BannerIndex(), index);
    EXPECT_EQ(window->Banner()->Link(), "http://127.0.0.1:9/" + std::to_string(index));
  }
  // A new list starts again from its first entry.
  window->ReplaceBannerList({banners[2]});
  EXPECT_EQ(window->BannerIndex(), 0);
  window->OnTimer(kBannerTimer);
  EXPECT_EQ(window->BannerIndex(), 0);
  EXPECT_EQ(window->Banner()->Link(), "http://127.0.0.1:9/2");

  // A click on the banner opens its link.
  QTest::mouseClick(window->Banner(), Qt::LeftButton);
  EXPECT_EQ(opened, std::vector<std::string>{"http://127.0.0.1:9/2"});
}

TEST(ProgressGate, PassesEverySecondNotificationOverAllDownloads) {
  ProgressGate gate;
  // One counter for all downloads: a download that reports once shows nothing, and two
  // downloads reporting in turn pass only the second one's notifications.
  std::vector<bool> passed;
  for (int i = 0; i < 6; ++i) passed.push_back(gate.Pass());
  EXPECT_EQ(passed, (std::vector<bool>{false, true, false, true, false, true}));
  EXPECT_EQ(ProgressPercent(512, 2048), 25);
  EXPECT_EQ(ProgressPercent(100, 0), 0);                       // unknown length
  EXPECT_EQ(ProgressPercent(3000000000LL, 6000000000LL), 50);  // past 32 bits
}

TEST_F(KivoDlgTest, CloseButtonTrayQuitAndEscapeAskFirstButAWindowManagerCloseDoesNot) {
  QSignalSpy finished(window.get(), &QDialog::finished);
  answers.fallback = CMessageBoxDialog::kIdCancel;
  QTest::mouseClick(window->CloseButton(), Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, QStringLiteral("确定退出澄野奥凡云平台?"));
  EXPECT_EQ(boxes[0].title, QStringLiteral("提示"));
  EXPECT_EQ(finished.count(), 0);
  EXPECT_TRUE(window->isVisible());

  // The tray's quit and Escape ask the same question.
  window->Tray()->Action(CSystemNotifyTray::kQuit)->trigger();
  QTest::keyClick(window.get(), Qt::Key_Escape);
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[2].text, boxes[0].text);
  EXPECT_EQ(finished.count(), 0);

  // Alt+F4 / the window manager's close: no question.
  window->close();
  EXPECT_EQ(boxes.size(), 3u);
  EXPECT_EQ(finished.count(), 1);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(KivoDlgTest, TheTopBandDragsTheWindowButTheUpdateLinkAndTheBannerDoNot) {
  auto mouse = [&](QWidget* target, QEvent::Type type, QPoint local, Qt::MouseButtons buttons) {
    QPointF global = target->mapToGlobal(QPointF(local));
    QMouseEvent event(type, QPointF(local), global,
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
  };
  const QPoint start = window->pos();
  // A click in the band moves nothing.
  mouse(window.get(), QEvent::MouseButtonPress, {100, 60}, Qt::LeftButton);
  mouse(window.get(), QEvent::MouseButtonRelease, {100, 60}, Qt::NoButton);
  mouse(window.get(), QEvent::MouseMove, {140, 90}, Qt::NoButton);
  EXPECT_EQ(window->pos(), start);
  // A drag in the band (y < 125) moves the window with the pointer.
  mouse(window.get(), QEvent::MouseButtonPress, {100, 60}, Qt::LeftButton);
  mouse(window.get(), QEvent::MouseMove, {130, 100}, Qt::LeftButton);
  mouse(window.get(), QEvent::MouseButtonRelease, {130, 100}, Qt::NoButton);
  EXPECT_EQ(window->pos(), start + QPoint(30, 40));
  // Below the band, and on the banner, nothing moves.
  const QPoint moved = window->pos();
  mouse(window.get(), QEvent::MouseButtonPress, {20, 500}, Qt::LeftButton);
  mouse(window.get(), QEvent::MouseMove, {60, 520}, Qt::LeftButton);
  mouse(window.get(), QEvent::MouseButtonRelease, {60, 520}, Qt::NoButton);
  mouse(window->Banner(), QEvent::MouseButtonPress, {300, 20}, Qt::LeftButton);
  mouse(window->Banner(), QEvent::MouseMove, {340, 40}, Qt::LeftButton);
  mouse(window->Banner(), QEvent::MouseButtonRelease, {340, 40}, Qt::NoButton);
  EXPECT_EQ(window->pos(), moved);

  // The update link: hand cursor over it, arrow elsewhere.
  const QRect link = UpdateLinkRect(window->height());
  mouse(window.get(), QEvent::MouseMove, link.center(), Qt::NoButton);
  EXPECT_EQ(window->cursor().shape(), Qt::PointingHandCursor);
  mouse(window.get(), QEvent::MouseMove, link.topLeft() - QPoint(1, 0), Qt::NoButton);
  EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(KivoDlgTest, CloseButtonWithOkEndsTheWindow) {
  QSignalSpy finished(window.get(), &QDialog::finished);
  QTest::mouseClick(window->CloseButton(), Qt::LeftButton);
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(finished.count(), 1);
}

TEST_F(KivoDlgTest, UpdatePromptsAndTheHandOff) {
  // A quiet check that finds nothing new shows nothing.
  window->OnUpdateCheckResult(0, false);
  EXPECT_TRUE(boxes.empty());
  // Declined: the client goes on.
  answers.fallback = CMessageBoxDialog::kIdCancel;
  window->OnUpdateCheckResult(2, false);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("更新消息"));
  EXPECT_EQ(boxes[1].text, QStringLiteral("希望您下次更新！"));
  EXPECT_EQ(launches, 0);
  // Accepted, the updater missing: the window stays.
  boxes.clear();
  answers.fallback = CMessageBoxDialog::kIdOk;
  launch = LaunchResult::Missing;
  window->OnUpdateCheckResult(1, false);
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[2].text, QStringLiteral("软件更新失败!"));
  EXPECT_FALSE(window->ExitedForUpdate());
  EXPECT_TRUE(window->isVisible());
  // Accepted and started: the window ends.
  QSignalSpy finished(window.get(), &QDialog::finished);
  launch = LaunchResult::Started;
  window->OnUpdateCheckResult(1, false);
  EXPECT_TRUE(window->ExitedForUpdate());
  EXPECT_EQ(finished.count(), 1);
}

TEST_F(KivoDlgTest, PushedMessageShowsInThePopup) {
  KivoMessage message;
  message.id = kivo_msg::kPushMessage;
  message.push = {"系统维护通知", "今晚维护", ""};
  EXPECT_EQ(window->Dispatch(message), 1);
  ASSERT_NE(window->Popup()->Window(), nullptr);
  EXPECT_EQ(window->Popup()->Window()->AreaText(mini_news::kMessageText),
            QStringLiteral("今晚维护"));
}

namespace {

using orvtest::SilentServer;

}  // namespace

TEST(KivoDlgTeardown, EndsWithinASecondWhileTheLogServerHangs) {
  orvtest::TempProgramDir dir;
  SilentServer server;
  orvtest::ScopedEnv log("ORVANTA_HOST_LOG", "127.0.0.1:" + std::to_string(server.Port()));
  UserSession session;
  CKivoDlg::Services services;
  CKivoDlg window(session, services);
  ASSERT_TRUE(window.OnInitDialog());
  S_OrvAppLogRequestInfo record;
  record.app.appid = 7;
  record.app.name = "记账";
  window.QueueAppLog(record);
  ASSERT_TRUE(orvtest::WaitUntil([&] { return server.Accepted() > 0; }));

  auto start = std::chrono::steady_clock::now();
  window.Shutdown();
  auto took = std::chrono::steady_clock::now() - start;
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
  RecordProperty("shutdown_ms", static_cast<int>(ms));
  EXPECT_LT(ms, 1000);
}

// The service types are replaced only by an answered customer-service request: an OA server
// that refuses or never answers leaves the eleven built-in types.
TEST(KivoDlgServiceDesk, KeepsItsElevenTypesWhenTheOaServerDoesNotAnswer) {
  for (bool silent : {false, true}) {
    orvtest::TempProgramDir dir;
    SilentServer server;
    std::unique_ptr<orvtest::ScopedEnv> oa;
    if (silent)
      oa = std::make_unique<orvtest::ScopedEnv>("ORVANTA_HOST_OA",
                                                "127.0.0.1:" + std::to_string(server.Port()));
    UserSession session;
    CKivoDlg::Services services;
    CKivoDlg window(session, services);
    ASSERT_TRUE(window.OnInitDialog());
    if (silent)
      ASSERT_TRUE(orvtest::WaitUntil([&] { return server.Accepted() > 0; })) << silent;
    else
      ASSERT_TRUE(QTest::qWaitFor([] { return shell::CallsInFlight() == 0; }, 10000));
    QCoreApplication::processEvents();
    auto* types = window.Page(4)->findChild<QComboBox*>("serviceType");
    ASSERT_NE(types, nullptr);
    EXPECT_EQ(types->count(), 11) << silent;
    EXPECT_EQ(types->currentText(), QStringLiteral("代理申报")) << silent;
    window.Shutdown();
  }
}

TEST_F(KivoDlgTest, AScreenReaderCanFollowTheBannerAndStartTheUpdateCheck) {
  window->ReplaceBannerList(
      {{WriteBannerImage("b.png", Qt::blue), "http://127.0.0.1:9/banner", ""}});
  auto press = [](QWidget* widget) {
    QAccessibleInterface* link = QAccessible::queryAccessibleInterface(widget);
    ASSERT_NE(link, nullptr);
    ASSERT_NE(link->actionInterface(), nullptr);
    EXPECT_TRUE(
        link->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  };
  press(window->Banner());
  EXPECT_EQ(opened, std::vector<std::string>{"http://127.0.0.1:9/banner"});

  // The update link: a check the user asked for, which against a closed port says so.
  QLabel* updateLink = nullptr;
  for (QLabel* label : window->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
    if (label->text() == QStringLiteral("检测更新")) updateLink = label;
  ASSERT_NE(updateLink, nullptr);
  press(updateLink);
  EXPECT_TRUE(orvtest::WaitUntil([&] {
    QApplication::processEvents();
    return !boxes.empty();
  }));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, QStringLiteral("无法获取新版本信息！"));
}
