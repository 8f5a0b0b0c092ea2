#pragma once
// The modal login dialog: fills itself from the stored credentials, runs the login exchange
// on a worker when the user presses "登录" (or Enter) and offers the platform's register and
// password pages. The opener decides by the session's loggedIn flag afterwards; the dialog ends
// with Accepted only after a successful login. GUI thread only.
#include <QDialog>
#include <QImage>
#include <QRect>

#include <functional>
#include <memory>

#include "client/account/CLoginService.h"
#include "client/ui/shell/CoreCall.h"

class CSkinBtn;
class CClickText;
class DialogUnits;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CUserLogonDlg : public QDialog {
  Q_OBJECT
 public:
  // Template layout in dialog units ("MS Shell Dlg" 8).
  static constexpr int kWidthDu = 233, kHeightDu = 121;
  // The title bitmap is tiled across the band from the top down to this y (pixels).
  static constexpr int kTitleBandHeight = 25;
  static constexpr const char* kTitleImage = "image\\UserLogonTittle.bmp";

  // refreshLoginDisplay: the main window's *refresh login display*.
  CUserLogonDlg(CLoginService& service, std::function<void()> refreshLoginDisplay,
                QWidget* parent = nullptr);

  // The close button's place: 35 pixels left of the right edge, 5 below the top, 45 × 20.
  QRect CloseButtonRect() const { return QRect(width() - 35, 5, 45, 20); }
  // The service's owner: an exchange still running when the dialog and its opener are gone
  // keeps the service alive until it ends.
  void SetServiceOwner(std::shared_ptr<CLoginService> owner) { m_serviceOwner = std::move(owner); }
  // True while a login exchange is unanswered.
  bool LoginInFlight() const { return m_loginCall.Pending(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void BuildControls(const DialogUnits& du);
  void FillStoredCredentials();
  void OnLogin();
  void OnLoginAnswer(const LoginResult& result);
  void OpenWebPage(const char* path);

  CLoginService& m_service;
  std::function<void()> m_refresh;
  QImage m_title;

  QPushButton* m_loginButton = nullptr;
  CSkinBtn* m_closeButton = nullptr;
  QCheckBox* m_remember = nullptr;
  QLabel* m_nameLabel = nullptr;
  QLabel* m_passwordLabel = nullptr;
  QComboBox* m_name = nullptr;
  QLineEdit* m_password = nullptr;
  CClickText* m_registerLink = nullptr;
  CClickText* m_recoverLink = nullptr;
  shell::CallHandle m_loginCall;
  std::shared_ptr<CLoginService> m_serviceOwner;
};
