#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <string>
#include <vector>

#include "controls/CXTabCtrl.h"

namespace {

constexpr XColor kRed = XRgb(255, 0, 0);
constexpr XColor kGreen = XRgb(0, 255, 0);
constexpr XColor kBlue = XRgb(0, 0, 255);
constexpr XColor kGrey = XRgb(128, 128, 128);

class XTabCtrlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_parent.resize(500, 60);
    m_strip = new CXTabCtrl(&m_parent, 1127);
    m_strip->setGeometry(0, 0, 400, 30);
    QObject::connect(m_strip, &CXTabCtrl::tabMessage, [this](int message, int index) {
      m_events.push_back("message " + std::to_string(message) + " " + std::to_string(index) +
                         " selected " + std::to_string(m_strip->Selected()));
    });
    QObject::connect(m_strip, &CXTabCtrl::tabNotify, [this](int id, int code) {
      m_events.push_back("notify " + std::to_string(id) + " " + std::to_string(code));
    });
  }

  void Press(Qt::MouseButton button, QPoint at) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), QPointF(m_strip->mapToGlobal(at)),
                      button, button, Qt::NoModifier);
    QCoreApplication::sendEvent(m_strip, &press);
  }
  void Move(QPoint at) {
    QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(m_strip->mapToGlobal(at)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_strip, &move);
  }
  void AddTabs(int n) {
    for (int i = 0; i < n; ++i) m_strip->AddTab(QStringLiteral("T%1").arg(i));
  }
  QRgb PixelAt(QPoint at) { return m_strip->grab().toImage().pixel(at); }

  QWidget m_parent;
  CXTabCtrl* m_strip = nullptr;
  std::vector<std::string> m_events;
};

TEST_F(XTabCtrlTest, FirstTabIsSelectedSilentlyAndPressingItSendsNothing) {
  EXPECT_EQ(m_strip->Selected(), -1);
  EXPECT_EQ(m_strip->AddTab(QStringLiteral("桌面应用")), 0);
  EXPECT_EQ(m_strip->AddTab(QStringLiteral("网页应用")), 1);
  EXPECT_EQ(m_strip->Selected(), 0);
  Press(Qt::LeftButton, m_strip->TabRect(0).center());
  EXPECT_TRUE(m_events.empty());
}

TEST_F(XTabCtrlTest, PressOnAnotherTabSendsSelectMessageBeforeSelChange) {
  AddTabs(3);
  Press(Qt::LeftButton, m_strip->TabRect(2).center());
  // The index is stored before the parent hears of it.
  const std::vector<std::string> expected = {"message 1125 2 selected 2", "notify 1127 -551"};
  EXPECT_EQ(m_events, expected);
  EXPECT_EQ(m_strip->Selected(), 2);
}

TEST_F(XTabCtrlTest, RightPressSelectsLikeLeftOtherButtonsDoNot) {
  AddTabs(3);
  Press(Qt::MiddleButton, m_strip->TabRect(1).center());
  EXPECT_EQ(m_strip->Selected(), 0);
  Press(Qt::RightButton, m_strip->TabRect(1).center());
  EXPECT_EQ(m_strip->Selected(), 1);
  const std::vector<std::string> expected = {"message 1125 1 selected 1", "notify 1127 -551"};
  EXPECT_EQ(m_events, expected);
}

TEST_F(XTabCtrlTest, ArrowKeysMoveTheMarkAndReturnEnterSpaceOpenItAsAClickWould) {
  AddTabs(3);
  EXPECT_EQ(m_strip->focusPolicy(), Qt::TabFocus);
  auto key = [&](Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, k, modifiers);
    QCoreApplication::sendEvent(m_strip, &event);
  };
  key(Qt::Key_Left);  // already on the first tab: nothing
  key(Qt::Key_Right);
  EXPECT_EQ(m_strip->Current(), 1);
  EXPECT_EQ(m_strip->Selected(), 0);  // moving the mark opens nothing
  EXPECT_TRUE(m_events.empty());
  key(Qt::Key_Return);
  key(Qt::Key_End);
  key(Qt::Key_Right);  // already on the last tab: stays
  key(Qt::Key_Space);
  key(Qt::Key_Home);
  key(Qt::Key_Enter, Qt::KeypadModifier);
  key(Qt::Key_Space);                       // the open tab again: nothing
  key(Qt::Key_Right, Qt::ControlModifier);  // left to the window
  EXPECT_EQ(m_strip->Current(), 0);
  const std::vector<std::string> expected = {"message 1125 1 selected 1", "notify 1127 -551",
                                             "message 1125 2 selected 2", "notify 1127 -551",
                                             "message 1125 0 selected 0", "notify 1127 -551"};
  EXPECT_EQ(m_events, expected);
}

