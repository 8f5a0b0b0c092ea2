#pragma once
// The my-apps page: the signed-in user's applications, as a grid of tiles behind a
// two-tab strip. (Contract stub: the tiles work fills it in.)
#include <QWidget>

#include <string>

class IKivoHost;

class CMyAppDlg : public QWidget {
  Q_OBJECT
 public:
  CMyAppDlg(IKivoHost& host, QWidget* parent = nullptr);

  void RebuildButtons();
  void RefreshIcon(const std::string& key);

 private:
  IKivoHost& m_host;
};
