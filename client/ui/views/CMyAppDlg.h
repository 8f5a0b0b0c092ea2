#pragma once
// The my-apps page: the signed-in user's applications, as a grid of tiles behind a
// two-tab strip.
#include <string>

#include "client/ui/views/CAppGridPage.h"

class CMyAppDlg : public CAppGridPage {
  Q_OBJECT
 public:
  CMyAppDlg(IKivoHost& host, QWidget* parent = nullptr);
  ~CMyAppDlg() override;

  void RebuildButtons() override;
  void ShowHeld() override;
  void RefreshIcon(const std::string& key);
};