TEST_F(XTabCtrlTest, PressOutsideEveryTabChangesNothing) {
  AddTabs(2);  // 160 pixels of tabs in a 400-pixel strip
  Press(Qt::LeftButton, QPoint(300, 10));
  EXPECT_EQ(m_strip->Selected(), 0);
  EXPECT_TRUE(m_events.empty());
  EXPECT_EQ(m_strip->HitTest(QPoint(300, 10)), -1);
  EXPECT_EQ(m_strip->HitTest(QPoint(-1, 10)), -1);
  EXPECT_EQ(m_strip->HitTest(QPoint(79, 29)), 0);
  EXPECT_EQ(m_strip->HitTest(QPoint(80, 0)), 1);
}

TEST_F(XTabCtrlTest, SelectByCodeIsSilentAndChecksTheIndex) {
  AddTabs(3);
  EXPECT_TRUE(m_strip->Select(2));
  EXPECT_EQ(m_strip->Selected(), 2);
  EXPECT_FALSE(m_strip->Select(3));
  EXPECT_FALSE(m_strip->Select(-1));
  EXPECT_EQ(m_strip->Selected(), 2);
  EXPECT_TRUE(m_events.empty());
}

TEST_F(XTabCtrlTest, TabsStartingBeyondTheRightEdgeAreNotDrawn) {
  m_strip->resize(200, 30);
  AddTabs(5);  // left edges 0, 80, 160, 240, 320
  EXPECT_EQ(m_strip->DrawOrder(), (std::vector<int>{2, 1, 0}));
  m_strip->Select(1);
  EXPECT_EQ(m_strip->DrawOrder(), (std::vector<int>{2, 0, 1}));
}

TEST_F(XTabCtrlTest, WideImageWidensEveryTabNarrowOneDoesNot) {
  AddTabs(3);
  QImage narrow(60, 20, QImage::Format_RGB32);
  narrow.fill(Qt::white);
  EXPECT_EQ(m_strip->AddImage(narrow), 0);
  EXPECT_EQ(m_strip->ItemWidth(), 80);
  QImage wide(100, 20, QImage::Format_RGB32);
  wide.fill(Qt::white);
  EXPECT_EQ(m_strip->AddImage(wide), 1);
  EXPECT_EQ(m_strip->ItemWidth(), 100);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(m_strip->TabRect(i).left(), 100 * i);
    EXPECT_EQ(m_strip->TabRect(i).width(), 100);
  }
  EXPECT_EQ(m_strip->AddImage(QImage()), -1);
  EXPECT_EQ(m_strip->Images().Size(1), QSize(100, 20));
  EXPECT_FALSE(m_strip->Images().Size(5).isValid());
}

TEST_F(XTabCtrlTest, HoverFollowsTheMouseAndClearsOnLeave) {
  AddTabs(3);
  Move(m_strip->TabRect(1).center());
  EXPECT_EQ(m_strip->Hot(), 1);
  Move(QPoint(390, 5));
  EXPECT_EQ(m_strip->Hot(), -1);
  Move(m_strip->TabRect(2).center());
  EXPECT_EQ(m_strip->Hot(), 2);
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(m_strip, &leave);
  EXPECT_EQ(m_strip->Hot(), -1);
}

TEST_F(XTabCtrlTest, RemovingTabsKeepsTheSelectionOnTheSameTab) {
  AddTabs(4);
  m_strip->Select(2);
  EXPECT_TRUE(m_strip->RemoveTab(0));
  EXPECT_EQ(m_strip->Selected(), 1);
  EXPECT_EQ(m_strip->TabText(1), QStringLiteral("T2"));
  EXPECT_EQ(m_strip->TabRect(1).left(), 80);
  EXPECT_TRUE(m_strip->RemoveTab(1));
  EXPECT_EQ(m_strip->Selected(), -1);
  EXPECT_FALSE(m_strip->RemoveTab(2));
  m_strip->grab();  // painting with no selection must not touch a missing tab
  m_strip->RemoveAllTabs();
  EXPECT_EQ(m_strip->Count(), 0);
  m_strip->AddTab(QStringLiteral("again"));
  EXPECT_EQ(m_strip->Selected(), 0);
}

TEST_F(XTabCtrlTest, TextAndImageAccessorsCheckTheirArguments) {
  AddTabs(2);
  EXPECT_FALSE(m_strip->SetTabText(0, QString()));
  EXPECT_EQ(m_strip->TabText(0), QStringLiteral("T0"));
  EXPECT_TRUE(m_strip->SetTabText(1, QStringLiteral("新")));
  EXPECT_EQ(m_strip->TabText(1), QStringLiteral("新"));
  EXPECT_FALSE(m_strip->SetTabText(2, QStringLiteral("x")));
  EXPECT_TRUE(m_strip->SetTabImage(1, 4));
  EXPECT_EQ(m_strip->TabImage(1), 4);
  EXPECT_EQ(m_strip->TabImage(7), -1);
}

