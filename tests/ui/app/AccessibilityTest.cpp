// What a screen reader is told about the owner-drawn tab strip (each tab pressable, the one
// the keyboard is on focused), and the main window from the keyboard alone.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QWidget>

#include <vector>

#include "client/base/UserSession.h"
#include "client/ui/app/CKivoDlg.h"
#include "support/TestSupport.h"

#include "controls/CSkinBtn.h"
#include "controls/CXTabCtrl.h"

TEST(KivoAccessibility, EachTabIsPressableAndTheKeyboardsTabIsFocused) {
  QWidget parent;
  auto* strip = new CXTabCtrl(&parent, 7);
  strip->resize(300, 30);
  for (const char* name : {"首页", "应用中心", "我的应用"}) strip->AddTab(QString::fromUtf8(name));
  std::vector<int> opened;
  QObject::connect(strip, &CXTabCtrl::tabMessage, [&](int, int index) { opened.push_back(index); });
  parent.show();
  QApplication::setActiveWindow(&parent);
  strip->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(strip->hasFocus());

  QAccessibleInterface* tabs = QAccessible::queryAccessibleInterface(strip);
  ASSERT_NE(tabs, nullptr);
  QTest::keyClick(strip, Qt::Key_Right);
  EXPECT_EQ(tabs->focusChild(), tabs->child(1));
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(tabs->child(i)->state().focusable);
    EXPECT_EQ(tabs->child(i)->state().focused, i == 1) << i;
  }
  QAccessibleActionInterface* press = tabs->child(2)->actionInterface();
  ASSERT_NE(press, nullptr);
  EXPECT_EQ(press->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
  press->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_TRUE(opened.empty());  // posted: the screen reader has its answer first
  QApplication::processEvents();
  EXPECT_EQ(opened, std::vector<int>{2});
  EXPECT_TRUE(tabs->child(2)->state().selected);
  EXPECT_FALSE(tabs->child(0)->state().selected);
}

TEST(KivoKeyboard, TabGoesRoundTheWindowAndCtrlKeysSwitchPages) {
  orvtest::TempProgramDir dir;
  UserSession session;
  CKivoDlg::Services services;
  services.openLogin = [] {};
  CKivoDlg window(session, services);
  ASSERT_TRUE(window.OnInitDialog());
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

  // The title band, the strip, the home page's content, the update link, and round again.
  QLabel* link = nullptr;
  for (QLabel* label : window.findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
    if (label->text() == QStringLiteral("检测更新")) link = label;
  ASSERT_NE(link, nullptr);
  std::vector<QWidget*> order;
  link->setFocus(Qt::TabFocusReason);
  for (int i = 0; i < 30 && (order.empty() || order.back() != link); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    order.push_back(QApplication::focusWidget());
  }
  ASSERT_GE(order.size(), 5u);  // no hot tiles without a platform
  const std::vector<QWidget*> head(order.begin(), order.begin() + 4);
  EXPECT_EQ(head, (std::vector<QWidget*>{window.LoginButton(), window.MinimizeButton(),
                                         window.CloseButton(), window.Tabs()}));
  EXPECT_EQ(order.back(), link);
  QTest::keyClick(link, Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), window.LoginButton());
  QTest::keyClick(window.LoginButton(), Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), link);

  struct Step {
    QKeyCombination keys;
    int page;
  };
  const Step steps[] = {{Qt::CTRL | Qt::Key_4, 3},
                        {Qt::CTRL | Qt::Key_Tab, 4},
                        {Qt::CTRL | Qt::Key_Tab, 0},  // round to the first
                        {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, 4},
                        {Qt::CTRL | Qt::Key_1, 0}};
  for (const Step& step : steps) {
    QTest::keyClick(QApplication::focusWidget(), step.keys.key(), step.keys.keyboardModifiers());
    EXPECT_EQ(window.Tabs()->Selected(), step.page)
        << QKeySequence(step.keys).toString().toStdString();
    EXPECT_EQ(window.Page(step.page) == nullptr || window.Page(step.page)->isVisible(), true);
  }
  window.Shutdown();
}
