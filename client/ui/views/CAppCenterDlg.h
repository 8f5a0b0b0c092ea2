#pragma once
// The app-centre page: every application the platform offers, as a grid of tiles behind a
// two-tab strip. A tile of an application the user already has is marked added; its state
// comes from the user's lists.
#include <string>

#include "client/ui/views/CAppGridPage.h"

class COrvAllAppButton;

class CAppCenterDlg : public CAppGridPage {
  Q_OBJECT
 public:
  CAppCenterDlg(IKivoHost& host, QWidget* parent = nullptr);
  ~CAppCenterDlg() override;

  // IKivoPage: requests the web catalogue and shows the shown tab's list as held.
  void Enter() override;
  void RefreshIcon(const std::string& key) override;
  void RebuildButtons() override;
  void ShowHeld() override;
  // Works every tile's install state out again (Uninstall key changed).
  void RefreshStates() override;
  using CAppGridPage::RefreshStates;

 private:
  // State and added flag of a tile from the user's web and desktop lists.
  void WorkOutState(COrvAppButton& tile) const;
};
