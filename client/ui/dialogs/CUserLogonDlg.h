#pragma once
// The modal login dialog. (Contract stub: the dialogs work fills it in.)
#include <QDialog>

#include <functional>

class CLoginService;

class CUserLogonDlg : public QDialog {
  Q_OBJECT
 public:
  // refreshLoginDisplay: the main window's *refresh login display*.
  CUserLogonDlg(CLoginService& service, std::function<void()> refreshLoginDisplay,
                QWidget* parent = nullptr);

 private:
  CLoginService& m_service;
  std::function<void()> m_refresh;
};