TEST_F(XTabCtrlTest, PaintsBackgroundSelectedAndFallbackStyles) {
  XTabColorScheme scheme;
  scheme.background = kGrey;
  scheme.normal.fill = kBlue;
  scheme.selected.fill = kRed;
  // The hot style has no fill: the hot tab falls back to the normal fill.
  m_strip->SetColorScheme(scheme);
  AddTabs(3);
  Move(m_strip->TabRect(1).center());
  EXPECT_EQ(PixelAt({40, 5}), QColor(255, 0, 0).rgb());
  EXPECT_EQ(PixelAt({120, 5}), QColor(0, 0, 255).rgb());
  EXPECT_EQ(PixelAt({200, 5}), QColor(0, 0, 255).rgb());
  EXPECT_EQ(PixelAt({350, 5}), QColor(128, 128, 128).rgb());
}

TEST_F(XTabCtrlTest, NormalStyleWithoutFillLeavesTheBackground) {
  XTabColorScheme scheme;
  scheme.background = kGrey;
  scheme.hot.fill = kGreen;
  m_strip->SetColorScheme(scheme);
  AddTabs(2);
  Move(m_strip->TabRect(1).center());
  EXPECT_EQ(PixelAt({10, 3}), QColor(128, 128, 128).rgb());
  EXPECT_EQ(PixelAt({90, 3}), QColor(0, 255, 0).rgb());
}

TEST_F(XTabCtrlTest, ShareSplitsTheFillAcrossOrDown) {
  XTabColorScheme scheme;
  scheme.background = kGrey;
  scheme.selected = {kRed, kXColorNone, kXColorNone, kXColorNone, 25, kGreen, kXColorNone, 0, 0};
  m_strip->SetColorScheme(scheme);
  m_strip->AddTab(QString());
  EXPECT_EQ(PixelAt({5, 15}), QColor(255, 0, 0).rgb());
  EXPECT_EQ(PixelAt({30, 15}), QColor(0, 255, 0).rgb());

  scheme.selected.vertical = 1;
  scheme.selected.share = 150;  // clamped to 100: the first fill covers everything
  m_strip->SetColorScheme(scheme);
  EXPECT_EQ(PixelAt({40, 28}), QColor(255, 0, 0).rgb());

  scheme.selected.share = 50;
  scheme.selected.fill2 = kXColorNone;  // no second colour: the remainder keeps the background
  m_strip->SetColorScheme(scheme);
  EXPECT_EQ(PixelAt({40, 5}), QColor(255, 0, 0).rgb());
  EXPECT_EQ(PixelAt({40, 25}), QColor(128, 128, 128).rgb());
}

TEST_F(XTabCtrlTest, GradientRunsFromFillToEndColour) {
  XTabColorScheme scheme;
  scheme.selected = {kRed, kXColorNone, kXColorNone, kBlue, 0, kXColorNone, kXColorNone, 0, 0};
  m_strip->SetColorScheme(scheme);
  m_strip->AddTab(QString());
  const QColor left(PixelAt({1, 15}));
  const QColor right(PixelAt({78, 15}));
  EXPECT_GT(left.red(), 230);
  EXPECT_LT(left.blue(), 25);
  EXPECT_GT(right.blue(), 230);
  EXPECT_LT(right.red(), 25);
}

TEST_F(XTabCtrlTest, TextColourPrefersHotThenSelectedThenNormalThenDefault) {
  const QColor hot(255, 0, 128), selected(0, 255, 255), fallback(255, 255, 0);
  XTabColorScheme scheme;
  scheme.background = kGrey;
  scheme.text = XRgb(255, 255, 0);
  scheme.hot.text = XRgb(255, 0, 128);
  scheme.selected.text = XRgb(0, 255, 255);
  m_strip->SetColorScheme(scheme);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(22);
  font.setWeight(QFont::Black);
  m_strip->setFont(font);
  for (int i = 0; i < 3; ++i) m_strip->AddTab(QStringLiteral("MM"));
  auto colourIn = [&](int tab, const QColor& colour) {
    const QImage image = m_strip->grab().toImage();
    const QRect r = m_strip->TabRect(tab);
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x)
        if (QColor(image.pixel(x, y)) == colour) return true;
    return false;
  };
  Move(m_strip->TabRect(1).center());
  EXPECT_TRUE(colourIn(0, selected));
  EXPECT_TRUE(colourIn(1, hot));
  EXPECT_TRUE(colourIn(2, fallback));
  EXPECT_FALSE(colourIn(2, selected));
  Move(m_strip->TabRect(0).center());  // selected and hot: the hot colour wins
  EXPECT_TRUE(colourIn(0, hot));
  EXPECT_FALSE(colourIn(0, selected));
}

}  // namespace
