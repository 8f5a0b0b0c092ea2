// What a screen reader is told about the owner-drawn tab strip: each tab pressable, the one
// the keyboard is on focused.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QTest>
#include <QWidget>

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
