// The message popup: its areas, the hover and press rendering, one window for messages in
// a row, the clicks (link opened or not, popup closed) also through a screen reader, and its
// place after a drag.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>

#include <string>
#include <vector>

#include "client/requests/PushMessage.h"
#include "client/ui/notify/CCometMiniNews.h"
#include "controls/SkinImages.h"

namespace {

using namespace mini_news;

void SendMouse(QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButtons buttons) {
  QPointF global = w->mapToGlobal(QPointF(local));
  QMouseEvent event(type, QPointF(local), global,
                    type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                    Qt::NoModifier);
  QApplication::sendEvent(w, &event);
}

void Click(QWidget* w, QPoint local) {
  SendMouse(w, QEvent::MouseButtonPress, local, Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, local, Qt::NoButton);
}

QPoint Corner(QWidget* w) {
  return CornerPosition(QGuiApplication::primaryScreen()->availableGeometry(), w->size());
}

class MiniNewsTest : public ::testing::Test {
 protected:
  std::vector<std::string> opened;
  CCometMiniNews news{[this](const std::string& url) {
    opened.push_back(url);
    return true;
  }};
};

}  // namespace

TEST(MiniNewsAreas, HitTestFindsEachAreaAndNothingOnTheFrame) {
  struct Case {
    QPoint point;
    int area;
  };
  const Case cases[] = {
      {{214, 1}, kClose},
      {{249, 18}, kClose},
      {{213, 1}, -1},
      {{214, 19}, -1},
      {{195, 155}, kOpen},
      {{244, 174}, kOpen},
      {{245, 175}, -1},
      {{8, 26}, kTitleText},
      {{241, 45}, kTitleText},
      {{8, 51}, kMessageText},
      {{241, 144}, kMessageText},
      {{100, 48}, -1},
      {{100, 150}, -1},
      {{2, 100}, -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(HitTest(c.point), c.area) << c.point.x() << "," << c.point.y();
}

TEST(MiniNewsAreas, CornerPlacementMeetsTheWorkAreasLowerRight) {
  EXPECT_EQ(CornerPosition(QRect(0, 0, 1920, 1040), QSize(250, 180)), QPoint(1670, 860));
  // A work area that does not start at the origin (a panel on the left or the top).
  EXPECT_EQ(CornerPosition(QRect(64, 30, 1000, 700), QSize(250, 180)), QPoint(814, 550));
}

TEST_F(MiniNewsTest, TwoMessagesInARowGiveOneWindowWithTheSecondText) {
  EXPECT_EQ(news.Window(), nullptr);
  news.ShowMessage({"标题一", "第一条消息", ""});
  CMiniNewsWindow* first = news.Window();
  ASSERT_NE(first, nullptr);
  news.ShowMessage({"标题二", "第二条消息", "http://127.0.0.1:1/x"});
  EXPECT_EQ(news.Window(), first);
  EXPECT_EQ(first->AreaText(kTitleText), QStringLiteral("标题二"));
  EXPECT_EQ(first->AreaText(kMessageText), QStringLiteral("第二条消息"));
  EXPECT_EQ(first->Link(), "http://127.0.0.1:1/x");
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(first->size(), QSize(kWidth, kHeight));
  EXPECT_EQ(first->pos(), Corner(first));
  EXPECT_TRUE(first->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(first->windowFlags() & Qt::FramelessWindowHint);
}

TEST_F(MiniNewsTest, ClickOnTextWithoutLinkClosesAndOpensNothing) {
  news.ShowMessage({"标题", "没有链接的消息", ""});
  Click(news.Window(), QPoint(50, 80));
  QApplication::processEvents();  // the posted area click
  QApplication::processEvents();  // the deferred delete
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(news.Window(), nullptr);

  // The next message creates the popup again.
  news.ShowMessage({"标题", "又一条", ""});
  ASSERT_NE(news.Window(), nullptr);
  EXPECT_TRUE(news.Window()->isVisible());
}

TEST_F(MiniNewsTest, OpenButtonAndTextOpenTheLinkButCloseDoesNot) {
  const std::string link = "http://127.0.0.1:9/news";
  for (int area : {kOpen, kTitleText, kMessageText, kClose}) {
    opened.clear();
    news.ShowMessage({"标题", "消息", link});
    Click(news.Window(), kAreas[area].rect.center());
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_EQ(opened, area == kClose ? std::vector<std::string>{} : std::vector<std::string>{link})
        << "area " << area;
    EXPECT_EQ(news.Window(), nullptr) << "area " << area;
  }
}

TEST_F(MiniNewsTest, PressOutsideTheAreaItStartedInDoesNotClick) {
  news.ShowMessage({"标题", "消息", "http://127.0.0.1:9/"});
  CMiniNewsWindow* w = news.Window();
  SendMouse(w, QEvent::MouseButtonPress, kAreas[kOpen].rect.center(), Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, kAreas[kMessageText].rect.center(), Qt::NoButton);
  QApplication::processEvents();
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(news.Window(), w);
}

TEST_F(MiniNewsTest, HoverAndPressRenderTheButtonStatesAndSetTheCursor) {
  news.ShowMessage({"标题", "消息", ""});
  CMiniNewsWindow* w = news.Window();
  const QImage skin = ResourceImage(kSkinResource);
  ASSERT_FALSE(skin.isNull());
  const QRect close = kAreas[kClose].rect;
  auto shown = [&] { return w->BackBuffer().copy(close).convertToFormat(QImage::Format_RGB32); };
  auto skinState = [&](int state) {
    return skin.copy(1 + close.width() * state, 60, close.width(), close.height())
        .convertToFormat(QImage::Format_RGB32);
  };
  EXPECT_EQ(shown(), skinState(0));

  SendMouse(w, QEvent::MouseMove, close.center(), Qt::NoButton);
  EXPECT_EQ(w->Hovered(), kClose);
  EXPECT_EQ(shown(), skinState(1));
  EXPECT_EQ(w->cursor().shape(), Qt::ArrowCursor);  // the close button keeps the arrow

  SendMouse(w, QEvent::MouseButtonPress, close.center(), Qt::LeftButton);
  EXPECT_EQ(w->Pressed(), kClose);
  EXPECT_EQ(shown(), skinState(2));

  SendMouse(w, QEvent::MouseMove, kAreas[kMessageText].rect.center(), Qt::LeftButton);
  EXPECT_EQ(w->Hovered(), kMessageText);
  EXPECT_EQ(w->cursor().shape(), Qt::PointingHandCursor);

  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(w, &leave);
  EXPECT_EQ(w->Hovered(), -1);
  EXPECT_EQ(w->Pressed(), -1);
  EXPECT_EQ(shown(), skinState(0));
}

TEST_F(MiniNewsTest, DraggingTheFrameMovesItAndTheNextMessageMovesItBack) {
  news.ShowMessage({"标题", "消息", ""});
  CMiniNewsWindow* w = news.Window();
  const QPoint corner = w->pos();
  const QPoint grab(100, 160);  // frame, outside every area
  ASSERT_EQ(HitTest(grab), -1);
  SendMouse(w, QEvent::MouseButtonPress, grab, Qt::LeftButton);
  SendMouse(w, QEvent::MouseMove, grab + QPoint(-300, -200), Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, grab + QPoint(-300, -200), Qt::NoButton);
  EXPECT_EQ(w->pos(), corner + QPoint(-300, -200));
  EXPECT_EQ(news.Window(), w);  // a drag is no click

  news.ShowMessage({"标题", "下一条", ""});
  EXPECT_EQ(w->pos(), corner);
}

TEST_F(MiniNewsTest, AScreenReadersPressOnAnAreaActsAsItsClick) {
  const std::string link = "http://127.0.0.1:9/news";
  for (int area : {kClose, kOpen}) {
    opened.clear();
    news.ShowMessage({"标题", "消息", link});
    QAccessibleInterface* popup = QAccessible::queryAccessibleInterface(news.Window());
    ASSERT_NE(popup, nullptr);
    QAccessibleActionInterface* actions = popup->child(area)->actionInterface();
    ASSERT_NE(actions, nullptr) << "area " << area;
    EXPECT_EQ(actions->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
    actions->doAction(QAccessibleActionInterface::pressAction());
    QApplication::processEvents();  // the posted press
    QApplication::processEvents();  // the deferred delete
    EXPECT_EQ(opened, area == kClose ? std::vector<std::string>{} : std::vector<std::string>{link})
        << "area " << area;
    EXPECT_EQ(news.Window(), nullptr) << "area " << area;
  }
}

TEST_F(MiniNewsTest, AScreenReaderHearsANotificationWithTheTitleAndText) {
  news.ShowMessage({"停机通知", "今晚十点维护", ""});
  QAccessibleInterface* popup = QAccessible::queryAccessibleInterface(news.Window());
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->role(), QAccessible::Notification);
  EXPECT_EQ(popup->text(QAccessible::Name), QStringLiteral("停机通知"));
  EXPECT_EQ(popup->text(QAccessible::Description), QStringLiteral("今晚十点维护"));
  EXPECT_FALSE(news.Window()->hasFocus());  // a message does not take the keyboard
}

TEST_F(MiniNewsTest, KeyboardReachesThePopupAndItsKeysActAsTheClicks) {
  const std::string link = "http://127.0.0.1:9/news";
  EXPECT_FALSE(news.TakeKeyboard());  // no message yet
  struct Case {
    std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>> keys;
    bool opensLink;
  };
  const Case cases[] = {
      {{{Qt::Key_Escape, Qt::NoModifier}}, false},
      {{{Qt::Key_Return, Qt::NoModifier}}, true},  // the keyboard starts on the open button
      {{{Qt::Key_Tab, Qt::NoModifier}, {Qt::Key_Space, Qt::NoModifier}}, false},
      {{{Qt::Key_Right, Qt::NoModifier},
        {Qt::Key_Backtab, Qt::ShiftModifier},
        {Qt::Key_Enter, Qt::KeypadModifier}},
       true},
  };
  news.ShowMessage({"标题", "消息", link});
  for (size_t i = 0; i < std::size(cases); ++i) {
    opened.clear();
    // The popup was closed by the case before: the keyboard brings the last message back.
    ASSERT_TRUE(news.TakeKeyboard()) << "case " << i;
    CMiniNewsWindow* w = news.Window();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->ShowsFocus(); }, 5000)) << "case " << i;
    EXPECT_EQ(w->AreaText(kMessageText), QStringLiteral("消息"));
    QAccessibleInterface* popup = QAccessible::queryAccessibleInterface(w);
    EXPECT_TRUE(popup->child(kOpen)->state().focused) << "case " << i;
    for (const auto& [key, modifiers] : cases[i].keys) QTest::keyClick(w, key, modifiers);
    QApplication::processEvents();
    QApplication::processEvents();  // the deferred delete
    EXPECT_EQ(opened,
              cases[i].opensLink ? std::vector<std::string>{link} : std::vector<std::string>{})
        << "case " << i;
    EXPECT_EQ(news.Window(), nullptr) << "case " << i;
  }
}
