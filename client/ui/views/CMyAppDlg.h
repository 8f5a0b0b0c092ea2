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

  // IKivoPage: only for a signed-in user; requests both private lists and shows the shown
  // tab's list as held.
  bool NeedsLogin() const override { return true; }
  void Enter() override;
  void RefreshIcon(const std::string& key) override;
  void RebuildButtons() override;
  void ShowHeld() override;
  // Works the shown desktop tiles' install states out again (Uninstall key changed); the
  // tiles stay, so a tile's open choice box keeps its answer.
  void RefreshStates() override;
  using CAppGridPage::RefreshStates;
};
