#pragma once
// The app-centre page: every application the platform offers, as a grid of tiles behind a
// two-tab strip. (Contract stub: the tiles work fills it in.)
#include <QWidget>

#include <string>

class IKivoHost;

class CAppCenterDlg : public QWidget {
  Q_OBJECT
 public:
  CAppCenterDlg(IKivoHost& host, QWidget* parent = nullptr);

  void RebuildButtons();
  void RefreshIcon(const std::string& key);
  void ShowProgress(const std::string& url, int percent);
  // Works every tile's install state out again (Uninstall key changed).
  void RefreshStates();

 private:
  IKivoHost& m_host;
};
