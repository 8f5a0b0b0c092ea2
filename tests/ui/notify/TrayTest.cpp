// The tray menu: its items, the second item's text, which follows the session, and the message
// item, enabled once there is a message.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

#include <vector>

#include "client/ui/notify/CSystemNotifyTray.h"

TEST(SystemNotifyTray, MenuItemsAndLoginTextFollowTheSession) {
  bool loggedIn = false;
  std::vector<int> commands;
  CSystemNotifyTray tray([&] { return loggedIn; }, [&](int c) { commands.push_back(c); }, {});

  QList<QAction*> actions = tray.Menu()->actions();
  ASSERT_EQ(actions.size(), 4);
  EXPECT_EQ(actions[0]->text(), QStringLiteral("显示主窗口"));
  EXPECT_EQ(actions[2]->text(), QStringLiteral("查看消息"));
  EXPECT_EQ(actions[3]->text(), QStringLiteral("退出"));
  bool hasMessage = false;
  tray.SetHasMessage([&] { return hasMessage; });

  tray.PrepareMenu();
  EXPECT_EQ(actions[1]->text(), QStringLiteral("登录"));
  EXPECT_FALSE(actions[2]->isEnabled());
  loggedIn = true;
  hasMessage = true;
  emit tray.Menu()->aboutToShow();  // as before the menu opens
  EXPECT_EQ(actions[1]->text(), QStringLiteral("注销"));
  EXPECT_TRUE(actions[2]->isEnabled());
  loggedIn = false;
  tray.PrepareMenu();
  EXPECT_EQ(actions[1]->text(), QStringLiteral("登录"));

  // Each item carries its command number to the window.
  for (QAction* action : actions) action->trigger();
  EXPECT_EQ(commands,
            (std::vector<int>{CSystemNotifyTray::kShowWindow, CSystemNotifyTray::kLogin,
                              CSystemNotifyTray::kShowMessage, CSystemNotifyTray::kQuit}));
}
