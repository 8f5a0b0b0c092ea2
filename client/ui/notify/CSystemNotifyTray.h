#pragma once
// The client's icon in the notification area (StatusNotifierItem or XEmbed, whichever the
// desktop offers) and its menu: show the main window, log in (or log out while signed in),
// read the last pushed message (the popup, with the keyboard in it), quit. The main window
// carries out the commands.
#include <QObject>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>

class QAction;
class QMenu;

class CSystemNotifyTray final : public QObject {
  Q_OBJECT
 public:
  // Menu commands.
  static constexpr int kShowWindow = 32779;
  static constexpr int kLogin = 32780;
  static constexpr int kQuit = 32782;
  static constexpr int kShowMessage = 32783;

  // loggedIn tells the menu which text its second item carries; onCommand runs a chosen
  // command; onActivated gets every activation of the icon (a left click shows the window).
  CSystemNotifyTray(std::function<bool()> loggedIn, std::function<void(int command)> onCommand,
                    std::function<void(QSystemTrayIcon::ActivationReason)> onActivated);
  ~CSystemNotifyTray() override;  // Remove()

  // Shows the icon with its tooltip (at most 127 characters).
  void Add(const QString& tooltip);
  void Remove();
  bool Added() const;

  // "注销" while signed in, else "登录".
  static QString LoginItemText(bool loggedIn);
  // The message item is enabled while `hasMessage` says there is one to show (by default
  // always).
  void SetHasMessage(std::function<bool()> hasMessage);
  // Sets the second item's text from the session and enables the message item; runs before
  // the menu shows.
  void PrepareMenu();
  QMenu* Menu() const { return m_menu.get(); }
  QAction* Action(int command) const;

 private:
  std::function<bool()> m_loggedIn;
  std::function<void(int)> m_onCommand;
  std::function<bool()> m_hasMessage;
  std::unique_ptr<QMenu> m_menu;
  std::unique_ptr<QSystemTrayIcon> m_icon;
  QAction* m_show = nullptr;
  QAction* m_login = nullptr;
  QAction* m_message = nullptr;
  QAction* m_quit = nullptr;
};
