#include "client/ui/notify/CSystemNotifyTray.h"

#include <QAction>
#include <QMenu>

#include "controls/SkinImages.h"

CSystemNotifyTray::CSystemNotifyTray(
    std::function<bool()> loggedIn, std::function<void(int command)> onCommand,
    std::function<void(QSystemTrayIcon::ActivationReason)> onActivated)
    : m_loggedIn(std::move(loggedIn)),
      m_onCommand(std::move(onCommand)),
      m_menu(std::make_unique<QMenu>()) {
  m_menu->setAccessibleName(QStringLiteral("Orvanta"));
  m_show = m_menu->addAction(QStringLiteral("显示主窗口"));
  m_login = m_menu->addAction(LoginItemText(false));
  m_message = m_menu->addAction(QStringLiteral("查看消息"));
  m_quit = m_menu->addAction(QStringLiteral("退出"));
  connect(m_show, &QAction::triggered, this, [this] { m_onCommand(kShowWindow); });
  connect(m_login, &QAction::triggered, this, [this] { m_onCommand(kLogin); });
  connect(m_message, &QAction::triggered, this, [this] { m_onCommand(kShowMessage); });
  connect(m_quit, &QAction::triggered, this, [this] { m_onCommand(kQuit); });
  connect(m_menu.get(), &QMenu::aboutToShow, this, &CSystemNotifyTray::PrepareMenu);

  m_icon = std::make_unique<QSystemTrayIcon>(ResourceIcon());
  m_icon->setContextMenu(m_menu.get());
  connect(m_icon.get(), &QSystemTrayIcon::activated, this,
          [onActivated = std::move(onActivated)](QSystemTrayIcon::ActivationReason reason) {
            if (onActivated) onActivated(reason);
          });
}

CSystemNotifyTray::~CSystemNotifyTray() { Remove(); }

void CSystemNotifyTray::Add(const QString& tooltip) {
  m_icon->setToolTip(tooltip.left(127));
  m_icon->show();
}

void CSystemNotifyTray::Remove() {
  if (m_icon) m_icon->hide();
}

bool CSystemNotifyTray::Added() const { return m_icon && m_icon->isVisible(); }

QString CSystemNotifyTray::LoginItemText(bool loggedIn) {
  return loggedIn ? QStringLiteral("注销") : QStringLiteral("登录");
}

void CSystemNotifyTray::SetHasMessage(std::function<bool()> hasMessage) {
  m_hasMessage = std::move(hasMessage);
}

void CSystemNotifyTray::PrepareMenu() {
  m_login->setText(LoginItemText(m_loggedIn()));
  m_message->setEnabled(!m_hasMessage || m_hasMessage());
}

QAction* CSystemNotifyTray::Action(int command) const {
  switch (command) {
    case kShowWindow:
      return m_show;
    case kLogin:
      return m_login;
    case kShowMessage:
      return m_message;
    case kQuit:
      return m_quit;
    default:
      return nullptr;
  }
}
